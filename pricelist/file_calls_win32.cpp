// The tool's file calls on Windows, by wide names converted from UTF-8, so
// "C:\Cenniki\Łódź\PRCHK.DAT" is found on an English Windows as well. A
// checker holding PRCHK.DAT for a lookup, or a virus scanner looking at the
// new file, makes a move fail for a moment with a sharing or access error.
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "pricelist/file_calls.h"

namespace {

std::wstring wideOf(const std::string& utf8) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                        length);
    return wide;
}

}  // namespace

std::FILE* openFileNamed(const std::string& path, const char* mode) {
    return _wfopen(wideOf(path).c_str(), wideOf(mode).c_str());
}

bool removeFileNamed(const std::string& path) {
    return DeleteFileW(wideOf(path).c_str()) != 0;
}

bool flushToDisk(std::FILE* file) {
    return std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}

MoveResult moveFileOver(const std::string& from, const std::string& to) {
    if (MoveFileExW(wideOf(from).c_str(), wideOf(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return MoveResult::Moved;
    }
    const DWORD error = GetLastError();
    const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                      error == ERROR_LOCK_VIOLATION;
    return held ? MoveResult::Held : MoveResult::Failed;
}

void pauseMilliseconds(int milliseconds) {
    Sleep(static_cast<DWORD>(milliseconds));
}
