// The tool's file calls on Windows, by wide names converted from UTF-8, so
// "C:\Cenniki\Łódź\PRCHK.DAT" is found on an English Windows as well. A
// checker holding PRCHK.DAT for a lookup, or a virus scanner looking at the
// new file, makes a move fail for a moment with a sharing or access error.
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

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

std::string utf8Of(const wchar_t* wide) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return {};
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), length, nullptr, nullptr);
    utf8.pop_back();  // the terminating zero
    return utf8;
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

// The creation time stands for the identity: a file moved over the old one
// keeps the time it was made beside it, which the old one does not have.
FileStamp stampFileNamed(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    FileStamp stamp;
    if (!GetFileAttributesExW(wideOf(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return stamp;
    }
    const auto join = [](DWORD high, DWORD low) {
        return static_cast<int64_t>((uint64_t{high} << 32) | low);
    };
    stamp.exists = true;
    stamp.size = join(data.nFileSizeHigh, data.nFileSizeLow);
    stamp.changed = join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    stamp.identity = join(data.ftCreationTime.dwHighDateTime, data.ftCreationTime.dwLowDateTime);
    return stamp;
}

std::vector<std::string> programArguments(int, char**) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide != nullptr && i < count; ++i) args.push_back(utf8Of(wide[i]));
    LocalFree(wide);
    return args;
}
