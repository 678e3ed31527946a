// The checker server, run as the shop's technician runs it: a separate
// program on a loopback address, asked by the checker's own exchange, its
// log lines read back; and the parts a test can reach without it.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/decimal.h"
#include "lookup/entry.h"
#include "lookup/in_store_codes.h"
#include "lookup/price_file.h"
#include "server/gate.h"
#include "server/server_log.h"
#include "server/server_net.h"
#include "server/unknown_codes.h"
#include "tests/support/checker_exchange.h"
#include "tests/support/fakes.h"
#include "tests/support/price_file_builder.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

sockaddr_in loopback(const char* address, uint16_t port) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    inet_pton(AF_INET, address, &where.sin_addr);
    return where;
}

// A client socket of the test's own, for datagrams no checker would send.
int boundUdpSocket(const char* address) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in local = loopback(address, 0);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Whether anything came back on `fd` within `ms`.
bool answered(int fd, int ms) {
    pollfd watch{fd, POLLIN, 0};
    if (poll(&watch, 1, ms) != 1) return false;
    char reply[2048];
    return recv(fd, reply, sizeof reply, 0) > 0;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The server as a child process whose standard output and error the test
// reads line by line.
class ServerProcess {
public:
    explicit ServerProcess(std::vector<std::string> args) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            dup2(out[1], STDERR_FILENO);
            close(out[0]);
            close(out[1]);
            std::vector<char*> argv{const_cast<char*>(LUMIVO_CHECKER_SERVER)};
            for (std::string& arg : args) argv.push_back(arg.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
    }
    ~ServerProcess() {
        stop();
        if (out_ >= 0) close(out_);
    }

    // The next line of output, or "" after `timeout` without one.
    std::string readLine(std::chrono::milliseconds timeout = 5s) {
        const auto until = Clock::now() + timeout;
        for (;;) {
            const size_t end = pending_.find('\n');
            if (end != std::string::npos) {
                std::string line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                lines_ += line + "\n";
                return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            pollfd watch{out_, POLLIN, 0};
            if (left.count() <= 0 || poll(&watch, 1, static_cast<int>(left.count())) != 1)
                return "";
            char chunk[4096];
            const ssize_t n = read(out_, chunk, sizeof chunk);
            if (n <= 0) return "";
            pending_.append(chunk, static_cast<size_t>(n));
        }
    }

    // Reads lines until one holds `text`; that line, or "".
    std::string waitFor(const std::string& text, std::chrono::milliseconds timeout = 5s) {
        const auto until = Clock::now() + timeout;
        while (Clock::now() < until) {
            const std::string line = readLine(
                std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()));
            if (line.find(text) != std::string::npos) return line;
        }
        return "";
    }

    // The port from "... checker_server: listening on 127.0.0.3:PORT (UDP); ...",
    // once the list has loaded (or failed to).
    uint16_t readPort(const char* listLine = "list: ") {
        const std::string line = waitFor("listening on");
        const size_t colon = line.find(':', line.find("listening on"));
        if (colon == std::string::npos) return 0;
        if (listLine != nullptr && waitFor(listLine).empty()) return 0;
        return static_cast<uint16_t>(std::stoi(line.substr(colon + 1)));
    }

    // Everything read so far, and the rest once it has ended.
    const std::string& lines() const { return lines_; }

    // Asks it to stop with `signal` (SIGTERM as a service manager, SIGINT as
    // Ctrl+C; 0 when it is to end by itself); the exit status, -1 if it had
    // to be killed. The rest of its output is read.
    int stop(int signal = SIGTERM) {
        if (pid_ <= 0) return -1;
        if (signal != 0) kill(pid_, signal);
        while (!readLine(2s).empty()) {
        }
        int status = 0;
        for (int i = 0; i < 250 && waitpid(pid_, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(20ms);
        const bool ended = waitpid(pid_, &status, WNOHANG) != 0;
        if (!ended) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string pending_;
    std::string lines_;
};

PriceRecord priceRecord(const char* code, const char* nameMazovia, double units) {
    PriceRecord record{};
    std::snprintf(record.code, sizeof record.code, "%s", code);
    std::snprintf(record.name, sizeof record.name, "%s", nameMazovia);
    record.price = units;
    std::snprintf(record.unit, sizeof record.unit, "%s", "szt");
    return record;
}

// setup.dat with in-store prefixes, as the checker's dialog writes it.
std::string writeSetup(const TempFolder& folder, const char* weight, const char* value,
                       int shortItemCode = 0) {
    Settings record{};
    std::snprintf(record.weightPrefixes[0], kPrefixSlotSize, "%s", weight);
    std::snprintf(record.valuePrefixes[0], kPrefixSlotSize, "%s", value);
    record.shortItemCode = shortItemCode;
    const std::string path = folder.file("setup.dat");
    writeBytes(path, std::string_view(reinterpret_cast<const char*>(&record), sizeof record));
    return path;
}

int runPrchk(const std::string& arguments) {
    return std::system(
        (std::string(LUMIVO_PRCHK_TOOL) + " " + arguments + " >/dev/null 2>&1").c_str());
}

class CheckerServerTest : public testing::Test {
protected:
    void SetUp() override {
        resetFakeWindow();
        startExchangesAfresh();
        datPath_ = folder_.file("PRCHK.DAT");
        // Sorted by code, as the back-office program writes them; names in Mazovia.
        const std::vector<PriceRecord> records = {
            priceRecord("0000000000125", "Cukierek", 1250),
            priceRecord("0012345678905", "Kawa ziarnista 1kg", 459900),
            priceRecord("01234567", "Herbata", 89900),
            priceRecord("5901234123457", "\xA1ubr\xA3wka bardzo d\x92uga nazwa", 129900),
        };
        ASSERT_TRUE(writePriceFile(datPath_, records));
    }

    std::vector<std::string> serverArgs(std::vector<std::string> more = {}) const {
        std::vector<std::string> args = {"--address", "127.0.0.3", "--port",   "0",
                                         "--dat",     datPath_,    "--verbose"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    TempFolder folder_;
    std::string datPath_;
};

TEST_F(CheckerServerTest, AnswersKnownAndUnknownCodesLikeAServer) {
    ServerProcess server(serverArgs());
    const uint16_t port = server.readPort();
    ASSERT_NE(port, 0);

    Exchange known;
    ask(known, "127.0.0.3", port, "5901234123457");
    ASSERT_EQ(known.result, 0);
    EXPECT_EQ(known.text.size(), 47u);
    EXPECT_EQ(known.text.substr(0, 5),
              "\x02\x80"
              "100");
    EXPECT_EQ(known.text.substr(5, 20), "\xBDubr\xE0wka bardzo d\x88ug");  // CP852
    EXPECT_EQ(known.text.substr(25), "Cena:          12.99\r\x03");
    applyCheckerReply(known.buffer);
    EXPECT_EQ(std::string(checkState.itemName), "\xA1ubr\xA3wka bardzo d\x92ug");
    EXPECT_DOUBLE_EQ(checkState.price, 129900);
    const std::string line = server.readLine();
    EXPECT_NE(line.find(" 127.0.0.1:"), std::string::npos) << line;
    EXPECT_NE(line.find("seq=0x80 code=5901234123457 -> known"), std::string::npos) << line;

    // An unknown code that holds "Cena" must not read as a known item.
    Exchange unknown;
    checkState.total = 0;
    ask(unknown, "127.0.0.3", port, "Cena999");
    ASSERT_EQ(unknown.result, 0);
    EXPECT_EQ(unknown.text.substr(3, 22), "01" + pad20(""));
    applyCheckerReply(unknown.buffer);
    EXPECT_EQ(std::string(checkState.itemName), "Nieznany kod towaru ");
    EXPECT_EQ(checkState.total, 0);
    EXPECT_NE(server.readLine().find("seq=0x81 code=Cena999 -> unknown"), std::string::npos);
    EXPECT_EQ(server.stop(), 0);
    EXPECT_NE(server.lines().find("counts: requests 2, answered 2 (known 1, unknown 1, no list 0)"),
              std::string::npos)
        << server.lines();
    EXPECT_NE(server.lines().find("checker_server: stopped"), std::string::npos);
}

TEST_F(CheckerServerTest, MalformedDatagramsGetANoteAndNoAnswer) {
    ServerProcess server(serverArgs());
    const uint16_t port = server.readPort();
    ASSERT_NE(port, 0);

    const int client = boundUdpSocket("127.0.0.1");
    const sockaddr_in to = loopback("127.0.0.3", port);
    const std::string malformed[] = {
        "",
        std::string("\x02\x80", 2),
        "\x01\x80"
        "1123\r\x03",
        std::string("\x02\x00"
                    "1123\r\x03",
                    8),
        "\x02\x80"
        "2123\r\x03",
        "\x02\x80"
        "1123\x03\r",
        "\x02\x80"
        "112 3\r\x03",
        "\x02\x80"
        "112345678901234\r\x03",
        std::string(3000, '\x02'),
    };
    for (const std::string& datagram : malformed) {
        sendto(client, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof to);
        const std::string line = server.readLine();
        EXPECT_NE(line.find("note: malformed datagram of " + std::to_string(datagram.size())),
                  std::string::npos)
            << line;
    }
    EXPECT_FALSE(answered(client, 200));
    close(client);

    Exchange exchange;  // still serving
    ask(exchange, "127.0.0.3", port, "1234567");
    EXPECT_EQ(exchange.result, 0);
    EXPECT_EQ(server.stop(), 0);
    EXPECT_NE(server.lines().find("dropped 9 (malformed 9, not allowed 0, over the rate 0)"),
              std::string::npos)
        << server.lines();
}

TEST_F(CheckerServerTest, TestModesAnswerEmptyOrGarbageAndCountEnds) {
    {
        ServerProcess server(serverArgs({"--mode", "empty"}));
        const uint16_t port = server.readPort();
        Exchange exchange;
        ask(exchange, "127.0.0.3", port, "1234567");
        EXPECT_EQ(exchange.result, -1);
        EXPECT_NE(server.readLine().find("-> empty datagram"), std::string::npos);
    }
    {
        ServerProcess server(serverArgs({"--mode", "garbage", "--count", "1"}));
        const uint16_t port = server.readPort();
        Exchange exchange;
        ask(exchange, "127.0.0.3", port, "1234567");
        ASSERT_EQ(exchange.result, 0);
        EXPECT_EQ(exchange.text.size(), 1023u);
        applyCheckerReply(exchange.buffer);  // whatever it holds, it is read safely
        EXPECT_NE(server.readLine().find("-> garbage, 1500 bytes"), std::string::npos);
        EXPECT_NE(server.waitFor("checker_server: stopped"), "");  // --count 1 ended it
        EXPECT_EQ(server.stop(), 0);
    }
    {
        ServerProcess server(serverArgs({"--mode", "late=300"}));
        const uint16_t port = server.readPort();
        Exchange exchange;
        ask(exchange, "127.0.0.3", port, "1234567");
        EXPECT_EQ(exchange.result, 0);
        EXPECT_NE(server.readLine().find("after 300 ms"), std::string::npos);
    }
}

// --- the same answers as a standalone checker ---------------------------------

struct Shown {
    std::string name;   // the first 20 characters, without trailing blanks
    std::string price;  // as the screen writes it
    bool known = false;
};

std::string firstTwenty(const char* name) {
    std::string text(name, strnlen(name, 20));
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

Shown shownStandalone(const std::string& code) {
    clearCheckState();
    entryPos = 0;
    for (const char c : code + "\r") handleEntryChar(c);
    char price[64];
    formatFixedPoint(price, sizeof price, checkState.price / kMoneyUnitsPerCurrencyUnit, 2);
    return {firstTwenty(checkState.itemName), price,
            std::strcmp(checkState.itemName, kUnknownItemText) != 0};
}

Shown shownFromServer(const std::string& code, uint16_t port) {
    clearCheckState();
    Exchange exchange;
    ask(exchange, "127.0.0.3", port, code.c_str());
    applyCheckerReply(exchange.buffer);
    char price[64];
    formatFixedPoint(price, sizeof price, checkState.price / kMoneyUnitsPerCurrencyUnit, 2);
    return {firstTwenty(checkState.itemName), price, exchange.text.compare(3, 2, "00") == 0};
}

// Line 2 of a reply, or what little there is of it.
std::string lineTwo(const Exchange& exchange) {
    return exchange.text.size() > 25 ? exchange.text.substr(25, 20) : exchange.text;
}

// Asks the server and a standalone checker over `datPath` (the same list)
// for every code, with the in-store prefixes 21 (weight) and 22 (value).
void expectSameAnswers(uint16_t port, const std::string& datPath,
                       const std::vector<std::string>& codes) {
    std::memset(&settings, 0, sizeof settings);
    settings.standaloneMode = 1;
    std::strcpy(settings.weightPrefixes[0], "21");
    std::strcpy(settings.valuePrefixes[0], "22");
    std::snprintf(settings.priceFilePath, sizeof settings.priceFilePath, "%s", datPath.c_str());
    int known = 0;
    for (const std::string& code : codes) {
        const Shown standalone = shownStandalone(code);
        const Shown server = shownFromServer(code, port);
        ASSERT_EQ(server.known, standalone.known) << code;
        if (!standalone.known) continue;
        ++known;
        EXPECT_EQ(server.name, standalone.name) << code;
        EXPECT_EQ(server.price, standalone.price) << code;
    }
    EXPECT_GT(known, static_cast<int>(codes.size()) / 3);
}

std::string withCheckDigit(std::string data) {
    data += '0';
    char text[kMaxCheckDigitText + 1] = {};
    std::snprintf(text, sizeof text, "%s", data.c_str());
    computeCheckDigit(text, static_cast<int>(data.size()));
    return text;
}

// The demo list and a few thousand items of every kind, as a CSV price list,
// and the codes to ask: plain, short, UPC-A, weighed, valued and unknown.
std::vector<std::string> generatedList(std::string& csv) {
    csv = readFile(std::string(LUMIVO_SOURCE_DIR) + "/tools/demo/demo_items.csv");
    std::vector<std::string> codes = {"5901234000017", "5901234000192", "012345678905",
                                      "59012344",      "2100012",       "2100012012348",
                                      "2200017012500", "2100012012349", "1234"};
    std::mt19937 random(20261210);
    auto digits = [&](int count) {
        std::string text;
        for (int i = 0; i < count; ++i) text += static_cast<char>('0' + random() % 10);
        return text;
    };
    for (int i = 0; i < 600; ++i) {
        const std::string ean = withCheckDigit("5908" + numberedCode(i, 8));
        const std::string upc = withCheckDigit("077" + numberedCode(i, 9));
        const std::string weighed = "21" + numberedCode(100 + 3 * i, 5);
        const std::string valued = "22" + numberedCode(100 + 3 * i, 5);
        const std::string price = std::to_string(1 + random() % 999) + "." + digits(2);
        const std::string number = std::to_string(i);
        csv += ean + ",Towar " + number + " z nazwą dłuższą niż dwadzieścia," + price + ",,,,szt\n";
        csv += upc + ",Upc " + number + "," + price + ",,,,szt\n";
        csv += weighed + ",Ważony " + number + "," + price + ",,,,kg\n";
        csv += valued + ",Ciasto " + number + "," + price + ",,,,kg\n";
        codes.insert(codes.end(),
                     {ean, upc.substr(1), withCheckDigit(weighed + digits(5)),
                      withCheckDigit(valued + digits(5)), withCheckDigit("21" + digits(10)),
                      withCheckDigit("590" + digits(9)), ean.substr(0, 12) + "x", digits(7)});
    }
    return codes;
}

TEST_F(CheckerServerTest, AnswersAsAStandaloneCheckerOverTheSameList) {
    std::string csv;
    const std::vector<std::string> codes = generatedList(csv);
    const std::string csvPath = folder_.file("lista.csv");
    ASSERT_TRUE(writeBytes(csvPath, csv));
    ASSERT_EQ(runPrchk("build " + csvPath + " " + datPath_), 0);
    const std::string setup = writeSetup(folder_, "21", "22");
    {
        ServerProcess server({"--address", "127.0.0.3", "--port", "0", "--csv", csvPath, "--setup",
                              setup, "--rate", "0"});
        const uint16_t port = server.readPort("list: loaded");
        ASSERT_NE(port, 0) << server.lines();
        expectSameAnswers(port, datPath_, codes);
    }

    // A price file with two equal codes and codes out of order, and one
    // whose price is damaged: found, or not, as the checker's bisection
    // finds them.
    std::vector<PriceRecord> damaged;
    for (const char* code : {"100", "300", "200", "200", "500", "400", "600", "700", "NAN"})
        damaged.push_back(makePriceRecord(code, std::string("Towar ") + code, std::atoi(code)));
    damaged[3].price = 2.5 * 10000;
    damaged.back().gross2 = std::nan("");
    ASSERT_TRUE(writePriceFile(datPath_, damaged, "cut"));
    ServerProcess server({"--address", "127.0.0.3", "--port", "0", "--dat", datPath_, "--setup",
                          setup, "--rate", "0"});
    const uint16_t port = server.readPort("list: loaded");
    ASSERT_NE(server.lines().find("3 bytes after the last whole record left out"),
              std::string::npos);
    expectSameAnswers(port, datPath_, {"100", "200", "300", "400", "500", "600", "700", "NAN"});
}

// --- a list that changes while it serves ----------------------------------------

TEST_F(CheckerServerTest, ServesBrakCennikUntilAListLoadsAndKeepsAListThatLoadedWhole) {
    const std::string missing = folder_.file("cennik.csv");
    ServerProcess server({"--address", "127.0.0.3", "--port", "0", "--csv", missing});
    const uint16_t port = server.readPort("list: cannot load");
    ASSERT_NE(port, 0) << server.lines();
    EXPECT_NE(server.lines().find("every checker gets \"Brak cennika\""), std::string::npos);
    Exchange none;
    ask(none, "127.0.0.3", port, "5900001000011");
    EXPECT_EQ(lineTwo(none), pad20("Brak cennika"));

    ASSERT_TRUE(writeBytes(missing, "kod;nazwa;cena\n5900001000011;Masło;12,50\n"));
    const auto written = Clock::now();
    EXPECT_NE(server.waitFor("list: loaded 1 items", 5s), "");
    EXPECT_LT(Clock::now() - written, 3s);
    Exchange butter;
    ask(butter, "127.0.0.3", port, "5900001000011");
    EXPECT_EQ(lineTwo(butter), "Cena:          12.50");

    // A broken list leaves the one loaded answering, and is told once.
    ASSERT_TRUE(writeBytes(missing, "kod;nazwa;cena\n5900001000011;Masło;dwanaście\n"));
    EXPECT_NE(server.waitFor("the list loaded before still answers", 5s), "");
    ask(butter, "127.0.0.3", port, "5900001000011");
    EXPECT_EQ(lineTwo(butter), "Cena:          12.50");
    EXPECT_EQ(server.stop(), 0);
    EXPECT_EQ(server.lines().find("still answers"), server.lines().rfind("still answers"));
    EXPECT_NE(server.lines().find("no list 1)"), std::string::npos) << server.lines();
}

// A steady stream of requests while prchk replaces the price file a few
// hundred times: a code both lists hold at one price is never unknown or
// wrong, and the last list answers within 3 s of its replace.
TEST_F(CheckerServerTest, ReloadsUnderLoadWithoutAWrongAnswer) {
    const std::string first = folder_.file("a.csv");
    const std::string second = folder_.file("b.csv");
    ASSERT_TRUE(
        writeBytes(first, "kod;nazwa;cena\n5900000000017;Wspólny;1,23\n5900000000024;A;1\n"));
    ASSERT_TRUE(
        writeBytes(second, "kod;nazwa;cena\n5900000000017;Wspólny;1,23\n5900000000031;B;2\n"));
    ASSERT_EQ(runPrchk("build " + first + " " + datPath_), 0);
    // Not --verbose: nobody reads its lines meanwhile, and a full pipe would
    // hold up its answers.
    ServerProcess server(
        {"--address", "127.0.0.3", "--port", "0", "--dat", datPath_, "--rate", "0"});
    const uint16_t port = server.readPort("list: loaded");
    ASSERT_NE(port, 0);

    std::atomic<bool> done{false};
    std::atomic<int> asked{0};
    std::atomic<int> wrong{0};
    std::string firstWrong;
    std::thread checker([&] {
        while (!done) {
            Exchange exchange;
            ask(exchange, "127.0.0.3", port, "5900000000017");
            if (lineTwo(exchange) != "Cena:           1.23" && wrong++ == 0)
                firstWrong = exchange.text + " result " + std::to_string(exchange.result);
            ++asked;
            std::this_thread::sleep_for(1ms);  // a steady stream, as of many checkers
        }
    });
    int failedBuilds = 0;
    for (int build = 1; build <= 300; ++build) {
        failedBuilds += runPrchk("build " + (build % 2 != 0 ? second : first) + " " + datPath_);
        if (build % 100 == 0) std::this_thread::sleep_for(1600ms);  // time to settle and swap
    }
    failedBuilds += runPrchk("build " + second + " " + datPath_);
    const auto replaced = Clock::now();
    Exchange only;
    do {
        std::this_thread::sleep_for(50ms);
        ask(only, "127.0.0.3", port, "5900000000031");
    } while (!lineTwo(only).starts_with("Cena") && Clock::now() - replaced < 5s);
    EXPECT_LT(Clock::now() - replaced, 3s);
    done = true;
    checker.join();
    EXPECT_EQ(failedBuilds, 0);
    EXPECT_EQ(wrong, 0) << "of " << asked << ", first " << firstWrong;
    EXPECT_GT(asked, 1000);
    EXPECT_EQ(server.stop(), 0);
    size_t reloads = 0;
    for (size_t at = 0; (at = server.lines().find("list: reloaded", at)) != std::string::npos; ++at)
        ++reloads;
    EXPECT_GE(reloads, 2u);
}

// --- the codes nobody priced -------------------------------------------------

TEST_F(CheckerServerTest, CountsUnknownCodesIntoAFileThatSurvivesARestartAndBuilds) {
    const std::string unknownPath = folder_.file("nieznane-kody.csv");
    const std::string setup = writeSetup(folder_, "21", "22");
    const std::string weighedLabel = withCheckDigit("210009901234");
    {
        ServerProcess server(serverArgs({"--setup", setup}));
        const uint16_t port = server.readPort();
        for (const char* code : {"5909999999999", "1234", "5909999999999"}) {
            Exchange exchange;
            ask(exchange, "127.0.0.3", port, code);
        }
        Exchange weighed;  // a label of an item the list lacks: counted under the item
        ask(weighed, "127.0.0.3", port, weighedLabel.c_str());
        EXPECT_EQ(server.stop(SIGINT), 0);  // Ctrl+C writes the file too
    }
    const std::string time = "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d";
    const std::string row = ";;;(\\d);(" + time + ");" + time + ";127\\.0\\.0\\.1\r\n";
    std::smatch first;
    const std::string written = readFile(unknownPath);
    ASSERT_TRUE(std::regex_match(
        written, first,
        std::regex("\xEF\xBB\xBFKod;Nazwa;Cena;Ile razy;Pierwszy raz;Ostatni raz;Sprawdzarka\r\n"
                   "5909999999999" +
                   row + "(1234|2100099)" + row + "(1234|2100099)" + row)))
        << written;
    EXPECT_EQ(first[1], "2");

    // Restarted with "1234" now in the list: the counts go on, and a code
    // found later leaves the file.
    std::vector<PriceRecord> records = {makePriceRecord("1234", "Dodany", 1.0)};
    ASSERT_TRUE(writePriceFile(datPath_, records));
    {
        ServerProcess server(serverArgs({"--setup", setup}));
        const uint16_t port = server.readPort();
        EXPECT_NE(server.lines().find("unknown codes: 3 read back"), std::string::npos);
        Exchange again;
        ask(again, "127.0.0.3", port, "5909999999999");
        EXPECT_EQ(server.stop(), 0);
    }
    const std::string rewritten = readFile(unknownPath);
    EXPECT_NE(rewritten.find("5909999999999;;;3;" + first[2].str() + ";"), std::string::npos)
        << rewritten;
    EXPECT_NE(rewritten.find("\r\n2100099;;;1;"), std::string::npos) << rewritten;
    EXPECT_EQ(rewritten.find("1234;"), std::string::npos) << rewritten;

    // The shop fills in names and prices in a copy; it builds as it stands.
    std::string filled = rewritten;
    for (const char* code : {"5909999999999", "2100099"})
        filled.replace(filled.find(";;;", filled.find(code)), 3, ";Nowy towar;12,50;");
    const std::string copy = folder_.file("uzupelnione.csv");
    ASSERT_TRUE(writeBytes(copy, filled));
    EXPECT_EQ(runPrchk("build " + copy + " " + folder_.file("nowy.dat")), 0);
}

// A file of more codes than the server keeps, read back at start: the codes
// asked longest ago go, and the file written at the stop holds no more.
TEST_F(CheckerServerTest, KeepsAtMostAHundredThousandUnknownCodes) {
    std::string file = "\xEF\xBB\xBF" + std::string(kUnknownCodesHeader) + "\r\n";
    for (size_t i = 0; i <= kUnknownCodesKept; ++i) {
        const char* when = i == 0   ? "2025-01-01 10:00"
                           : i == 1 ? "2025-01-02 10:00"
                                    : "2026-01-01 10:00";
        file += "9" + numberedCode(static_cast<long>(i), 12) + ";;;1;" + when + ";" + when +
                ";10.0.0.1\r\n";
    }
    const std::string unknownPath = folder_.file("nieznane-kody.csv");
    ASSERT_TRUE(writeBytes(unknownPath, file));
    {
        ServerProcess server(serverArgs());
        const uint16_t port = server.readPort();
        Exchange exchange;
        ask(exchange, "127.0.0.3", port, "5909999999999");
        EXPECT_EQ(server.stop(), 0);
    }
    const std::string written = readFile(unknownPath);
    size_t rows = 0;
    for (size_t at = 0; (at = written.find("\r\n", at)) != std::string::npos; at += 2) ++rows;
    EXPECT_EQ(rows, kUnknownCodesKept + 1);  // with the header
    EXPECT_NE(written.find("\r\n5909999999999;;;1;"), std::string::npos);
    EXPECT_EQ(written.find("\r\n9" + numberedCode(0, 12) + ";"), std::string::npos);
    EXPECT_EQ(written.find("\r\n9" + numberedCode(1, 12) + ";"), std::string::npos);
    EXPECT_NE(written.find("\r\n9" + numberedCode(2, 12) + ";"), std::string::npos);
}

// --- never a reflector -------------------------------------------------------

TEST_F(CheckerServerTest, AnswersOnlyAllowedAddressesAtACheckersPace) {
    ServerProcess server(serverArgs({"--allow", "127.0.0.5, 127.0.0.6/31", "--rate", "2"}));
    const uint16_t port = server.readPort();
    const sockaddr_in to = loopback("127.0.0.3", port);
    const std::string request =
        "\x02\x80"
        "1123\r\x03";
    auto send = [&](int fd) {
        sendto(fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof to);
    };
    const int outsider =
        boundUdpSocket("127.0.0.1");  // loopback too: the list replaces the default
    send(outsider);
    EXPECT_FALSE(answered(outsider, 300));
    const int checker = boundUdpSocket("127.0.0.5");
    for (int i = 0; i < 5; ++i) send(checker);
    int answers = 0;
    while (answered(checker, 300)) ++answers;
    EXPECT_EQ(answers, 2);                          // a bucket of 2, refilled at 2 a second
    const int other = boundUdpSocket("127.0.0.7");  // a bucket of its own
    send(other);
    EXPECT_TRUE(answered(other, 300));
    std::this_thread::sleep_for(600ms);
    send(checker);
    EXPECT_TRUE(answered(checker, 300));
    for (int fd : {outsider, checker, other}) close(fd);
    EXPECT_EQ(server.stop(), 0);
    EXPECT_NE(server.lines().find("dropped 4 (malformed 0, not allowed 1, over the rate 3), "
                                  "addresses 2"),
              std::string::npos)
        << server.lines();
}

TEST(CheckerServerGate, ReadsAllowListsAndNothingElse) {
    std::vector<AddressRange> ranges;
    std::string wrong;
    ASSERT_EQ(readAllowList(kDefaultAllowList, ranges, wrong), 0);
    auto allowed = [&ranges](const char* address) {
        uint32_t where = 0;
        return serverParseAddress(address, &where) == 0 && addressAllowed(ranges, where);
    };
    for (const char* inside :
         {"127.0.0.1", "10.200.0.1", "172.31.255.255", "192.168.1.23", "169.254.10.10"})
        EXPECT_TRUE(allowed(inside)) << inside;
    for (const char* outside : {"8.8.8.8", "172.32.0.1", "192.169.0.1", "11.0.0.1", "0.0.0.0"})
        EXPECT_FALSE(allowed(outside)) << outside;
    ASSERT_EQ(readAllowList("192.168.1.77/24 , 10.0.0.5", ranges, wrong), 0);
    EXPECT_TRUE(allowed("192.168.1.0") && allowed("192.168.1.255") && allowed("10.0.0.5"));
    EXPECT_FALSE(allowed("192.168.2.1") || allowed("10.0.0.4") || allowed("127.0.0.1"));
    ASSERT_EQ(readAllowList("0.0.0.0/0", ranges, wrong), 0);
    EXPECT_TRUE(allowed("8.8.8.8"));
    for (const char* bad : {"", "10.1", "10.0.0.256", "0x0a.0.0.1", "10.0.0.1/33", "10.0.0.1/",
                            "10.0.0.1,", "1.2.3.4.5", "10.0.0.1/24/8", "a.b.c.d"}) {
        EXPECT_EQ(readAllowList(bad, ranges, wrong), -1) << bad;
    }
}

TEST(CheckerServerGate, TablesKeepTheirBoundAndForgetTheOldestFirst) {
    AddressBuckets buckets;
    buckets.capacity = 3;
    for (uint32_t address = 1; address <= 4; ++address) takeAnswer(buckets, address, 0, 1);
    EXPECT_EQ(buckets.entries.size(), 3u);
    EXPECT_EQ(buckets.places.count(1), 0u);
    EXPECT_FALSE(takeAnswer(buckets, 4, 500, 1));  // half an answer refilled
    EXPECT_TRUE(takeAnswer(buckets, 4, 1000, 1));

    UnknownCodes codes;
    codes.capacity = 2;
    countUnknownCode(codes, "A", 1, 0);
    countUnknownCode(codes, "B", 2, 0);
    countUnknownCode(codes, "A", 3, 0);
    countUnknownCode(codes, "C", 4, 0);  // B, asked longest ago, goes
    ASSERT_EQ(codes.entries.size(), 2u);
    EXPECT_EQ(codes.places.count("B"), 0u);
    EXPECT_EQ(codes.places.at("A")->second.count, 2);
    EXPECT_EQ(codes.places.at("A")->second.first, 1);
}

TEST(CheckerServerLog, KeepsOneOlderCopyPastItsLimit) {
    TempFolder folder;
    ServerLog log;
    ASSERT_TRUE(openLogFile(log, folder.file("a.log"), folder.file("a.old.log"), 1000));
    for (int i = 0; i < 40; ++i) logLine(log, "line " + std::to_string(i) + std::string(40, '.'));
    closeLogFile(log);
    const std::string newer = readFile(folder.file("a.log"));
    const std::string older = readFile(folder.file("a.old.log"));
    EXPECT_LE(newer.size(), 1000u);
    EXPECT_LE(older.size(), 1000u);
    // The older copy ends where the newer begins; the first lines are gone.
    ASSERT_NE(newer.find("line 39."), std::string::npos);
    const int firstNewer = std::atoi(newer.c_str() + newer.find("line ") + 5);
    EXPECT_NE(older.find("line " + std::to_string(firstNewer - 1) + "."), std::string::npos);
    EXPECT_EQ(older.find("line 0."), std::string::npos);
}

TEST_F(CheckerServerTest, RefusesWhatItCannotUse) {
    const std::string shortSetup = folder_.file("short.dat");
    writeBytes(shortSetup, std::string(499, '\0'));
    const std::vector<std::vector<std::string>> wrongs = {
        {"--mode", "loud"},      {"--allow", "192.168.1"}, {"--setup", folder_.file("missing.dat")},
        {"--setup", shortSetup}, {"--verbose=1"},          {"--service"},
    };
    for (const auto& wrong : wrongs) {
        ServerProcess server(serverArgs(wrong));
        EXPECT_EQ(server.stop(0), 2) << wrong[0];
        EXPECT_EQ(server.lines().find("listening on"), std::string::npos) << wrong[0];
    }
    ServerProcess noList({"--port", "0"});
    EXPECT_EQ(noList.stop(0), 2);
}

}  // namespace
