// qxdriver.exe: works quellix.exe's window from outside, as a user would, and
// writes what it sees as a transcript on stdout, one line per fact:
//   question: <caption> | <text> | <visible buttons>
//   line: <result list line>          status: <status line>
//   control <id>: visible|hidden enabled|disabled
// A step that times out prints "FAIL: ..." and the driver exits with 1.
// Steps (arguments, in order):
//   start                  start C:\qxtest\quellix.exe, wait for its window
//   messages:<style>[:<n>] start qxmessages.exe, which asks one question of that
//                          style (and a text of n characters), for answer:
//   expect-exit:<code>     wait for the program to end with that exit code
//   second                 start another copy, expect it to end by itself
//   click:<id>             press a button of the main dialog (ids as in
//                          ui/resource_ids.h; the scripts read them from there)
//   key:esc|enter|tab      a key press on the window with the focus
//   time-stop:esc|cancel|x stop the scan that way and print "stop <how>: <us>",
//                          the time until the stop question appeared
//   wait-question          wait until a question is shown (to picture it)
//   answer:yes|no|ok|cancel|esc|enter   wait for a question, print it, answer it
//   wait-ok[:forever]      wait until OK is shown (the scan is over)
//   wait-status:<text>     wait until the status line reads text
//   read                   print every result line and the status line
//   state:<id>[,<id>...]   print the controls' visibility and enablement
//   expect-running         the program still runs, with its main window
//   expect-ended[:forever] wait for the program to end
//   shot:<name>            ask the script for a screenshot, wait until taken
//   hold:<path>            keep the file open without delete sharing, so
//                          that it cannot be deleted while the driver runs
//   script:<name>          ask the script to act (move the real pointer...)
//   where                  print the main window's position
//   scroll-top             scroll the result list to its first line
//   focus                  print the identifier of the control with the focus
//   processes:<name>       print the image path of every running process whose
//                          file has that name ("process: <path>"), sorted
//   sleep:<ms>
//   clock                  print the performance counter in microseconds
//   console:<args>         run C:\qxtest\quellix-scan.exe <args> to its end and
//                          print its stdout as the window's list reads
//                          ("line: ..." and, last, "status: ..."), then
//                          "stderr: ..." lines and "exit status <n>"
//   console-hold:<args>    start quellix-scan.exe <args>, wait until it holds the
//                          one-scan lock, then suspend it there (mid-scan)
//   console-release        let it go on; print "first console exit status <n>"
//   console-ctrl-c:<args>  as console:, with Ctrl-C pressed mid-scan
// The restore window (quellix-restore.exe opened without arguments):
//   restore-window         start C:\qxtest\quellix-restore.exe, wait for its window;
//                          then click:, answer:, shot: and expect-ended work on it
//   items                  print its list ("item: ...", columns split by " | ")
//                          and its notice line ("notice: ...")
//   select:<n>             select row n of its list (0 first)
//   folder:<path>          wait for the folder question, print it, type path
//                          and press OK
// qxdriver.exe short-path PATH prints PATH by the short names the file system
// made for it (PATH may be in any script: it is read from the wide command line).
#include <windows.h>
// after windows.h, which it needs
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ui/resource_ids.h"

namespace {

constexpr char kTitle[] = "Quellix Ver 7.0";
constexpr DWORD kStepTimeoutMs = 30000;
constexpr DWORD kScanTimeoutMs = 300000;

PROCESS_INFORMATION program{};
HWND mainWindow = nullptr;

void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::printf("\n");
    std::fflush(stdout);
}

// quellix-scan.exe runs started by the steps, ended with the driver on a failure.
std::vector<HANDLE> consoles;

[[noreturn]] void Fail(const std::string& why) {
    Say("FAIL: %s", why.c_str());
    if (program.hProcess) TerminateProcess(program.hProcess, 99);
    for (HANDLE console : consoles) TerminateProcess(console, 99);
    std::exit(1);
}

// Polls until done() holds or the time is up.
template <class Done>
bool WaitFor(Done done, DWORD timeoutMs, DWORD pollMs = 50) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (timeoutMs != INFINITE && GetTickCount() - start > timeoutMs) return false;
        Sleep(pollMs);
    }
    return true;
}

