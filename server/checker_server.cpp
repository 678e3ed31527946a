// checker_server: the shop's own checker server. Checkers in server mode
// ask it for each scanned code, and it answers from one price list on one
// PC, found by the same steps a checker in standalone mode takes, so every
// checker of the shop shows what a standalone one would.
//
//   checker_server --csv cennik.csv | --dat PRCHK.DAT [--setup setup.dat]
//                  [--address 0.0.0.0] [--port 1001] [--allow RANGES] [--rate 50]
//                  [--unknown nieznane-kody.csv] [--verbose] [--service]
//                  [--mode normal|silent|late=MS|empty|garbage] [--count N]
//
// It answers every request the checker sends (STX, sequence byte, "1", the
// code, CR, ETX) with one datagram of 47 bytes:
//
//   offset  0  STX (0x02)
//   offset  1  the request's sequence byte, echoed
//   offset  2  "1", the request's command, echoed
//   offset  3  two ASCII digits: "00" for a known item, "01" otherwise
//   offset  5  line 1: the item's name in CP852, cut or padded with blanks to 20
//              (otherwise blanks: the checker takes "Cena" anywhere in the
//              reply for a known item, and a code may well contain it)
//   offset 25  line 2: "Cena:" and the price right-aligned in 15 characters
//              ("Cena:          12.99"); for an unknown code "Nieznany kod
//              towaru", and "Brak cennika" while no list has loaded
//   offset 45  CR (0x0D), ETX (0x03)
//
// The list is read beside the answering loop and replaces the one in use in
// one step, only when it loaded whole; the codes nobody priced are counted
// into a CSV file for the shop. Only the shop's own networks are answered,
// each address at a checker's pace, so an open port reflects nothing.
//
// Modes for tests: silent (never answer), late=MS (answer after MS
// milliseconds), empty (answer with an empty datagram), garbage (answer with
// 1500 pseudo-random bytes, none of them zero: longer than any checker
// reads). --count N stops after N datagrams (dropped ones included). Port 0
// lets the system pick a port; the start line tells which one.
#include "server/checker_server.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "base/decimal.h"
#include "base/network.h"
#include "base/text.h"
#include "lookup/polish_text.h"
#include "lumivo_version.h"
#include "pricelist/pricelist.h"
#include "server/checker_request.h"
#include "server/server_net.h"
#include "server/server_state.h"
#include "settings/settings.h"

namespace {

using checker_request::kCr;
using checker_request::kEtx;
using checker_request::kStx;
constexpr size_t kLineWidth = 20;
constexpr size_t kGarbageLength = 1500;
constexpr unsigned kStopPollMs = 100;
constexpr const char* kUnknownLine = "Nieznany kod towaru";
constexpr const char* kNoListLine = "Brak cennika";
// A loader in the middle of a big list is not waited for longer than this
// at a stop: the service manager expects a stop within a few seconds.
constexpr auto kLoaderStopWait = std::chrono::seconds(3);

constexpr const char* kUsage =
    "usage: checker_server --csv LIST.csv | --dat PRCHK.DAT [--setup setup.dat]\n"
    "                      [--address 0.0.0.0] [--port 1001] [--allow RANGES] [--rate 50]\n"
    "                      [--unknown nieznane-kody.csv] [--verbose] [--service]\n"
    "                      [--mode normal|silent|late=MS|empty|garbage] [--count N]\n";

bool readNumber(const std::string& text, long lowest, long highest, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || parsed < lowest || parsed > highest) return false;
    value = parsed;
    return true;
}

bool readMode(const std::string& text, ServerOptions& options) {
    constexpr std::pair<const char*, ServerMode> kModes[] = {{"normal", ServerMode::normal},
                                                             {"silent", ServerMode::silent},
                                                             {"empty", ServerMode::empty},
                                                             {"garbage", ServerMode::garbage}};
    for (const auto& [name, mode] : kModes) {
        if (text == name) {
            options.mode = mode;
            return true;
        }
    }
    if (!text.starts_with("late=") || !readNumber(text.substr(5), 0, 600000, options.lateMs))
        return false;
    options.mode = ServerMode::late;
    return true;
}

