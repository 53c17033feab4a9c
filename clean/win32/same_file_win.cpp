// Whether two paths name one file, as the process and service checks ask it:
// the same text without regard to case, or the same once both are in their
// long forms, or in their short (8.3) forms. GetLongPathNameA is looked up at
// run time: Windows 95 and NT 4.0 do not have it.
#include "clean/win32/system_cleaning_win.h"

namespace {

using GetLongPathNameFn = DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD);

bool LongForm(const char* path, char (&out)[MAX_PATH]) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto getLongPathName = kernel ? reinterpret_cast<GetLongPathNameFn>(reinterpret_cast<void*>(
                                        GetProcAddress(kernel, "GetLongPathNameA")))
                                  : nullptr;
    if (!getLongPathName) return false;
    DWORD n = getLongPathName(path, out, MAX_PATH);
    return n > 0 && n < MAX_PATH;
}

bool ShortForm(const char* path, char (&out)[MAX_PATH]) {
    DWORD n = GetShortPathNameA(path, out, MAX_PATH);
    return n > 0 && n < MAX_PATH;
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
