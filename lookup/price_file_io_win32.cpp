// The back-office program, or prchk, replaces PRCHK.DAT while checkers read
// it. The file is opened sharing read, write and delete: the back office may
// hold it open for writing while it exports new prices, and a replace that
// moves a new file over the old one succeeds during a lookup where Windows
// allows it (a lookup then finishes on the old file's bytes). The path is
// Windows-1250, converted for the wide API, so a folder with Polish letters
// opens on any Windows. Big price files pass 2 GB, hence 64-bit offsets.
#include <windows.h>

#include <string>

#include "base/windows1250.h"
#include "lookup/price_file_io.h"

namespace {

HANDLE handleOf(PriceFile file) {
    return reinterpret_cast<HANDLE>(file);
}

}  // namespace

PriceFile openPriceFileShared(const char* path) {
    const std::u16string wide = windows1250ToUtf16(path);
    const std::wstring name(wide.begin(), wide.end());
    // Each probe reads one record somewhere else in the file: read-ahead
    // would only fetch bytes nobody reads.
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kNoPriceFile;
    return reinterpret_cast<PriceFile>(file);
}

int64_t priceFileLength(PriceFile file) {
    LARGE_INTEGER length;
    if (!GetFileSizeEx(handleOf(file), &length)) return -1;
    return length.QuadPart;
}

// One read at the offset: a synchronous handle reads from the position the
// OVERLAPPED record names.
bool readPriceFileAt(PriceFile file, int64_t offset, void* buffer, size_t size) {
    if (offset < 0) return false;
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    DWORD got = 0;
    return ReadFile(handleOf(file), buffer, static_cast<DWORD>(size), &got, &at) && got == size;
}

void closePriceFile(PriceFile file) {
    if (file != kNoPriceFile) CloseHandle(handleOf(file));
}