// The transcript is UTF-8, so that names in any script come through whole.
std::string Utf16ToUtf8(const wchar_t* text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

std::string WindowText(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return Utf16ToUtf8(text);
}

struct WindowSearch {
    DWORD pid;  // 0: any process
    int childId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM lParam) {
    auto& s = *reinterpret_cast<WindowSearch*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if ((s.pid == 0 || pid == s.pid) && IsWindowVisible(window) && GetDlgItem(window, s.childId)) {
        s.found.push_back(window);
    }
    return TRUE;
}

// Visible top-level windows (of the program, or of any process when pid is
// 0) that hold control childId.
std::vector<HWND> WindowsWith(int childId, DWORD pid) {
    WindowSearch search{pid, childId, {}};
    EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> ProgramWindowsWith(int childId) {
    return WindowsWith(childId, program.dwProcessId);
}

bool ProgramEnded() {
    return WaitForSingleObject(program.hProcess, 0) == WAIT_OBJECT_0;
}

PROCESS_INFORMATION StartProgram(const std::string& name = "quellix.exe",
                                 const std::string& args = "") {
    std::string path = "C:\\qxtest\\" + name;
    std::string commandLine = path + (args.empty() ? "" : " " + args);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        "C:\\qxtest", &startup, &started)) {
        Fail("cannot start " + path);
    }
    return started;
}

void StartMessages(const std::string& arg) {
    std::string args = arg;
    for (char& c : args) {
        if (c == ':') c = ' ';
    }
    program = StartProgram("qxmessages.exe", args);
    Say("started qxmessages %s", args.c_str());
}

void ExpectExit(const std::string& code) {
    if (WaitForSingleObject(program.hProcess, kStepTimeoutMs) != WAIT_OBJECT_0) {
        Fail("the program did not end");
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(program.hProcess, &exitCode);
    Say("exit code %lu", static_cast<unsigned long>(exitCode));
    if (std::to_string(exitCode) != code)
        Fail("exit code " + std::to_string(exitCode) + ", not " + code);
}

void Start() {
    program = StartProgram();
    bool shown = WaitFor(
        [] {
            HWND window = FindWindowA(nullptr, kTitle);
            HWND scan = window ? GetDlgItem(window, IDC_SCAN) : nullptr;
            if (!scan || !IsWindowVisible(window) || !IsWindowVisible(scan)) return false;
            mainWindow = window;
            return true;
        },
        kStepTimeoutMs);
    if (!shown) Fail("the main window did not appear");
    Sleep(300);  // let the first paint finish before anything is pressed
    Say("started");
}

void Second() {
    PROCESS_INFORMATION second = StartProgram();
    if (WaitForSingleObject(second.hProcess, kStepTimeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(second.hProcess, 99);
        Fail("the second copy did not end by itself");
    }
    const int mains = static_cast<int>(WindowsWith(IDC_SCAN, 0).size());
    CloseHandle(second.hThread);
    CloseHandle(second.hProcess);
    Say("second copy ended; main windows: %d", mains);
}

HWND Control(int id) {
    HWND control = GetDlgItem(mainWindow, id);
    if (!control) Fail("no control " + std::to_string(id));
    return control;
}

// A control identifier as the scripts pass it: digits only, so that a name
// the script failed to turn into its number stops the run.
int ControlId(const std::string& text) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        Fail("not a control identifier: " + text);
    }
    return std::atoi(text.c_str());
}

void Press(HWND button) {
    PostMessageA(button, BM_CLICK, 0, 0);
}

// A key as the keyboard delivers it: to the window with the focus in the
// program's thread.
void Key(WORD virtualKey) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = mainWindow;
    if (GetGUIThreadInfo(program.dwThreadId, &info) && info.hwndFocus) target = info.hwndFocus;
    UINT scan = MapVirtualKeyA(virtualKey, 0);
    PostMessageA(target, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
    PostMessageA(target, WM_KEYUP, virtualKey, 1 | (scan << 16) | (3u << 30));
}

WORD KeyCode(const std::string& name) {
    if (name == "esc") return VK_ESCAPE;
    if (name == "enter") return VK_RETURN;
    if (name == "tab") return VK_TAB;
    Fail("unknown key " + name);
}

HWND WaitQuestion() {
    HWND question = nullptr;
    if (!WaitFor(
            [&] {
                auto found = ProgramWindowsWith(IDC_MESSAGE_TEXT);
                if (found.empty()) return false;
                question = found.front();
                return true;
            },
            kScanTimeoutMs)) {
        Fail("no question appeared");
    }
    Sleep(200);  // laid out and painted
    return question;
}

