// The platform's calls behind the price-file lookup. Opening is the step that
// differs most: the back-office program may be rewriting the file at the same
// moment or replacing it, so it is opened without denying anyone read, write
// or delete access. Windows defines these on its file API, the native build
// on POSIX descriptors; fuzzers and tests may serve the file from memory.
#pragma once

#include <cstddef>
#include <cstdint>

// An open price file as the platform keeps it; kNoPriceFile when none.
using PriceFile = intptr_t;
inline constexpr PriceFile kNoPriceFile = -1;

// Opens `path` (Windows-1250) for binary reading, sharing read, write and
// delete; kNoPriceFile on failure.
PriceFile openPriceFileShared(const char* path);

// Big price files pass 2 GB, beyond what a 32-bit `long` offset reaches on
// Windows, so offsets are 64-bit and each platform uses its own seek call.

// Length of the open file in bytes, or -1 when it cannot be found out.
int64_t priceFileLength(PriceFile file);

// Reads `size` bytes from `offset` bytes after the start into `buffer`;
// false when the seek fails or fewer bytes arrive.
bool readPriceFileAt(PriceFile file, int64_t offset, void* buffer, size_t size);

// Closes the file, so the back office can replace it; kNoPriceFile is ignored.
void closePriceFile(PriceFile file);
