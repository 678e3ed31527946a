// The tool's file calls on POSIX: a name is its bytes, and rename replaces
// a file in one step whoever has it open.
#include <time.h>
#include <unistd.h>

#include <cstdio>

#include "pricelist/file_calls.h"

std::FILE* openFileNamed(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

bool removeFileNamed(const std::string& path) {
    return std::remove(path.c_str()) == 0;
}

bool flushToDisk(std::FILE* file) {
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

MoveResult moveFileOver(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0 ? MoveResult::Moved : MoveResult::Failed;
}

void pauseMilliseconds(int milliseconds) {
    const timespec pause{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    nanosleep(&pause, nullptr);
}