// The performance counter in microseconds.
long long MicrosecondsNow() {
    LARGE_INTEGER now{}, frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<long long>(now.QuadPart * 1000000.0 / frequency.QuadPart);
}

// Stops a running scan (esc, cancel or x) and says how long the stop
// question took to appear: an upper bound on how soon the scan took the stop.
// Polls every millisecond, not every 50 as the other waits do.
void TimeStop(const std::string& how) {
    const long long pressed = MicrosecondsNow();
    if (how == "esc") {
        Key(VK_ESCAPE);
    } else if (how == "cancel") {
        Press(Control(IDCANCEL));
    } else if (how == "x") {
        Press(Control(IDC_CLOSE_X));
    } else {
        Fail("unknown stop " + how);
    }
    if (!WaitFor([] { return !ProgramWindowsWith(IDC_MESSAGE_TEXT).empty(); }, kScanTimeoutMs, 1)) {
        Fail("no question appeared");
    }
    Say("stop %s: %lld us", how.c_str(), MicrosecondsNow() - pressed);
}

void Answer(const std::string& how) {
    HWND question = WaitQuestion();
    std::string buttons;
    const struct {
        int id;
        const char* name;
    } kButtons[] = {{6, "YES"}, {7, "NO"}, {1, "OK"}, {2, "Cancel"}, {3, "OK"}};
    for (const auto& b : kButtons) {
        HWND button = GetDlgItem(question, b.id);
        if (button && IsWindowVisible(button))
            buttons += (buttons.empty() ? "" : " ") + std::string(b.name);
    }
    std::string text = WindowText(GetDlgItem(question, IDC_MESSAGE_TEXT));
    for (char& c : text) {
        if (c == '\n') c = '|';
    }
    Say("question: %s | %s | %s", WindowText(question).c_str(), text.c_str(), buttons.c_str());
    RECT r{};
    GetWindowRect(question, &r);
    Say("question size: %ldx%ld", static_cast<long>(r.right - r.left),
        static_cast<long>(r.bottom - r.top));
    if (how == "esc" || how == "enter") {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        HWND target = question;
        if (GetGUIThreadInfo(program.dwThreadId, &info) && info.hwndFocus) target = info.hwndFocus;
        WORD key = KeyCode(how);
        PostMessageA(target, WM_KEYDOWN, key, 1);
        PostMessageA(target, WM_KEYUP, key, 1 | (3u << 30));
    } else {
        int id = how == "yes" ? 6 : how == "no" ? 7 : how == "cancel" ? 2 : 0;
        if (how == "ok") id = IsWindowVisible(GetDlgItem(question, 3)) ? 3 : 1;
        if (id == 0) Fail("unknown answer " + how);
        Press(GetDlgItem(question, id));
    }
    if (!WaitFor([&] { return !IsWindow(question) || !IsWindowVisible(question); },
                 kStepTimeoutMs)) {
        Fail("the question stayed open");
    }
}

// "forever": for a person working the window, who takes the time they need.
DWORD Timeout(const std::string& arg, DWORD usual) {
    return arg == "forever" ? INFINITE : usual;
}

void WaitOk(const std::string& arg) {
    if (!WaitFor([] { return IsWindowVisible(Control(IDC_OK_BUTTON)) != FALSE || ProgramEnded(); },
                 Timeout(arg, kScanTimeoutMs))) {
        Fail("OK was not shown");
    }
    if (ProgramEnded()) Fail("the program ended before OK was shown");
    Say("ok shown");
}

void WaitStatus(const std::string& expected) {
    if (!WaitFor([&] { return WindowText(Control(IDC_STATUS_LINE)) == expected; },
                 kScanTimeoutMs)) {
        Fail("the status line did not read " + expected);
    }
}

void Read() {
    HWND list = Control(IDC_RESULT_LIST);
    int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        int length = static_cast<int>(SendMessageW(list, LB_GETTEXTLEN, i, 0));
        std::vector<wchar_t> text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        // LB_GETTEXT answers in UTF-16 across processes under Wine.
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        Say("line: %s", Utf16ToUtf8(text.data()).c_str());
    }
    Say("status: %s", WindowText(Control(IDC_STATUS_LINE)).c_str());
}

