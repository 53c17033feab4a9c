// Shared pieces of the system-cleaning test programs: the result lines the
// scan sends, registry set-up in the 64-bit view, helper programs, and the
// guard that keeps every test from restarting the machine or ending itself.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The scan as a test runs it: a fresh ScanState and CurrentFilePath, lines
// going to the sink, no questions asked and no end or restart recorded yet.
void BeginTestScan();
// ReportWindow unset again.
void EndTestScan();
// The program's end and the restarts the scan asked for; the guard of every
// test program records them instead of doing them.
int ProgramEnds();
UINT LastProgramEndCode();
const std::vector<std::pair<UINT, DWORD>>& RestartRequests();

// Lines sent with MSG_ADD_RESULT since the last ClearLines.
const std::vector<std::string>& SentLines();
void ClearLines();
// A message-only window that records lines; becomes ReportWindow.
HWND LineSink();

// Registry, always in the 64-bit view (the view the program must clean).
bool SetText(HKEY root, const char* key, const char* name, const std::string& data);
bool SetBytes(HKEY root, const char* key, const char* name, const void* data, DWORD size,
              DWORD type = REG_BINARY);
bool ValueExists(HKEY root, const char* key, const char* name, REGSAM view = KEY_WOW64_64KEY);
bool KeyExists(HKEY root, const char* key);
bool MakeKey(HKEY root, const char* key, REGSAM view = KEY_WOW64_64KEY);
void DeleteValue(HKEY root, const char* key, const char* name, REGSAM view = KEY_WOW64_64KEY);
void DeleteTree(HKEY root, const char* key);
std::vector<std::string> ValueNames(HKEY root, const char* key);

bool RunningUnderWow64ForTest();

// A helper program copied beside the test program (C:\qxtest).
std::string BesideTest(const char* fileName);
bool CopyBesideTest(const char* fileName, const std::string& to);
// Starts a program; the handle is the caller's to close.
PROCESS_INFORMATION StartProgram(const std::string& path, const std::string& arguments = "");
bool StillRunning(HANDLE process);
// Runs Wine's reg.exe; its exit status (999 when it did not run to its end).
DWORD RunReg(const std::string& arguments);
void EndAndClose(PROCESS_INFORMATION& info);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// The file's bytes, or "<missing>".
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);
// Every file name (no folders) in a folder that matches the pattern, sorted.
std::vector<std::string> FileNames(const std::string& pattern);
// Removes a folder with all below it through the wide calls, so that names
// the narrow calls cannot spell go too.
void RemoveTree(const std::wstring& folder);

// Copies the helper program to `to` as an infected file for the compiled-in
// ExecutableSignatureTable: padded to a record's exact size, with the
// record's two patterns where the scanner looks for them, which must fall in
// the padding. Returns the record's detection name, empty when none fits.
std::string CraftInfectedCopy(const char* helper, const std::string& to);
