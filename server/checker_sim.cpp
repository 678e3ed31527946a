// checker_sim: a stand-in for the shop's checker server, so that a checker in
// server mode can be tried and tested without the back-office program.
//
//   checker_sim [--address 127.0.0.1] [--port 1001]
//               [--csv tools/demo/demo_items.csv | --dat PRCHK.DAT]
//               [--mode normal|silent|late=MS|empty|garbage] [--count N]
//
// It answers every request the checker sends (STX, sequence byte, "1", the
// code, CR, ETX) with one datagram of 47 bytes:
//
//   offset  0  STX (0x02)
//   offset  1  the request's sequence byte, echoed
//   offset  2  "1", the request's command, echoed
//   offset  3  two ASCII digits: "00" for a known item, "01" for an unknown one
//   offset  5  line 1: the item's name in CP852, cut or padded with blanks to 20
//              (for an unknown item: blanks, so no code reads as a name)
//   offset 25  line 2: "Cena:" and the price right-aligned in 15 characters
//              ("Cena:          12.99"); for an unknown item "Nieznany kod towaru "
//   offset 45  CR (0x0D), ETX (0x03)
//
// Items are looked up the way a checker in standalone mode finds them: the
// code itself, then, for a 12- or 7-character code, with a zero in front.
//
// Modes for tests: silent (never answer), late=MS (answer after MS
// milliseconds), empty (answer with an empty datagram), garbage (answer with
// 1500 pseudo-random bytes, none of them zero: longer than any checker reads).
//
// One line per datagram goes to standard output. --count N stops after N
// datagrams (malformed ones included). Port 0 lets the system pick a port;
// the first line tells which one.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "base/decimal.h"
#include "base/network.h"
#include "lookup/polish_text.h"
#include "pricelist/pricelist.h"
#include "server/checker_sim_net.h"
#include "server/checker_sim_request.h"

namespace {

using sim_request::kCr;
using sim_request::kEtx;
using sim_request::kStx;
constexpr size_t kLineWidth = 20;
constexpr size_t kGarbageLength = 1500;
constexpr unsigned kStopPollMs = 100;
constexpr const char* kUnknownLine = "Nieznany kod towaru ";

enum class Mode { normal, silent, late, empty, garbage };

struct Options {
    std::string address = "127.0.0.1";
    long port = 1001;
    std::string csvPath = "tools/demo/demo_items.csv";
    std::string datPath;
    Mode mode = Mode::normal;
    long lateMs = 0;
    long count = 0;  // 0: run until stopped
};

struct Item {
    std::string nameMazovia;  // at most 120 bytes, as in the price file
    double priceUnits = 0;    // 1/10000 of the currency unit
};

using ItemTable = std::unordered_map<std::string, Item>;

void printUsage() {
    std::fprintf(stderr,
                 "usage: checker_sim [--address 127.0.0.1] [--port 1001]\n"
                 "                   [--csv FILE.csv | --dat PRCHK.DAT]\n"
                 "                   [--mode normal|silent|late=MS|empty|garbage] [--count N]\n");
}

bool readNumber(const std::string& text, long lowest, long highest, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || parsed < lowest || parsed > highest) return false;
    value = parsed;
    return true;
}

bool readMode(const std::string& text, Options& options) {
    if (text == "normal")
        options.mode = Mode::normal;
    else if (text == "silent")
        options.mode = Mode::silent;
    else if (text == "empty")
        options.mode = Mode::empty;
    else if (text == "garbage")
        options.mode = Mode::garbage;
    else if (text.rfind("late=", 0) == 0 && readNumber(text.substr(5), 0, 600000, options.lateMs))
        options.mode = Mode::late;
    else
        return false;
    return true;
}

// Accepts "--name value" and "--name=value". Returns 0, or 2 after a message.
int readOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        const size_t equals = name.find('=');
        if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        } else if (name == "--help" || name == "-h") {
            printUsage();
            std::exit(0);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            std::fprintf(stderr, "checker_sim: %s needs a value\n", name.c_str());
            return 2;
        }

        bool good = true;
        if (name == "--address")
            options.address = value;
        else if (name == "--port")
            good = readNumber(value, 0, 65535, options.port);
        else if (name == "--csv")
            options.csvPath = value, options.datPath.clear();
        else if (name == "--dat")
            options.datPath = value, options.csvPath.clear();
        else if (name == "--mode")
            good = readMode(value, options);
        else if (name == "--count")
            good = readNumber(value, 1, 1000000000, options.count);
        else
            good = false;
        if (!good) {
            std::fprintf(stderr, "checker_sim: cannot use %s %s\n", name.c_str(), value.c_str());
            printUsage();
            return 2;
        }
    }
    return 0;
}

