// The settings tool's platform on Windows: its arguments through the wide
// API (a path with Polish letters reaches it whatever the PC's code page),
// its lines on the console in UTF-16 or, redirected, as UTF-8, and the
// folder's checker and watchdog through their named objects
// (settings/running_checker_win32.h).
#include <windows.h>
// shellapi.h needs windows.h before it.
#include <shellapi.h>

#include <string>
#include <vector>

#include "base/utf8.h"
#include "base/windows1250.h"
#include "settings/running_checker_win32.h"
#include "settings/warning.h"
#include "setuptool/setup_tool_seam.h"
#include "setuptool/tool_windows.h"

namespace {

// A checker asked to end finishes a running lookup (3 s at most) and saves
// its settings (a second of tries at most) first.
constexpr DWORD kPoliteWaitMs = 10000;
constexpr DWORD kForcedWaitMs = 5000;
// A log file past this size starts again; the older one is kept beside it.
constexpr LONGLONG kLogLimitBytes = 1024 * 1024;

std::wstring logPath;
HANDLE watchdogEnd = nullptr;

std::wstring wideOf(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

std::wstring utf8ToWide(std::string_view text) {
    std::wstring wide(text.size(), L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           wide.data(), static_cast<int>(wide.size()));
    wide.resize(length > 0 ? length : 0);
    return wide;
}

std::wstring currentFolder() {
    std::wstring folder(GetCurrentDirectoryW(0, nullptr), L'\0');
    folder.resize(GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    return folder;
}

// A console gets UTF-16, so every letter shows whatever its code page; a
// file or a pipe gets UTF-8.
void writeLine(DWORD which, std::string_view line) {
    HANDLE out = GetStdHandle(which);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(out, &mode)) {
        const std::wstring text = utf8ToWide(line) + L"\r\n";
        WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } else {
        const std::string text = std::string(line) + "\r\n";
        WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

// The installer writes its log in UTF-16 with a byte-order mark, which
// Notepad reads on every Windows; the tool's lines join it in the same form,
// each with its local time. Opened for every line, so the installer and the
// tool can take turns.
void appendToLog(std::string_view line) {
    if (logPath.empty()) return;
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (GetFileAttributesExW(logPath.c_str(), GetFileExInfoStandard, &info) &&
        (static_cast<LONGLONG>(info.nFileSizeHigh) << 32 | info.nFileSizeLow) > kLogLimitBytes) {
        MoveFileExW(logPath.c_str(), (logPath + L".old").c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    HANDLE file = CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER size{};
    std::wstring text = GetFileSizeEx(file, &size) && size.QuadPart == 0 ? L"\uFEFF" : L"";
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t stamp[32];
    wsprintfW(stamp, L"%04u-%02u-%02u %02u:%02u:%02u  ", now.wYear, now.wMonth, now.wDay, now.wHour,
              now.wMinute, now.wSecond);
    text += stamp + utf8ToWide(line) + L"\r\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written,
              nullptr);
    CloseHandle(file);
}

// An administrator may end another user's checker only with this privilege
// enabled; without it (a standard user) the attempt below just fails.
void enableDebugPrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return;
    TOKEN_PRIVILEGES privileges{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    if (LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid)) {
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
    CloseHandle(token);
}

// The published process, if it still runs lumivo.exe: a stale lumivo.run
// may name a number Windows has given to another program since.
HANDLE openChecker(uint32_t processId) {
    enableDebugPrivilege();
    HANDLE process = OpenProcess(
        PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) return nullptr;
    wchar_t image[MAX_PATH * 4];
    DWORD length = MAX_PATH * 4;
    if (QueryFullProcessImageNameW(process, 0, image, &length)) {
        const std::wstring path(image, length);
        const size_t slash = path.find_last_of(L"\\/");
        const std::wstring name = path.substr(slash == path.npos ? 0 : slash + 1);
        if (CompareStringOrdinal(name.c_str(), -1, L"lumivo.exe", -1, TRUE) == CSTR_EQUAL) {
            return process;
        }
    }
    CloseHandle(process);
    return nullptr;
}

bool waitUntilCheckerGone(const std::wstring& folder, DWORD milliseconds) {
    for (DWORD waited = 0; checkerRunsInFolder(folder.c_str()); waited += 100) {
        if (waited >= milliseconds) return false;
        Sleep(100);
    }
    return true;
}

}  // namespace

std::vector<std::u16string> toolArguments() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::u16string> args;
    for (int i = 1; argv != nullptr && i < count; ++i) {
        const std::wstring_view arg(argv[i]);
        args.emplace_back(arg.begin(), arg.end());
    }
    LocalFree(argv);
    return args;
}

void toolSay(std::string_view line) {
    writeLine(STD_OUTPUT_HANDLE, line);
    appendToLog(line);
}

void toolComplain(std::string_view line) {
    writeLine(STD_ERROR_HANDLE, line);
    appendToLog(line);
}

// The checker's own code reports through its "Uwaga" box; here the text
// (Windows-1250) becomes a line.
void showWarning(const char* text) {
    std::string line = utf16ToUtf8(windows1250ToUtf16(text));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    toolComplain(line);
}

bool toolStartLog(std::u16string_view path) {
    std::wstring full(MAX_PATH * 4, L'\0');
    const DWORD length = GetFullPathNameW(wideOf(path).c_str(), MAX_PATH * 4, full.data(), nullptr);
    if (length == 0 || length >= MAX_PATH * 4) return false;
    full.resize(length);
    HANDLE file = CreateFileW(full.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    logPath = full;
    return true;
}

bool toolEnterFolder(std::u16string_view folder) {
    return SetCurrentDirectoryW(wideOf(folder).c_str()) != 0;
}

std::string toolFolderName() {
    const std::wstring folder = currentFolder();
    return utf16ToUtf8(std::u16string(folder.begin(), folder.end()));
}

long toolReadFile(std::u16string_view path, void* buffer, size_t capacity) {
    HANDLE file =
        CreateFileW(wideOf(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    DWORD got = 0;
    const bool read = ReadFile(file, buffer, static_cast<DWORD>(capacity), &got, nullptr);
    CloseHandle(file);
    return read ? static_cast<long>(got) : -1;
}

bool toolCheckerRuns() {
    return checkerRunsInFolder(currentFolder().c_str());
}

// The watchdog first, so it does not start the checker again; then the
// checker by its end event; by its process id only when it does not end
// (one in its start-up "Brak pliku" box has no window yet and cannot hear).
StopOutcome toolStopChecker() {
    const std::wstring folder = currentFolder();
    StopOutcome outcome;
    outcome.watchdogRan = askWatchdogToEnd(folder.c_str());
    outcome.checkerRan = checkerRunsInFolder(folder.c_str());
    RunningChecker published;
    if (readRunningChecker(folder.c_str(), &published)) outcome.processId = published.processId;
    if (outcome.checkerRan) {
        HANDLE process = outcome.processId != 0 ? openChecker(outcome.processId) : nullptr;
        askCheckerToEnd(folder.c_str());
        if (!waitUntilCheckerGone(folder, kPoliteWaitMs) && process != nullptr) {
            outcome.forced = TerminateProcess(process, 1) != 0;
            WaitForSingleObject(process, kForcedWaitMs);
        }
        if (process != nullptr) CloseHandle(process);
    }
    outcome.ended = waitUntilCheckerGone(folder, kForcedWaitMs) &&
                    waitForWatchdogToEnd(folder.c_str(), kForcedWaitMs);
    return outcome;
}

bool toolClaimWatchdog() {
    watchdogEnd = claimWatchdog(currentFolder().c_str());
    return watchdogEnd != nullptr;
}

// lumivo.exe beside the tool unless another program is named. A crash
// shows no Windows error box (which would wait for someone to close it
// before the process ends): the checker inherits this error mode.
ProgramRun toolRunProgram(std::u16string_view program) {
    std::wstring path = wideOf(program);
    if (path.empty()) {
        wchar_t self[MAX_PATH * 4];
        const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
        path.assign(self, length);
        path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"lumivo.exe";
    }
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    ProgramRun run;
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &started)) {
        run.startError = GetLastError();
        return run;
    }
    run.started = true;
    CloseHandle(started.hThread);
    const HANDLE waits[] = {started.hProcess, watchdogEnd};
    const DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    run.endRequested = which == WAIT_OBJECT_0 + 1;
    GetExitCodeProcess(started.hProcess, &run.exitCode);
    CloseHandle(started.hProcess);
    return run;
}

bool toolPauseOrEnd(int milliseconds) {
    return WaitForSingleObject(watchdogEnd, static_cast<DWORD>(milliseconds)) == WAIT_OBJECT_0;
}

uint64_t toolClockMs() {
    return GetTickCount64();
}