void State(const std::string& ids) {
    size_t at = 0;
    while (at < ids.size()) {
        size_t comma = ids.find(',', at);
        if (comma == std::string::npos) comma = ids.size();
        int id = ControlId(ids.substr(at, comma - at));
        HWND control = Control(id);
        Say("control %d: %s %s", id, IsWindowVisible(control) ? "visible" : "hidden",
            IsWindowEnabled(control) ? "enabled" : "disabled");
        at = comma + 1;
    }
}

void ExpectEnded(const std::string& arg) {
    if (WaitForSingleObject(program.hProcess, Timeout(arg, kStepTimeoutMs)) != WAIT_OBJECT_0) {
        Fail("the program did not end");
    }
    Say("ended");
}

void ExpectRunning() {
    if (ProgramEnded() || !IsWindow(mainWindow) || !IsWindowVisible(mainWindow)) {
        Fail("the program is not running with its window");
    }
    Say("running");
}

constexpr char kRestoreTitle[] = "Quellix Ver 7.0 - Restore";

void StartRestoreWindow() {
    program = StartProgram("quellix-restore.exe");
    bool shown = WaitFor(
        [] {
            HWND window = FindWindowA(nullptr, kRestoreTitle);
            HWND list = window ? GetDlgItem(window, IDC_RESTORE_LIST) : nullptr;
            if (!list || !IsWindowVisible(window) || !IsWindowVisible(list)) return false;
            mainWindow = window;
            return true;
        },
        kStepTimeoutMs);
    if (!shown) Fail("the restore window did not appear");
    Sleep(300);  // let the first paint finish before anything is pressed
    Say("restore window");
}

// Every row of a list box of the program, its tabs shown as " | ".
void PrintRows(HWND list, const char* label) {
    int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        int length = static_cast<int>(SendMessageW(list, LB_GETTEXTLEN, i, 0));
        std::vector<wchar_t> text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        std::string row = Utf16ToUtf8(text.data());
        std::string shown;
        for (char c : row) shown += c == '\t' ? std::string(" | ") : std::string(1, c);
        Say("%s: %s", label, shown.c_str());
    }
}

void Items() {
    PrintRows(Control(IDC_RESTORE_LIST), "item");
    Say("notice: %s", WindowText(Control(IDC_RESTORE_NOTICE)).c_str());
}

void Select(const std::string& row) {
    HWND list = Control(IDC_RESTORE_LIST);
    if (SendMessageW(list, LB_SETCURSEL, std::atoi(row.c_str()), 0) == LB_ERR) {
        Fail("no row " + row);
    }
}

void Folder(const std::string& path) {
    HWND question = nullptr;
    if (!WaitFor(
            [&] {
                auto found = ProgramWindowsWith(IDC_RESTORE_FOLDER);
                if (found.empty()) return false;
                question = found.front();
                return true;
            },
            kStepTimeoutMs)) {
        Fail("no folder question appeared");
    }
    Sleep(200);
    Say("folder question: %s | %s", WindowText(question).c_str(),
        WindowText(GetDlgItem(question, IDC_RESTORE_FOLDER_TEXT)).c_str());
    SendMessageA(GetDlgItem(question, IDC_RESTORE_FOLDER), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(path.c_str()));
    Press(GetDlgItem(question, IDOK));
    if (!WaitFor([&] { return !IsWindow(question) || !IsWindowVisible(question); },
                 kStepTimeoutMs)) {
        Fail("the folder question stayed open");
    }
}

// The script that runs the driver does what is asked (a screenshot, real
// pointer input) and then creates the acknowledgement file next to the driver.
void AskScript(const std::string& kind, const std::string& name) {
    std::string ack = "C:\\qxtest\\" + kind + "-" + name + ".done";
    Say("@%s %s", kind.c_str(), name.c_str());
    if (!WaitFor([&] { return GetFileAttributesA(ack.c_str()) != INVALID_FILE_ATTRIBUTES; },
                 kStepTimeoutMs)) {
        Fail("the script did not do " + kind + " " + name);
    }
}

void Where() {
    RECT r{};
    GetWindowRect(mainWindow, &r);
    Say("window at %ld,%ld", static_cast<long>(r.left), static_cast<long>(r.top));
}

void Hold(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("cannot open " + path);
    Say("holding %s", path.c_str());  // closed when the driver ends
}