// One option that takes a value. False when the value will not do.
bool applyOption(const std::string& name, const std::string& value, ServerOptions& options) {
    if (name == "--address") {
        uint32_t address = 0;
        options.address = value;
        return serverParseAddress(value, &address) == 0;
    }
    if (name == "--port") return readNumber(value, 0, 65535, options.port);
    if (name == "--csv" || name == "--dat") {
        options.listPath = value;
        options.listForm = name == "--csv" ? ListForm::Csv : ListForm::PriceFile;
        return !value.empty();
    }
    if (name == "--setup") return !(options.setupPath = value).empty();
    if (name == "--unknown") return !(options.unknownPath = value).empty();
    if (name == "--allow") return !(options.allowText = value).empty();
    if (name == "--rate") return readNumber(value, 0, 1000000, options.rate);
    if (name == "--mode") return readMode(value, options);
    if (name == "--count") return readNumber(value, 1, 1000000000, options.count);
    return false;
}

// Takes "--name value" and "--name=value"; the flags take no value.
// Returns 0, or 2 after a message; -1 when help was asked for.
int readOptions(const std::vector<std::string>& args, ServerOptions& options) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        if (name == "--help" || name == "-h") return -1;
        if (name == "--verbose" || name == "--service") {
            (name == "--verbose" ? options.verbose : options.service) = true;
            continue;
        }
        std::string value;
        if (const size_t equals = name.find('='); name.starts_with("--") && equals != name.npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            std::fprintf(stderr, "checker_server: %s needs a value\n%s", name.c_str(), kUsage);
            return 2;
        }
        if (!applyOption(name, value, options)) {
            std::fprintf(stderr, "checker_server: cannot use %s %s\n%s", name.c_str(),
                         value.c_str(), kUsage);
            return 2;
        }
    }
    if (options.listPath.empty()) {
        std::fprintf(stderr, "checker_server: name the price list with --csv or --dat\n%s", kUsage);
        return 2;
    }
    return 0;
}

// The folder of `path` with its last separator, or "" for a bare name.
std::string folderOf(const std::string& path) {
    const size_t last = path.find_last_of("/\\");
    return last == std::string::npos ? "" : path.substr(0, last + 1);
}

// The in-store prefixes and the item-code width from the shop's setup.dat,
// read only: the checker's own settings are never written here, and a
// missing or short file is an error rather than a reason for defaults.
int readSetup(const std::string& path, std::string& error) {
    std::memset(&settings, 0, sizeof settings);
    if (path.empty()) return 0;
    const auto file = ownFile(openFileNamed(path, "rb"));
    if (!file.holds()) {
        error = "cannot open " + path;
        return -1;
    }
    Settings record{};
    const size_t got = std::fread(&record, 1, sizeof record, file.get());
    if (got != sizeof record) {
        error = path + " holds " + std::to_string(got) + " of the " +
                std::to_string(sizeof record) + " bytes of a settings record";
        return -1;
    }
    terminateTextFields(record);
    settings = record;
    return 0;
}

std::string prefixesText(const char (&slots)[kPrefixSlots][kPrefixSlotSize]) {
    std::string text;
    for (const auto& slot : slots) {
        if (slot[0] == '\0') continue;
        if (!text.empty()) text += " ";
        text += slot;
    }
    return text.empty() ? "none" : text;
}

std::string setupText(const ServerOptions& options) {
    if (options.setupPath.empty()) return "no setup.dat: no in-store codes";
    return "setup " + options.setupPath + ": weight prefixes " +
           prefixesText(settings.weightPrefixes) + ", value prefixes " +
           prefixesText(settings.valuePrefixes) + ", item code " +
           (settings.shortItemCode != 0 ? "6" : "7") + " characters";
}

const char* modeName(ServerMode mode) {
    constexpr const char* kNames[] = {"normal", "silent", "late", "empty", "garbage"};
    return kNames[static_cast<int>(mode)];
}

