#include "server/server_state.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "pricelist/pricelist.h"
#include "server/server_net.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

// The file is looked at four times a second; a changed one is read once its
// size and time have stayed the same for a second, so a spreadsheet saving
// in place is not read half-written, and a replaced list answers within
// about two seconds when it reads quickly.
constexpr auto kWatchStep = milliseconds(250);
constexpr auto kSettleTime = seconds(1);
// A list that will not load is tried again, and while none answers the log
// says why, once a minute; so are the counts and the unknown codes written.
constexpr auto kMinute = seconds(60);

struct ListWatch {
    FileStamp loaded;  // the version answering now
    FileStamp seen;    // the version seen last, unchanged since seenAt
    Clock::time_point seenAt;
    FileStamp failed;  // the version that failed last, when, and why
    Clock::time_point failedAt;
    std::string failure;
};

const char* formName(ListForm form) {
    return form == ListForm::Csv ? "CSV price list" : "price file";
}

void logListLoaded(ServerState& state, const ServedList& list, int64_t before, double took) {
    const ServerOptions& options = state.options;
    std::string line = before < 0 ? "list: loaded " : "list: reloaded ";
    line += std::to_string(list.count) + " items";
    if (before >= 0) line += " (were " + std::to_string(before) + ")";
    char time[32];
    std::snprintf(time, sizeof time, "%.2f", took);
    line += " from " + options.listPath + " (" + formName(options.listForm) + ") in " + time + " s";
    if (list.trailingBytes > 0)
        line += "; " + std::to_string(list.trailingBytes) +
                " bytes after the last whole record left out";
    logLine(state.log, line);
}

void logListFailure(ServerState& state, const std::string& why, bool answering) {
    logLine(state.log, "list: cannot load " + state.options.listPath + ": " + why +
                           (answering ? "; the list loaded before still answers"
                                      : "; every checker gets \"Brak cennika\" until one loads"));
}

// Reads the list beside the one in use and swaps it in when it loaded whole.
void loadList(ServerState& state, ListWatch& watch, const FileStamp& stamp) {
    const auto started = Clock::now();
    auto list = std::make_shared<ServedList>();
    std::string why;
    const bool answering = currentList(state) != nullptr;
    if (loadServedList(state.options.listPath, state.options.listForm, *list, why) != 0) {
        // With a list answering, a failure is told once; without one, at
        // every try, which comes once a minute while the file stays as it is.
        if (!answering || !(stamp == watch.failed) || why != watch.failure)
            logListFailure(state, why, answering);
        watch.failed = stamp;
        watch.failedAt = Clock::now();
        watch.failure = why;
        return;
    }
    const double took = std::chrono::duration<double>(Clock::now() - started).count();
    std::shared_ptr<const ServedList> before;
    {
        const std::lock_guard<std::mutex> held(state.listLock);
        before = std::exchange(state.list, list);
    }
    logListLoaded(state, *list, before ? before->count : -1, took);
    watch.loaded = stamp;
    watch.failed = {};
    watch.failure.clear();
}

// One look at the file: a new version is read once it has settled.
void watchListOnce(ServerState& state, ListWatch& watch) {
    const FileStamp stamp = stampFileNamed(state.options.listPath);
    const auto now = Clock::now();
    if (currentList(state) != nullptr && stamp == watch.loaded) return;
    if (!(stamp == watch.seen)) {
        watch.seen = stamp;
        watch.seenAt = now;
        return;
    }
    if (now - watch.seenAt < kSettleTime) return;
    if (stamp == watch.failed && now - watch.failedAt < kMinute) return;
    loadList(state, watch, stamp);
}

bool stopping(const ServerState& state) {
    return state.stopping.load();
}

}  // namespace

std::shared_ptr<const ServedList> currentList(ServerState& state) {
    const std::lock_guard<std::mutex> held(state.listLock);
    return state.list;
}