void Processes(const std::string& name) {
    DWORD ids[1024];
    DWORD bytes = 0;
    if (!EnumProcesses(ids, sizeof ids, &bytes)) Fail("cannot list the processes");
    std::vector<std::string> found;
    for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]);
        if (!process) continue;
        char path[MAX_PATH] = {};
        DWORD n = GetModuleFileNameExA(process, nullptr, path, MAX_PATH);
        CloseHandle(process);
        if (n == 0 || n >= MAX_PATH) continue;
        const char* file = std::strrchr(path, '\\');
        if (lstrcmpiA(file ? file + 1 : path, name.c_str()) == 0) found.push_back(path);
    }
    std::sort(found.begin(), found.end());
    for (const std::string& path : found) Say("process: %s", path.c_str());
}

// --- quellix-scan.exe -------------------------------------------------------

struct Console {
    PROCESS_INFORMATION process{};
    std::string out, err;  // files its stdout and stderr go to
};
Console heldConsole;

HANDLE InheritableFile(const std::string& path) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("cannot make " + path);
    return file;
}

Console StartConsole(const std::string& args, const char* tag) {
    Console console;
    console.out = std::string("C:\\qxtest\\console-") + tag + ".out";
    console.err = std::string("C:\\qxtest\\console-") + tag + ".err";
    HANDLE out = InheritableFile(console.out);
    HANDLE err = InheritableFile(console.err);
    std::string path = "C:\\qxtest\\quellix-scan.exe";
    std::string commandLine = path + (args.empty() ? "" : " " + args);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    if (!CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                        "C:\\qxtest", &startup, &console.process)) {
        Fail("cannot start " + path);
    }
    CloseHandle(out);
    CloseHandle(err);
    consoles.push_back(console.process.hProcess);
    return console;
}

std::vector<std::string> FileLines(const std::string& path) {
    std::vector<std::string> lines;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return lines;
    char buffer[2048];
    while (std::fgets(buffer, sizeof buffer, file)) {
        std::string line = buffer;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        lines.push_back(line);
    }
    std::fclose(file);
    return lines;
}

DWORD FinishConsole(Console& console) {
    if (WaitForSingleObject(console.process.hProcess, kScanTimeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(console.process.hProcess, 99);
        Fail("quellix-scan.exe did not end");
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(console.process.hProcess, &exitCode);
    consoles.erase(std::find(consoles.begin(), consoles.end(), console.process.hProcess));
    CloseHandle(console.process.hThread);
    CloseHandle(console.process.hProcess);
    console.process = {};
    return exitCode;
}

void HoldAtLock(Console& console);

// The driver shares the console it sends Ctrl-C to, and lets it pass.
BOOL WINAPI IgnoreControl(DWORD) {
    return TRUE;
}

// ctrlC: held at its lock (mid-scan), sent Ctrl-C, let go.
void RunConsole(const std::string& args, bool ctrlC = false) {
    if (ctrlC) {
        // A console of its own, which the scan inherits: the one Wine gives a
        // program started without a terminal passes no Ctrl-C on.
        FreeConsole();
        if (!AllocConsole()) Fail("cannot make a console");
        SetConsoleCtrlHandler(IgnoreControl, TRUE);
    }
    Console console = StartConsole(args, "run");
    if (ctrlC) {
        HoldAtLock(console);
        if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
            Fail("cannot send Ctrl-C (error " + std::to_string(GetLastError()) + ")");
        }
        ResumeThread(console.process.hThread);
    }
    DWORD exitCode = FinishConsole(console);
    // The last line on stdout is the final status, as the window's status line.
    std::vector<std::string> out = FileLines(console.out);
    for (size_t i = 0; i < out.size(); ++i) {
        Say("%s: %s", i + 1 == out.size() ? "status" : "line", out[i].c_str());
    }
    for (const std::string& line : FileLines(console.err)) Say("stderr: %s", line.c_str());
    Say("exit status %lu", static_cast<unsigned long>(exitCode));
    // Gone before the next scan, which would count them.
    DeleteFileA(console.out.c_str());
    DeleteFileA(console.err.c_str());
}

// The lock quellix-scan.exe takes for its run, by either of its names.
bool ScanLockHeld() {
    for (const char* name : {"Global\\Quellix.OneScanPerMachine", "Quellix.OneScanPerMachine"}) {
        HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
        if (mutex) {
            CloseHandle(mutex);
            return true;
        }
    }
    return false;
}

// Waits until the console holds its lock, then suspends it there: it is
// mid-scan, and holds the lock, until resumed.
void HoldAtLock(Console& console) {
    const HANDLE process = console.process.hProcess;
    if (!WaitFor(
            [process] {
                return ScanLockHeld() || WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
            },
            kStepTimeoutMs, 5)) {
        Fail("quellix-scan.exe took no lock");
    }
    if (SuspendThread(console.process.hThread) == static_cast<DWORD>(-1)) {
        Fail("cannot suspend quellix-scan.exe");
    }
    if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
        Fail("quellix-scan.exe ended before it could be held");
    }
}