std::string startLine(const ServerOptions& options, uint16_t boundPort) {
    return "checker_server: listening on " + options.address + ":" + std::to_string(boundPort) +
           " (UDP); list " + options.listPath + "; " + setupText(options) + "; unknown codes " +
           options.unknownPath + "; allow " + options.allowText + "; rate " +
           (options.rate == 0 ? std::string("unlimited")
                              : std::to_string(options.rate) + " a second") +
           "; mode " + modeName(options.mode) + "; version " + LUMIVO_VERSION;
}

// --- answers ----------------------------------------------------------------

// The price as the checker's own screen writes it (as the till rounds, "."
// always), so a price reads the same in both modes.
std::string priceText(double priceUnits) {
    char amount[64];
    formatFixedPoint(amount, sizeof amount, priceUnits / kMoneyUnitsPerCurrencyUnit, 2);
    return amount;
}

// One answer of 47 bytes, made on the stack: it is made for every request.
constexpr size_t kReplyLength = 47;
using Reply = std::array<char, kReplyLength>;

// Writes `text` at `at` as one display line, cut or padded with blanks to 20.
void putLine(char* at, std::string_view text) {
    const size_t length = std::min(text.size(), kLineWidth);
    std::memcpy(at, text.data(), length);
    std::memset(at + length, ' ', kLineWidth - length);
}

Reply buildReply(unsigned char sequence, bool known, std::string_view line1,
                 std::string_view line2) {
    Reply reply;
    reply[0] = static_cast<char>(kStx);
    reply[1] = static_cast<char>(sequence);
    std::memcpy(&reply[2], known ? "100" : "101", 3);
    putLine(&reply[5], line1);
    putLine(&reply[25], line2);
    reply[45] = static_cast<char>(kCr);
    reply[46] = static_cast<char>(kEtx);
    return reply;
}

// A found item: its name's first 20 bytes in CP852 (the list holds
// Mazovia), "Cena:" and the price right-aligned in 15 characters.
Reply knownReply(unsigned char sequence, const CodeLookup& found) {
    char name[kLineWidth];
    const size_t length = fieldLength(found.record.name, kLineWidth);
    std::memcpy(name, found.record.name, length);
    recodeText(name, static_cast<int32_t>(length), mazoviaLetters, cp852Letters);
    char amount[64];
    formatFixedPoint(amount, sizeof amount, found.price / kMoneyUnitsPerCurrencyUnit, 2);
    char line2[80];  // cut to the line's 20 by putLine
    std::snprintf(line2, sizeof line2, "Cena:%15s", amount);
    return buildReply(sequence, true, std::string_view(name, length), line2);
}

std::string garbageReply(unsigned char sequence) {
    std::string bytes(kGarbageLength, '\0');
    uint32_t state = 0x9E3779B9u ^ sequence;
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(1 + (state >> 24) % 255);
    }
    return bytes;
}

// The list's answer for `request`, and (for the log, when `what` is given)
// what it was.
Reply listReply(ServerState& state, const ServerPeer& peer, const CheckerRequest& request,
                std::string* what) {
    const auto list = currentList(state);
    if (!list) {
        ++state.counts.noList;
        if (what != nullptr) *what = "no list \"Brak cennika\"";
        return buildReply(request.sequence, false, "", kNoListLine);
    }
    const CodeLookup found = lookupServedCode(*list, request.code.c_str());
    if (!lookupShowsItem(found)) {
        ++state.counts.unknown;
        // A weighed or priced label whose item is missing is the item's
        // code missing: that is the row the shop must add.
        const std::string missing = found.itemCode[0] != '\0' ? found.itemCode : request.code;
        if (!missing.empty()) noteUnknownCode(state, missing, peer.address);
        if (what != nullptr) *what = "unknown \"" + std::string(kUnknownLine) + "\"";
        return buildReply(request.sequence, false, "", kUnknownLine);
    }
    ++state.counts.known;
    if (what != nullptr) {
        const std::string name(found.record.name, fieldLength(found.record.name, kLineWidth));
        *what = "known \"" + mazoviaToUtf8(name) + "\" price " + priceText(found.price);
    }
    return knownReply(request.sequence, found);
}

