// Which Windows this is, and the 64-bit view of files and registry for a
// 32-bit build running on 64-bit Windows.
#include "clean/win32/system_cleaning_win.h"
#include "platform/win32/wow64_win.h"

namespace {

bool QueryVersion(OSVERSIONINFOA& info) {
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;  // 148
    return GetVersionExA(&info) != FALSE;
}

// Looked up at run time: the 95 family and early NT have none of these.
using Wow64DisableFn = BOOL(WINAPI*)(PVOID*);
using Wow64RevertFn = BOOL(WINAPI*)(PVOID);

FARPROC Kernel32Entry(const char* name) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel ? GetProcAddress(kernel, name) : nullptr;
}

template <typename Fn>
Fn Kernel32Function(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(Kernel32Entry(name)));
}

using platform::RunningUnderWow64;

bool viewActive = false;
PVOID viewToken = nullptr;

}  // namespace

int PlatformClass() {
    OSVERSIONINFOA info;
    if (!QueryVersion(info)) return kPlatformUnknown;
    if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) return kPlatform95Family;
    if (info.dwPlatformId == VER_PLATFORM_WIN32_NT) return kPlatformNtFamily;
    return kPlatformOther;
}

int NtVersionClass() {
    OSVERSIONINFOA info;
    if (!QueryVersion(info) || info.dwPlatformId != VER_PLATFORM_WIN32_NT) return kNtVersionOther;
    if (info.dwMajorVersion <= 4) return kNtVersion4OrOlder;
    if (info.dwMajorVersion == 5) return kNtVersion5;
    return kNtVersionOther;
}

namespace {
REGSAM chosenView = 0;  // 0: the program's usual view
}  // namespace

REGSAM RegistryViewFlag() {
    if (chosenView != 0) return chosenView;
    return RunningUnderWow64() ? KEY_WOW64_64KEY : 0;
}

int MachineRegistryViews(REGSAM views[2]) {
    if (platform::WindowsIs64Bit()) {
        views[0] = KEY_WOW64_64KEY;
        views[1] = KEY_WOW64_32KEY;
        return 2;
    }
    views[0] = 0;
    return 1;
}

RegistryViewScope::RegistryViewScope(REGSAM view) : saved_(chosenView) {
    chosenView = view;
}

RegistryViewScope::~RegistryViewScope() {
    chosenView = saved_;
}

// The pump pauses the view at every directory entry: the two calls are
// looked up once.
void BeginSystemFileView() {
    if (viewActive || !RunningUnderWow64()) return;
    static const auto disable = Kernel32Function<Wow64DisableFn>("Wow64DisableWow64FsRedirection");
    if (disable && disable(&viewToken)) viewActive = true;
}

void EndSystemFileView() {
    if (!viewActive) return;
    static const auto revert = Kernel32Function<Wow64RevertFn>("Wow64RevertWow64FsRedirection");
    if (revert) revert(viewToken);
    viewActive = false;
}

bool SystemFileViewActive() {
    return viewActive;
}

SystemFileViewPause::SystemFileViewPause() : wasActive_(viewActive) {
    EndSystemFileView();
}

SystemFileViewPause::~SystemFileViewPause() {
    if (wasActive_) BeginSystemFileView();
}

HMODULE LoadSystemLibrary(const char* name) {
    SystemFileViewPause pause;
    return LoadLibraryA(name);
}
