// The named objects of a folder's running checker (running_checker.h) on
// Windows: in the Global\ namespace, so a checker in another session (a
// remote desktop, a deployment running as SYSTEM) is seen too.
#include "settings/running_checker_win32.h"

#include <sddl.h>

#include <string>

namespace {

HANDLE folderMutex = nullptr;  // held for the whole run
HANDLE endEvent = nullptr;
RunningChecker published;

constexpr const wchar_t* kRunFileName = L"lumivo.run";  // kRunningCheckerFileName
constexpr const wchar_t* kRunFileTempName = L"lumivo.run.new";

std::wstring wide(const std::u16string& text) {
    return std::wstring(text.begin(), text.end());
}

DWORD ownSession() {
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return session;
}

std::wstring currentFolder() {
    wchar_t folder[MAX_PATH * 4] = {};
    const DWORD length = GetCurrentDirectoryW(MAX_PATH * 4, folder);
    return length > 0 && length < MAX_PATH * 4 ? folder : L".";
}

std::wstring runFilePath(const wchar_t* folder, const wchar_t* name) {
    std::wstring path = folder;
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
    return path + name;
}

// A standard user's default rights would let only that user open the
// objects; the installer (an administrator or SYSTEM) and the user's other
// sessions must be able to find the checker and ask it to end.
struct ObjectAccess {
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    ObjectAccess() {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (ConvertStringSecurityDescriptorToSecurityDescriptorW(
                L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;AU)", SDDL_REVISION_1, &descriptor, nullptr)) {
            attributes.lpSecurityDescriptor = descriptor;
        }
    }
    ~ObjectAccess() { LocalFree(attributes.lpSecurityDescriptor); }
    ObjectAccess(const ObjectAccess&) = delete;
    ObjectAccess& operator=(const ObjectAccess&) = delete;
    SECURITY_ATTRIBUTES* get() {
        return attributes.lpSecurityDescriptor != nullptr ? &attributes : nullptr;
    }
};

// Written whole beside the old one and moved over it, so a reader never
// sees half a file.
void writeRunFile(const RunningChecker& checker) {
    const std::string text = formatRunningChecker(checker);
    HANDLE file = CreateFileW(kRunFileTempName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    CloseHandle(file);
    if (!ok ||
        !MoveFileExW(kRunFileTempName, runFilePath(currentFolder().c_str(), kRunFileName).c_str(),
                     MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(kRunFileTempName);
    }
}

RunningCheckerNames namesOf(const wchar_t* folder) {
    return runningCheckerNames(checkerFolderKeyPath(folder));
}

}  // namespace

std::u16string checkerFolderKeyPath(const wchar_t* folder) {
    std::wstring path(MAX_PATH * 4, L'\0');
    DWORD length = GetFullPathNameW(folder, MAX_PATH * 4, path.data(), nullptr);
    if (length == 0 || length >= MAX_PATH * 4) path = folder;
    path.resize(wcsnlen(path.c_str(), path.size()));
    std::wstring longPath(MAX_PATH * 4, L'\0');
    length = GetLongPathNameW(path.c_str(), longPath.data(), MAX_PATH * 4);
    if (length > 0 && length < MAX_PATH * 4) path.assign(longPath.c_str(), length);
    CharUpperBuffW(path.data(), static_cast<DWORD>(path.size()));
    return std::u16string(path.begin(), path.end());
}

FolderClaim claimCheckerFolder() {
    const std::wstring folder = currentFolder();
    const RunningCheckerNames names = namesOf(folder.c_str());
    ObjectAccess access;
    HANDLE mutex = CreateMutexW(access.get(), TRUE, wide(names.mutex).c_str());
    const DWORD error = GetLastError();
    if (mutex == nullptr) {
        // Held by another user's checker; or a system without the objects,
        // where the checker runs as it always did.
        return error == ERROR_ACCESS_DENIED ? FolderClaim::RunsInAnotherSession
                                            : FolderClaim::Claimed;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        RunningChecker other;
        const bool known = readRunningChecker(folder.c_str(), &other);
        return known && other.session != ownSession() ? FolderClaim::RunsInAnotherSession
                                                      : FolderClaim::RunsInThisSession;
    }
    folderMutex = mutex;
    endEvent = CreateEventW(access.get(), FALSE, FALSE, wide(names.endEvent).c_str());
    published = {GetCurrentProcessId(), 0, ownSession()};
    writeRunFile(published);
    return FolderClaim::Claimed;
}

HANDLE checkerEndEvent() {
    return endEvent;
}

void publishCheckerWindow(HWND window) {
    if (folderMutex == nullptr) return;
    published.window = reinterpret_cast<uintptr_t>(window);
    writeRunFile(published);
}

void withdrawRunningChecker() {
    if (folderMutex == nullptr) return;
    DeleteFileW(runFilePath(currentFolder().c_str(), kRunFileName).c_str());
}

void bringRunningCheckerToFront() {
    RunningChecker other;
    if (!readRunningChecker(currentFolder().c_str(), &other)) return;
    HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(other.window));
    DWORD owner = 0;
    if (window == nullptr || !IsWindow(window) || GetWindowThreadProcessId(window, &owner) == 0 ||
        owner != other.processId) {
        return;  // still starting, or gone
    }
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
}

bool checkerRunsInFolder(const wchar_t* folder) {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, wide(namesOf(folder).mutex).c_str());
    if (mutex != nullptr) {
        CloseHandle(mutex);
        return true;
    }
    return GetLastError() == ERROR_ACCESS_DENIED;
}

