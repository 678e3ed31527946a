#include "server/server_log.h"

#include <chrono>

#include "pricelist/file_calls.h"
#include "server/server_net.h"

namespace {

// Moves the full log over the older copy and begins a new one. A log that
// cannot be moved (held by an editor) goes on growing rather than being
// lost, and is tried again after another limit's worth of lines.
void startNewLogFile(ServerLog& log) {
    std::fclose(log.file);
    moveFileOver(log.path, log.olderPath);
    log.file = openFileNamed(log.path, "ab");
    log.size = 0;
}

}  // namespace

bool openLogFile(ServerLog& log, const std::string& path, const std::string& olderPath,
                 int64_t limit) {
    std::FILE* file = openFileNamed(path, "ab");
    if (file == nullptr) return false;
    std::fseek(file, 0, SEEK_END);
    log.file = file;
    log.path = path;
    log.olderPath = olderPath;
    log.size = std::ftell(file);
    log.limit = limit;
    return true;
}

void logLine(ServerLog& log, const std::string& text) {
    const std::string line = logTimeNow() + " " + text + "\n";
    const std::lock_guard<std::mutex> held(log.lock);
    if (!log.path.empty()) {
        if (log.file != nullptr && log.size + static_cast<int64_t>(line.size()) > log.limit)
            startNewLogFile(log);
        if (log.file == nullptr) return;  // closed at the stop, or not to be opened
    }
    std::FILE* out = log.path.empty() ? stdout : log.file;
    std::fwrite(line.data(), 1, line.size(), out);
    std::fflush(out);
    log.size += static_cast<int64_t>(line.size());
}

void closeLogFile(ServerLog& log) {
    const std::lock_guard<std::mutex> held(log.lock);
    if (log.file != nullptr) std::fclose(log.file);
    log.file = nullptr;
}

std::string logTimeNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    if (!serverLocalTime(seconds, &local)) return "(no local time)";
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(millis));
    return text;
}
