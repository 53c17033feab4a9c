// Whether two paths name one file, as the process and service checks ask it:
// the same text without regard to case, or the same once both are in their
// long forms, or in their short (8.3) forms. GetLongPathNameA is looked up at
// run time: Windows 95 and NT 4.0 do not have it.
#include "clean/win32/system_cleaning_win.h"
#include "platform/win32/kept_path_win.h"

namespace {

// A name the path rules would change is asked about in its kept form.
bool LongForm(const char* path, char (&out)[MAX_PATH]) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel || !GetProcAddress(kernel, "GetLongPathNameA")) return false;
    return platform::LongPathKeepingName(path, out, MAX_PATH);
}

bool ShortForm(const char* path, char (&out)[MAX_PATH]) {
    return platform::ShortPathKeepingName(path, out, MAX_PATH);
}

}  // namespace

bool SameFile(const char* a, const char* b) {
    if (!a || !b || a[0] == '\0' || b[0] == '\0') return false;
    if (lstrcmpiA(a, b) == 0) return true;
    char formA[MAX_PATH];
    char formB[MAX_PATH];
    if (LongForm(a, formA) && LongForm(b, formB) && lstrcmpiA(formA, formB) == 0) return true;
    return ShortForm(a, formA) && ShortForm(b, formB) && lstrcmpiA(formA, formB) == 0;
}