// Waits in short steps so that a stop still ends a late answer promptly.
bool waitUnlessStopped(long ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (serverStopRequested()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long>(ms, 20)));
    }
    return true;
}

// The answer of a test mode other than normal, and what it was.
std::string testModeReply(const ServerOptions& options, unsigned char sequence, std::string& what) {
    if (options.mode == ServerMode::empty) {
        what = "empty datagram";
        return "";
    }
    const std::string reply = garbageReply(sequence);
    what = "garbage, " + std::to_string(reply.size()) + " bytes";
    return reply;
}

// Answers one request and, for the log, says what was answered.
std::string answer(ServerState& state, ServerSocket socket, const ServerPeer& peer,
                   const CheckerRequest& request) {
    const ServerOptions& options = state.options;
    if (options.mode == ServerMode::silent) return "nothing (silent)";
    if (options.mode == ServerMode::late && !waitUnlessStopped(options.lateMs))
        return "nothing (stopped while waiting)";
    std::string what;
    int sent = 0;
    if (options.mode == ServerMode::empty || options.mode == ServerMode::garbage) {
        const std::string reply = testModeReply(options, request.sequence, what);
        sent = serverSendTo(socket, reply.data(), static_cast<int>(reply.size()), peer);
    } else {
        const Reply reply = listReply(state, peer, request, options.verbose ? &what : nullptr);
        sent = serverSendTo(socket, reply.data(), static_cast<int>(reply.size()), peer);
    }
    if (options.mode == ServerMode::late)
        what += ", after " + std::to_string(options.lateMs) + " ms";
    if (sent != 0) what += " (send failed: " + serverLastErrorText() + ")";
    return what;
}

std::string peerText(const ServerPeer& peer) {
    return dottedAddress(peer.address) + ":" + std::to_string(peer.port);
}

int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A datagram of `fullLength` bytes, of which the buffer holds at most
// `bufferSize`: answered when it is a checker's request from an address
// allowed and within its rate, else dropped and counted.
void handleDatagram(ServerState& state, AddressBuckets& buckets, ServerSocket socket,
                    const ServerPeer& peer, const unsigned char* bytes, int fullLength,
                    int bufferSize) {
    ServerCounts& counts = state.counts;
    const bool verbose = state.options.verbose;
    ++counts.requests;
    if (!addressAllowed(state.allowed, peer.address)) {
        ++counts.notAllowed;
        if (verbose)
            logLine(state.log, peerText(peer) + " note: address not allowed, not answered");
        return;
    }
    const size_t held = static_cast<size_t>(std::min(fullLength, bufferSize));
    CheckerRequest request;
    if (const char* problem =
            readCheckerRequest(bytes, static_cast<size_t>(fullLength), held, request)) {
        ++counts.malformed;
        if (verbose)
            logLine(state.log, peerText(peer) + " note: malformed datagram of " +
                                   std::to_string(fullLength) + " bytes (" + problem +
                                   "), not answered");
        return;
    }
    const bool within = takeAnswer(buckets, peer.address, steadyMs(), state.options.rate);
    counts.addresses = static_cast<int64_t>(buckets.entries.size());
    if (!within) {
        ++counts.overRate;
        if (verbose) logLine(state.log, peerText(peer) + " note: over the rate, not answered");
        return;
    }
    const std::string what = answer(state, socket, peer, request);
    if (verbose) {
        char sequence[8];
        std::snprintf(sequence, sizeof sequence, "0x%02X", request.sequence);
        logLine(state.log, peerText(peer) + " seq=" + sequence + " code=" +
                               (request.code.empty() ? "(empty)" : request.code) + " -> " + what);
    }
}