void printMessages(const PrchkMessages& messages) {
    for (const std::string& error : messages.errors)
        std::fprintf(stderr, "checker_sim: %s\n", error.c_str());
}

void addRecords(const std::vector<PriceRecord>& records, ItemTable& items) {
    for (const PriceRecord& record : records) {
        const std::string code(record.code, fieldLength(record.code, sizeof record.code));
        Item item;
        item.nameMazovia.assign(record.name, fieldLength(record.name, sizeof record.name));
        item.priceUnits = record.price;
        items.emplace(code, item);  // the first of two equal codes wins, as in a bisection
    }
}

int loadItems(const Options& options, ItemTable& items) {
    PrchkMessages messages;
    std::vector<PriceRecord> records;
    if (!options.datPath.empty()) {
        int64_t trailingBytes = 0;
        if (readPriceFile(options.datPath, records, trailingBytes, messages) != 0) {
            printMessages(messages);
            return 2;
        }
    } else {
        std::string text;
        CsvForm form;
        if (readWholeFile(options.csvPath, text, messages) != 0 ||
            readPriceList(text, form, records, messages) != 0) {
            printMessages(messages);
            return 2;
        }
    }
    addRecords(records, items);
    return 0;
}

const Item* findItem(const ItemTable& items, const std::string& code) {
    if (auto found = items.find(code); found != items.end()) return &found->second;
    if (code.size() == 12 || code.size() == 7) {
        if (auto found = items.find("0" + code); found != items.end()) return &found->second;
    }
    return nullptr;
}

// Pads with blanks or cuts to exactly one display line.
std::string displayLine(std::string text) {
    text.resize(kLineWidth, ' ');
    return text;
}

// The price as the checker's own screen would write it (half away from
// zero, "." always), so a demo price reads the same in both modes.
std::string priceText(double priceUnits) {
    char amount[64];
    formatFixedPoint(amount, sizeof amount, priceUnits / kMoneyUnitsPerCurrencyUnit, 2);
    return amount;
}

std::string knownPriceLine(double priceUnits) {
    char line[64];
    std::snprintf(line, sizeof line, "Cena:%15s", priceText(priceUnits).c_str());
    return displayLine(line);
}

std::string nameLineCp852(const std::string& nameMazovia) {
    std::string line = displayLine(nameMazovia.substr(0, kLineWidth));
    recodeText(line.data(), static_cast<int32_t>(line.size()), mazoviaLetters, cp852Letters);
    return line;
}

std::string buildReply(unsigned char sequence, bool known, const std::string& line1,
                       const std::string& line2) {
    std::string reply;
    reply += static_cast<char>(kStx);
    reply += static_cast<char>(sequence);
    reply += '1';
    reply += known ? "00" : "01";
    reply += line1;
    reply += line2;
    reply += static_cast<char>(kCr);
    reply += static_cast<char>(kEtx);
    return reply;
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

std::string timeNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    char text[32] = "??:??:??";
    if (const std::tm* local = std::localtime(&seconds))
        std::strftime(text, sizeof text, "%H:%M:%S", local);
    char withMillis[48];
    std::snprintf(withMillis, sizeof withMillis, "%s.%03d", text, static_cast<int>(millis));
    return withMillis;
}

std::string peerText(const SimPeer& peer) {
    const auto* b = reinterpret_cast<const unsigned char*>(&peer.address);
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", b[0], b[1], b[2], b[3], peer.port);
    return text;
}

// Waits in short steps so that Ctrl+C still ends a late answer promptly.
bool waitUnlessStopped(long ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (simStopRequested()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long>(ms, 20)));
    }
    return true;
}

