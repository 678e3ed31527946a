// Opening the price file is the one platform-specific step of the lookup:
// the back-office program may be rewriting the file at the same moment, so
// it is opened without denying anyone read or write access.
#pragma once

#include <cstdio>

// Opens `path` for binary reading, sharing read and write; nullptr on failure.
std::FILE* openPriceFileShared(const char* path);
