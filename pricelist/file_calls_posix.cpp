// The tool's file calls on POSIX: a name is its bytes, and rename replaces
// a file in one step whoever has it open.
#include <sys/stat.h>
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

FileStamp stampFileNamed(const std::string& path) {
    struct stat status {};
    FileStamp stamp;
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return stamp;
    stamp.exists = true;
    stamp.size = status.st_size;
    stamp.changed = int64_t{status.st_mtim.tv_sec} * 1000000000 + status.st_mtim.tv_nsec;
    stamp.identity = static_cast<int64_t>(status.st_ino);
    return stamp;
}

std::vector<std::string> programArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}
