// The back-office program may hold PRCHK.DAT open for writing while it
// exports new prices; _SH_DENYNO lets both sides keep their handles.
#include "lookup/price_file_io.h"

#include <share.h>

std::FILE* openPriceFileShared(const char* path)
{
    return _fsopen(path, "rb", _SH_DENYNO);
}

int64_t priceFileLength(std::FILE* file)
{
    if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
    const int64_t length = _ftelli64(file);
    return length < 0 ? -1 : length;
}

bool seekPriceFile(std::FILE* file, int64_t offset)
{
    return _fseeki64(file, offset, SEEK_SET) == 0;
}
