// The back-office program may hold PRCHK.DAT open for writing while it
// exports new prices; _SH_DENYNO lets both sides keep their handles. Big
// price files pass 2 GB, beyond a 32-bit `long`, hence the 64-bit seeks.
#include <share.h>

#include <cstdio>

#include "lookup/price_file_io.h"

namespace {

std::FILE* streamOf(PriceFile file) {
    return reinterpret_cast<std::FILE*>(file);
}

}  // namespace

PriceFile openPriceFileShared(const char* path) {
    std::FILE* file = _fsopen(path, "rb", _SH_DENYNO);
    if (file == nullptr) return kNoPriceFile;
    // Each probe reads one record somewhere else in the file: a stream
    // buffer would only fetch bytes nobody reads.
    setvbuf(file, nullptr, _IONBF, 0);
    return reinterpret_cast<PriceFile>(file);
}

int64_t priceFileLength(PriceFile file) {
    if (_fseeki64(streamOf(file), 0, SEEK_END) != 0) return -1;
    const int64_t length = _ftelli64(streamOf(file));
    return length < 0 ? -1 : length;
}

bool readPriceFileAt(PriceFile file, int64_t offset, void* buffer, size_t size) {
    if (offset < 0 || _fseeki64(streamOf(file), offset, SEEK_SET) != 0) return false;
    return std::fread(buffer, 1, size, streamOf(file)) == size;
}

void closePriceFile(PriceFile file) {
    if (file != kNoPriceFile) std::fclose(streamOf(file));
}
