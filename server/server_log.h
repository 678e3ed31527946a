// The checker server's log: standard output in a console; as a service, a
// file beside the price list that nobody watches, so it is kept short (at
// most about 1 MB, then it becomes the one older copy and a new one starts).
// Every line begins with the local date and time, to the millisecond.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

inline constexpr int64_t kLogFileLimit = int64_t{1} << 20;
inline constexpr const char* kLogFileName = "checker_server.log";
inline constexpr const char* kOlderLogFileName = "checker_server.old.log";

struct ServerLog {
    std::mutex lock;            // the answering loop and the list's loader both write
    std::FILE* file = nullptr;  // the log file, when `path` names one
    std::string path;           // empty: standard output
    std::string olderPath;
    int64_t size = 0;
    int64_t limit = kLogFileLimit;
};

// Writes to the file `path` (UTF-8 name), appending; past `limit` bytes it
// is moved over `olderPath` and begun anew. False when it cannot be opened;
// the lines are then lost, as nobody reads a service's standard output.
bool openLogFile(ServerLog& log, const std::string& path, const std::string& olderPath,
                 int64_t limit = kLogFileLimit);

// Writes one line, the time in front, and flushes it.
void logLine(ServerLog& log, const std::string& text);

void closeLogFile(ServerLog& log);

// "2026-12-10 14:05:01.234", now.
std::string logTimeNow();