bool readRunningChecker(const wchar_t* folder, RunningChecker* checker) {
    HANDLE file = CreateFileW(runFilePath(folder, kRunFileName).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char text[256] = {};
    DWORD got = 0;
    const bool read = ReadFile(file, text, sizeof text - 1, &got, nullptr);
    CloseHandle(file);
    return read && parseRunningChecker(std::string_view(text, got), checker);
}

bool askCheckerToEnd(const wchar_t* folder) {
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, wide(namesOf(folder).endEvent).c_str());
    if (event == nullptr) return false;
    const bool asked = SetEvent(event) != 0;
    CloseHandle(event);
    return asked;
}

HANDLE claimWatchdog(const wchar_t* folder) {
    const RunningCheckerNames names = namesOf(folder);
    ObjectAccess access;
    HANDLE mutex = CreateMutexW(access.get(), TRUE, wide(names.watchdogMutex).c_str());
    if (mutex == nullptr) return nullptr;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return nullptr;
    }
    // Manual reset: the request stays until the watchdog has seen it. One
    // left set by a stop that ran before this watchdog began is cleared.
    HANDLE event = CreateEventW(access.get(), TRUE, FALSE, wide(names.watchdogEndEvent).c_str());
    if (event != nullptr) ResetEvent(event);
    return event;  // the mutex stays held until the process ends
}

bool askWatchdogToEnd(const wchar_t* folder) {
    HANDLE event =
        OpenEventW(EVENT_MODIFY_STATE, FALSE, wide(namesOf(folder).watchdogEndEvent).c_str());
    if (event == nullptr) return false;
    const bool asked = SetEvent(event) != 0;
    CloseHandle(event);
    return asked;
}

// A watchdog that has ended leaves its mutex abandoned or gone.
bool waitForWatchdogToEnd(const wchar_t* folder, DWORD milliseconds) {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, wide(namesOf(folder).watchdogMutex).c_str());
    if (mutex == nullptr) return GetLastError() != ERROR_ACCESS_DENIED;
    const DWORD waited = WaitForSingleObject(mutex, milliseconds);
    const bool ended = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    if (ended) ReleaseMutex(mutex);
    CloseHandle(mutex);
    return ended;
}