// Answers one well-formed request and says what was answered.
std::string answer(SimSocket socket, const SimPeer& peer, const Options& options,
                   const ItemTable& items, unsigned char sequence, const std::string& code) {
    if (options.mode == Mode::silent) return "nothing (silent)";
    if (options.mode == Mode::late && !waitUnlessStopped(options.lateMs))
        return "nothing (stopped while waiting)";

    std::string reply;
    std::string what;
    if (options.mode == Mode::empty) {
        what = "empty datagram";
    } else if (options.mode == Mode::garbage) {
        reply = garbageReply(sequence);
        what = "garbage, " + std::to_string(reply.size()) + " bytes";
    } else if (const Item* item = findItem(items, code)) {
        reply = buildReply(sequence, true, nameLineCp852(item->nameMazovia),
                           knownPriceLine(item->priceUnits));
        what = "known \"" + mazoviaToUtf8(item->nameMazovia.substr(0, kLineWidth)) + "\" price " +
               priceText(item->priceUnits);
    } else {
        // Line 1 stays blank: the checker takes "Cena" anywhere in the reply
        // for a known item, and a code may well contain those letters.
        reply = buildReply(sequence, false, displayLine(""), kUnknownLine);
        what = "unknown \"" + std::string(kUnknownLine) + "\"";
    }
    if (options.mode == Mode::late) what += ", after " + std::to_string(options.lateMs) + " ms";

    if (simSendTo(socket, reply.data(), static_cast<int>(reply.size()), peer) != 0)
        what += " (send failed: " + simLastErrorText() + ")";
    return what;
}

void handleDatagram(SimSocket socket, const SimPeer& peer, const unsigned char* bytes,
                    int fullLength, int bufferSize, const Options& options,
                    const ItemTable& items) {
    const size_t held = static_cast<size_t>(std::min(fullLength, bufferSize));
    SimRequest request;
    if (const char* problem =
            readSimRequest(bytes, static_cast<size_t>(fullLength), held, request)) {
        std::printf("%s %s note: malformed datagram of %d bytes (%s), not answered\n",
                    timeNow().c_str(), peerText(peer).c_str(), fullLength, problem);
        return;
    }
    const std::string& code = request.code;
    const std::string what = answer(socket, peer, options, items, request.sequence, code);
    std::printf("%s %s seq=0x%02X code=%s -> %s\n", timeNow().c_str(), peerText(peer).c_str(),
                request.sequence, code.empty() ? "(empty)" : code.c_str(), what.c_str());
}

const char* modeName(const Options& options) {
    switch (options.mode) {
        case Mode::normal:
            return "normal";
        case Mode::silent:
            return "silent";
        case Mode::late:
            return "late";
        case Mode::empty:
            return "empty";
        case Mode::garbage:
            return "garbage";
    }
    return "?";
}

int serve(const Options& options, const ItemTable& items) {
    uint32_t address = 0;
    if (simParseAddress(options.address.c_str(), &address) != 0) {
        std::fprintf(stderr, "checker_sim: %s is no dotted IPv4 address\n",
                     options.address.c_str());
        return 2;
    }
    std::string error;
    uint16_t boundPort = 0;
    const SimSocket socket =
        simOpenServer(address, static_cast<uint16_t>(options.port), &boundPort, error);
    if (socket == kNoSimSocket) {
        std::fprintf(stderr, "checker_sim: cannot listen on %s:%ld: %s\n", options.address.c_str(),
                     options.port, error.c_str());
        return 1;
    }
    std::printf("checker_sim: listening on %s:%u (UDP), %zu items from %s, mode %s\n",
                options.address.c_str(), boundPort, items.size(),
                options.datPath.empty() ? options.csvPath.c_str() : options.datPath.c_str(),
                modeName(options));
    std::fflush(stdout);

    std::vector<unsigned char> buffer(65536);
    long handled = 0;
    int result = 0;
    while (!simStopRequested() && (options.count == 0 || handled < options.count)) {
        SimPeer peer;
        const int received =
            simReceive(socket, buffer.data(), static_cast<int>(buffer.size()), &peer, kStopPollMs);
        if (received == -2) continue;
        if (received < 0) {
            std::fprintf(stderr, "checker_sim: receive failed: %s\n", simLastErrorText().c_str());
            result = 1;
            break;
        }
        handleDatagram(socket, peer, buffer.data(), received, static_cast<int>(buffer.size()),
                       options, items);
        std::fflush(stdout);
        ++handled;
    }
    simClose(socket);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (readOptions(argc, argv, options) != 0) return 2;

    ItemTable items;
    if (loadItems(options, items) != 0) return 2;

    const NetworkUse network;
    if (network.startError() != 0) {
        std::fprintf(stderr, "checker_sim: network start failed: error %d\n", network.startError());
        return 1;
    }
    simInstallStopHandlers();
    const int result = serve(options, items);
    std::printf("checker_sim: stopped\n");
    return result;
}
