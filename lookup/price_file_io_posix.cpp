// POSIX has no share modes: a plain open never locks the writer out.
#include "lookup/price_file_io.h"

#include <sys/types.h>

std::FILE* openPriceFileShared(const char* path)
{
    return std::fopen(path, "rb");
}

int64_t priceFileLength(std::FILE* file)
{
    if (fseeko(file, 0, SEEK_END) != 0) return -1;
    const off_t length = ftello(file);
    return length < 0 ? -1 : static_cast<int64_t>(length);
}

bool seekPriceFile(std::FILE* file, int64_t offset)
{
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}