void noteUnknownCode(ServerState& state, const std::string& code, uint32_t checker) {
    const std::lock_guard<std::mutex> held(state.unknownLock);
    countUnknownCode(state.unknown, code, std::time(nullptr), checker);
    state.unknownChanged = true;
}

void readUnknownCodes(ServerState& state) {
    const std::string& path = state.options.unknownPath;
    if (!stampFileNamed(path).exists) return;
    std::string text;
    PrchkMessages messages;
    if (readWholeFile(path, text, messages) != 0) {
        state.unknownFileWritable = false;
        logLine(state.log, "unknown codes: cannot read " + path +
                               "; it is left as it is and not written in this run");
        return;
    }
    const std::lock_guard<std::mutex> held(state.unknownLock);
    const size_t rows = readUnknownCodesCsv(text, state.unknown);
    logLine(state.log, "unknown codes: " + std::to_string(rows) + " read back from " + path);
}

void writeUnknownCodes(ServerState& state) {
    const std::lock_guard<std::mutex> writing(state.unknownFileLock);
    if (!state.unknownFileWritable) return;
    std::vector<UnknownCodes::Entry> codes;
    bool changed = false;
    {
        const std::lock_guard<std::mutex> held(state.unknownLock);
        codes.assign(state.unknown.entries.begin(), state.unknown.entries.end());
        changed = std::exchange(state.unknownChanged, false);
    }
    // Codes the list holds now (the shop added them) leave the file.
    if (const auto list = currentList(state)) {
        std::vector<UnknownCodes::Entry> unknown;
        std::vector<std::string> found;
        for (auto& entry : codes) {
            if (lookupShowsItem(lookupServedCode(*list, entry.first.c_str())))
                found.push_back(entry.first);
            else
                unknown.push_back(std::move(entry));
        }
        if (!found.empty()) {
            changed = true;
            const std::lock_guard<std::mutex> held(state.unknownLock);
            for (const std::string& code : found) eraseEntry(state.unknown, code);
        }
        codes = std::move(unknown);
    }
    if (!changed) return;
    PrchkMessages messages;
    if (writeFileReplacing(state.options.unknownPath, unknownCodesCsv(codes, serverLocalTime),
                           messages) != 0) {
        const std::lock_guard<std::mutex> held(state.unknownLock);
        state.unknownChanged = true;
        logLine(state.log, "unknown codes: cannot write " + state.options.unknownPath + ": " +
                               (messages.errors.empty() ? "?" : messages.errors.front()) +
                               "; tried again at the next write");
    }
}

void logCounts(ServerState& state) {
    const ServerCounts& c = state.counts;
    const int64_t answered = c.known + c.unknown + c.noList;
    const int64_t dropped = c.malformed + c.notAllowed + c.overRate;
    const auto list = currentList(state);
    logLine(state.log, "counts: requests " + std::to_string(c.requests.load()) + ", answered " +
                           std::to_string(answered) + " (known " + std::to_string(c.known.load()) +
                           ", unknown " + std::to_string(c.unknown.load()) + ", no list " +
                           std::to_string(c.noList.load()) + "), dropped " +
                           std::to_string(dropped) + " (malformed " +
                           std::to_string(c.malformed.load()) + ", not allowed " +
                           std::to_string(c.notAllowed.load()) + ", over the rate " +
                           std::to_string(c.overRate.load()) + "), addresses " +
                           std::to_string(c.addresses.load()) + ", items " +
                           (list ? std::to_string(list->count) : "0 (no list)"));
}

void runListLoader(std::shared_ptr<ServerState> state) {
    ListWatch watch;
    loadList(*state, watch, stampFileNamed(state->options.listPath));
    auto minuteStarted = Clock::now();
    while (!stopping(*state)) {
        std::this_thread::sleep_for(kWatchStep);
        if (stopping(*state)) break;
        watchListOnce(*state, watch);
        if (Clock::now() - minuteStarted >= kMinute) {
            minuteStarted = Clock::now();
            logCounts(*state);
            writeUnknownCodes(*state);
        }
    }
    state->loaderEnded = true;
}