void HoldConsole(const std::string& args) {
    heldConsole = StartConsole(args, "held");
    HoldAtLock(heldConsole);
    Say("first console holds the lock");
}

void ReleaseConsole() {
    if (!heldConsole.process.hProcess) Fail("no console held");
    ResumeThread(heldConsole.process.hThread);
    DWORD exitCode = FinishConsole(heldConsole);
    Say("first console exit status %lu", static_cast<unsigned long>(exitCode));
    DeleteFileA(heldConsole.out.c_str());
    DeleteFileA(heldConsole.err.c_str());
}

int PrintShortPath() {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args || count != 3) return 1;
    wchar_t shortPath[MAX_PATH + 1];
    DWORD n = GetShortPathNameW(args[2], shortPath, MAX_PATH + 1);
    LocalFree(args);
    if (n == 0 || n > MAX_PATH) return 1;
    std::printf("%s\n", Utf16ToUtf8(shortPath).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "short-path") == 0) return PrintShortPath();
    for (int i = 1; i < argc; ++i) {
        std::string step = argv[i];
        std::string arg;
        size_t colon = step.find(':');
        if (colon != std::string::npos) {
            arg = step.substr(colon + 1);
            step.resize(colon);
        }
        if (step == "hold") {
            Hold(arg);
            continue;
        }
        if (step == "console") {
            RunConsole(arg);
            continue;
        }
        if (step == "console-ctrl-c") {
            RunConsole(arg, true);
            continue;
        }
        if (step == "console-hold") {
            HoldConsole(arg);
            continue;
        }
        if (step == "console-release") {
            ReleaseConsole();
            continue;
        }
        if (step != "start" && step != "second" && step != "messages" && step != "restore-window" &&
            !program.hProcess) {
            Fail("start comes first");
        }
        if (step == "start") {
            Start();
        } else if (step == "restore-window") {
            StartRestoreWindow();
        } else if (step == "items") {
            Items();
        } else if (step == "select") {
            Select(arg);
        } else if (step == "folder") {
            Folder(arg);
        } else if (step == "messages") {
            StartMessages(arg);
        } else if (step == "expect-exit") {
            ExpectExit(arg);
        } else if (step == "second") {
            Second();
        } else if (step == "click") {
            Press(Control(ControlId(arg)));
        } else if (step == "key") {
            Key(KeyCode(arg));
        } else if (step == "time-stop") {
            TimeStop(arg);
        } else if (step == "wait-question") {
            WaitQuestion();
        } else if (step == "answer") {
            Answer(arg);
        } else if (step == "wait-ok") {
            WaitOk(arg);
        } else if (step == "wait-status") {
            WaitStatus(arg);
        } else if (step == "read") {
            Read();
        } else if (step == "state") {
            State(arg);
        } else if (step == "expect-running") {
            ExpectRunning();
        } else if (step == "expect-ended") {
            ExpectEnded(arg);
        } else if (step == "shot") {
            AskScript("shot", arg);
        } else if (step == "script") {
            AskScript("script", arg);
        } else if (step == "focus") {
            GUITHREADINFO info{};
            info.cbSize = sizeof info;
            GetGUIThreadInfo(program.dwThreadId, &info);
            Say("focus: %d", info.hwndFocus ? GetDlgCtrlID(info.hwndFocus) : 0);
        } else if (step == "scroll-top") {
            SendMessageW(Control(IDC_RESULT_LIST), WM_VSCROLL, SB_TOP, 0);
            Sleep(200);
        } else if (step == "processes") {
            Processes(arg);
        } else if (step == "where") {
            Where();
        } else if (step == "clock") {
            Say("clock: %lld", MicrosecondsNow());
        } else if (step == "sleep") {
            Sleep(static_cast<DWORD>(std::atoi(arg.c_str())));
        } else {
            Fail("unknown step " + step);
        }
    }
    if (program.hProcess && !ProgramEnded()) {
        TerminateProcess(program.hProcess, 99);
        Say("left running: ended by the driver");
        return 1;
    }
    return 0;
}
