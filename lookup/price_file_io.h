// Opening the price file is the one platform-specific step of the lookup:
// the back-office program may be rewriting the file at the same moment, so
// it is opened without denying anyone read or write access.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Opens `path` for binary reading, sharing read and write; nullptr on failure.
std::FILE* openPriceFileShared(const char* path);

// Big price files pass 2 GB, beyond what a 32-bit `long` offset reaches on
// Windows, so offsets are 64-bit and each platform uses its own seek call.

// Length of the open file in bytes, or -1 when it cannot be found out.
int64_t priceFileLength(std::FILE* file);

// Reads `size` bytes from `offset` bytes after the start into `buffer`;
// false when the seek fails or fewer bytes arrive.
bool readPriceFileAt(std::FILE* file, int64_t offset, void* buffer, size_t size);
