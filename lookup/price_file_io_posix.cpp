// POSIX has no share modes: a plain open never locks the writer out. The
// probes read the descriptor at an offset, one system call each, because a
// buffered stream would fetch a whole block for every 194-byte record.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "lookup/price_file_io.h"

PriceFile openPriceFileShared(const char* path) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    return fd < 0 ? kNoPriceFile : fd;
}

int64_t priceFileLength(PriceFile file) {
    struct stat info;
    if (fstat(static_cast<int>(file), &info) != 0) return -1;
    return static_cast<int64_t>(info.st_size);
}

bool readPriceFileAt(PriceFile file, int64_t offset, void* buffer, size_t size) {
    if (offset < 0) return false;
    auto* bytes = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < size) {
        const ssize_t got = pread(static_cast<int>(file), bytes + done, size - done,
                                  static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

void closePriceFile(PriceFile file) {
    if (file != kNoPriceFile) close(static_cast<int>(file));
}