int serve(ServerState& state, ServerSocket socket) {
    std::vector<unsigned char> buffer(65536);
    AddressBuckets buckets;
    buckets.capacity = kAddressesKept;
    long handled = 0;
    while (!serverStopRequested() && (state.options.count == 0 || handled < state.options.count)) {
        ServerPeer peer;
        const int received = serverReceive(socket, buffer.data(), static_cast<int>(buffer.size()),
                                           &peer, kStopPollMs);
        if (received == -2) continue;
        if (received < 0) {
            logLine(state.log, "checker_server: receive failed: " + serverLastErrorText());
            return 1;
        }
        handleDatagram(state, buckets, socket, peer, buffer.data(), received,
                       static_cast<int>(buffer.size()));
        ++handled;
    }
    return 0;
}

// --- start and stop ---------------------------------------------------------

// A fault found before the server listens: on the console's error output,
// and as a service in its log, the only place anyone will look.
int startFault(ServerState& state, const std::string& text, int code) {
    if (state.options.service)
        logLine(state.log, "checker_server: " + text);
    else
        std::fprintf(stderr, "checker_server: %s\n", text.c_str());
    return code;
}

// Options that need more than reading: the allow list, the setup, the files
// beside the list. Returns 0, or an exit code after saying why.
int prepare(ServerState& state) {
    ServerOptions& options = state.options;
    const std::string folder = folderOf(options.listPath);
    if (options.service) {
        const std::string log = folder + kLogFileName;
        if (!openLogFile(state.log, log, folder + kOlderLogFileName))
            std::fprintf(stderr, "checker_server: cannot write %s\n", log.c_str());
    }
    if (options.unknownPath.empty()) options.unknownPath = folder + kUnknownCodesFileName;
    std::string wrong;
    if (readAllowList(options.allowText, state.allowed, wrong) != 0)
        return startFault(state, "--allow: \"" + wrong + "\" is no address or range", 2);
    std::string error;
    if (readSetup(options.setupPath, error) != 0) return startFault(state, "--setup: " + error, 2);
    return 0;
}

// Ends the loader (waiting a little for a list being read), writes the
// unknown codes and says so.
void stopServer(ServerState& state, std::thread& loader) {
    state.stopping = true;
    const auto until = std::chrono::steady_clock::now() + kLoaderStopWait;
    while (!state.loaderEnded && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // A loader still reading a big list holds its own share of the state
    // and ends with the process.
    if (state.loaderEnded)
        loader.join();
    else
        loader.detach();
    writeUnknownCodes(state);
    logCounts(state);
    logLine(state.log, "checker_server: stopped");
}

int listenAndServe(const std::shared_ptr<ServerState>& state) {
    const ServerOptions& options = state->options;
    uint32_t address = 0;
    serverParseAddress(options.address, &address);
    std::string error;
    uint16_t boundPort = 0;
    const ServerSocket socket =
        serverOpenSocket(address, static_cast<uint16_t>(options.port), &boundPort, error);
    if (socket == kNoServerSocket)
        return startFault(*state,
                          "cannot listen on " + options.address + ":" +
                              std::to_string(options.port) + ": " + error,
                          1);
    logLine(state->log, startLine(options, boundPort));
    readUnknownCodes(*state);
    std::thread loader(runListLoader, state);
    const int result = serve(*state, socket);
    serverClose(socket);
    stopServer(*state, loader);
    return result;
}

}  // namespace

bool asksForService(const std::vector<std::string>& args) {
    return std::find(args.begin(), args.end(), "--service") != args.end();
}

int runCheckerServer(const std::vector<std::string>& args, bool asService) {
    // Shared with the loader's thread, which may outlive this call when a
    // stop comes while it reads a big list.
    const auto state = std::make_shared<ServerState>();
    const int read = readOptions(args, state->options);
    if (read != 0) {
        if (read < 0) std::fputs(kUsage, stdout);
        return read < 0 ? 0 : read;
    }
    state->options.service = asService;
    if (const int fault = prepare(*state); fault != 0) return fault;

    const NetworkUse network;
    if (network.startError() != 0)
        return startFault(*state,
                          "network start failed: error " + std::to_string(network.startError()), 1);
    if (!asService) serverInstallStopHandlers();
    const int result = listenAndServe(state);
    closeLogFile(state->log);
    return result;
}
