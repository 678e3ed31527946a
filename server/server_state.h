// What the checker server's two threads share: the answering loop, which
// must never wait for a list being read, and the loader beside it, which
// watches the list's file, reads a changed one beside the list in use and
// puts it in its place in one step, and once a minute writes the counts
// and the unknown codes.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/gate.h"
#include "server/served_list.h"
#include "server/server_log.h"
#include "server/unknown_codes.h"

// The answers the test modes give instead of the list's.
enum class ServerMode { normal, silent, late, empty, garbage };

struct ServerOptions {
    std::string address = "0.0.0.0";
    long port = 1001;
    std::string listPath;
    ListForm listForm = ListForm::Csv;
    std::string setupPath;    // empty: no in-store prefixes
    std::string unknownPath;  // empty: beside the list
    std::string allowText{kDefaultAllowList};
    long rate = kDefaultRate;
    bool verbose = false;
    bool service = false;
    ServerMode mode = ServerMode::normal;
    long lateMs = 0;
    long count = 0;  // 0: run until stopped
};

struct ServerCounts {
    std::atomic<int64_t> requests{0};
    std::atomic<int64_t> known{0};
    std::atomic<int64_t> unknown{0};
    std::atomic<int64_t> noList{0};
    std::atomic<int64_t> malformed{0};
    std::atomic<int64_t> notAllowed{0};
    std::atomic<int64_t> overRate{0};
    std::atomic<int64_t> addresses{0};
};

struct ServerState {
    ServerOptions options;
    std::vector<AddressRange> allowed;
    ServerLog log;
    ServerCounts counts;

    std::mutex listLock;                     // held only to take or swap the pointer
    std::shared_ptr<const ServedList> list;  // null while none has loaded

    std::mutex unknownLock;
    UnknownCodes unknown{.capacity = kUnknownCodesKept};
    bool unknownChanged = false;  // since the file was last written
    // False when the file was there at start but could not be read: writing
    // it would lose the shop's counts.
    bool unknownFileWritable = true;
    std::mutex unknownFileLock;  // one writer of the file at a time

    std::atomic<bool> stopping{false};
    std::atomic<bool> loaderEnded{false};
};

// The list answering now, or null.
std::shared_ptr<const ServedList> currentList(ServerState& state);

// Counts a request for `code`, which the list does not hold, from `checker`.
void noteUnknownCode(ServerState& state, const std::string& code, uint32_t checker);

// Reads the unknown-code file back at start, so counts survive a restart.
void readUnknownCodes(ServerState& state);

// Writes the unknown-code file whole and moves it over the old one, when
// anything changed since the last write; codes the list now holds leave it
// first. A file another program holds is tried again at the next write.
void writeUnknownCodes(ServerState& state);

// One line of counts since the start.
void logCounts(ServerState& state);

// The loader's thread: loads the list at once, then watches it until
// `stopping`, and sets `loaderEnded` at its end.
void runListLoader(std::shared_ptr<ServerState> state);
