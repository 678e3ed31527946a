// The checker exchange against checker servers played by the test itself on
// loopback, and the checker-server simulator driven as a separate program.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "checker/checker.h"
#include "lookup/server_lookup_seam.h"
#include "lookup/check_state.h"
#include "lookup/price_file.h"
#include "settings/settings.h"
#include "tests/support/fakes.h"

namespace {

std::atomic<bool> failSends{false};

}  // namespace

// The one failure a test cannot provoke on loopback is a send that fails
// after the connect succeeded, so this binary stands in for the C library's
// send(): it fails on request and otherwise does what send() does.
extern "C" ssize_t send(int fd, const void* data, size_t length, int flags)
{
    if (failSends) {
        errno = ENOBUFS;
        return -1;
    }
    return syscall(SYS_sendto, fd, data, length, flags, nullptr, 0);
}

namespace {

using Bytes = std::vector<unsigned char>;
using namespace std::chrono_literals;

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

std::string pad20(std::string text)
{
    text.resize(20, ' ');
    return text;
}

// A reply laid out as checker servers send it: a 5-byte head, two lines.
std::string serverReply(const std::string& line1, const std::string& line2)
{
    return "\x02\x80" "100" + pad20(line1) + pad20(line2) + "\r\x03";
}

sockaddr_in loopback(const char* address, uint16_t port)
{
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    inet_pton(AF_INET, address, &where.sin_addr);
    return where;
}

int boundUdpSocket(const char* address, uint16_t* port)
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local = loopback(address, 0);
    socklen_t length = sizeof local;
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        close(fd);
        return -1;
    }
    *port = ntohs(local.sin_port);
    return fd;
}

// A port on which nothing listens: bound once by the system's choice, then
// let go, so that datagrams to it draw an ICMP "port unreachable".
uint16_t unusedPort()
{
    uint16_t port = 0;
    close(boundUdpSocket("127.0.0.1", &port));
    return port;
}

// A checker server on 127.0.0.1 played by a thread of the test: each request
// that arrives is kept and handed to `respond`, which answers it (or not).
class LoopbackServer {
public:
    using Respond = std::function<void(int fd, const sockaddr_in& peer, const Bytes& request)>;

    LoopbackServer() { fd_ = boundUdpSocket("127.0.0.1", &port_); }
    ~LoopbackServer()
    {
        join();
        close(fd_);
    }

    uint16_t port() const { return port_; }

    // Serves the next `count` requests; gives up after 5 s without one.
    void serve(int count, Respond respond)
    {
        worker_ = std::thread([this, count, respond] {
            for (int i = 0; i < count; ++i) {
                pollfd watch{fd_, POLLIN, 0};
                if (poll(&watch, 1, 5000) != 1) return;
                unsigned char buffer[2048];
                sockaddr_in peer{};
                socklen_t peerLength = sizeof peer;
                const ssize_t n = recvfrom(fd_, buffer, sizeof buffer, 0,
                                           reinterpret_cast<sockaddr*>(&peer), &peerLength);
                if (n < 0) return;
                requests_.emplace_back(buffer, buffer + n);
                respond(fd_, peer, requests_.back());
            }
        });
    }

    // Serves one request with `reply`.
    void answerWith(const std::string& reply)
    {
        serve(1, [reply](int fd, const sockaddr_in& peer, const Bytes&) {
            sendTo(fd, peer, reply);
        });
    }

    const std::vector<Bytes>& requests()
    {
        join();
        return requests_;
    }

    static void sendTo(int fd, const sockaddr_in& peer, const std::string& bytes)
    {
        sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&peer),
               sizeof peer);
    }

private:
    void join()
    {
        if (worker_.joinable()) worker_.join();
    }

    int fd_ = -1;
    uint16_t port_ = 0;
    std::thread worker_;
    std::vector<Bytes> requests_;
};

struct Exchange {
    int32_t result = 0;
    std::string text;   // the reply up to its zero byte
    bool restZero = true;  // nothing behind the text's zero byte
    char buffer[kReplyBufferSize] = {};
};

void ask(Exchange& exchange, const char* address, uint16_t port, const char* code = "123")
{
    exchange.result = queryCheckerServer(address, port, code, exchange.buffer);
    exchange.text.assign(exchange.buffer, strnlen(exchange.buffer, sizeof exchange.buffer));
    for (size_t i = exchange.text.size(); i < sizeof exchange.buffer; ++i)
        exchange.restZero = exchange.restZero && exchange.buffer[i] == 0;
}

class CheckerTest : public testing::Test {
protected:
    void SetUp() override
    {
        resetFakeWindow();
        std::memset(&settings, 0, sizeof settings);
        std::memset(&checkState, 0, sizeof checkState);
        querySequence = 0;
        failSends = false;
    }
    void TearDown() override { failSends = false; }

    // Asks the test's server, which answers with `reply`, then reads the
    // reply into checkState as the entry handler would.
    int32_t askAndApply(const std::string& reply)
    {
        LoopbackServer server;
        server.answerWith(reply);
        Exchange exchange;
        ask(exchange, "127.0.0.1", server.port());
        if (exchange.result == 0) applyCheckerReply(exchange.buffer);
        return exchange.result;
    }

    std::string itemName() const { return checkState.itemName; }
};

// --- The request ----------------------------------------------------------

TEST_F(CheckerTest, RequestCarriesSequenceCommandCodeAndEnd)
{
    unsigned char out[kMaxRequestSize];
    ASSERT_EQ(buildCheckerRequest("123", 0, out), 8u);
    EXPECT_EQ(Bytes(out, out + 8), (Bytes{0x02, 0x80, 0x31, 0x31, 0x32, 0x33, 0x0D, 0x03}));

    ASSERT_EQ(buildCheckerRequest("", 127, out), 5u);
    EXPECT_EQ(Bytes(out, out + 5), (Bytes{0x02, 0xFF, 0x31, 0x0D, 0x03}));

    // Never more than the 13 characters a code is cut to.
    ASSERT_EQ(buildCheckerRequest("12345678901234567", 5, out), 18u);
    EXPECT_EQ(Bytes(out + 3, out + 16), bytesOf("1234567890123"));
    EXPECT_EQ(out[16], 0x0D);
}

TEST_F(CheckerTest, SequenceRunsFrom0x80To0xFFAndStartsAgain)
{
    LoopbackServer server;
    server.serve(129, [](int fd, const sockaddr_in& peer, const Bytes&) {
        LoopbackServer::sendTo(fd, peer, serverReply("x", "y"));
    });
    for (int i = 0; i < 129; ++i) {
        Exchange exchange;
        ask(exchange, "127.0.0.1", server.port(), "5901234123457");
        ASSERT_EQ(exchange.result, 0) << i;
    }
    const std::vector<Bytes>& requests = server.requests();
    ASSERT_EQ(requests.size(), 129u);
    EXPECT_EQ(requests[0], bytesOf("\x02\x80" "15901234123457\r\x03"));
    EXPECT_EQ(requests[1][1], 0x81);
    EXPECT_EQ(requests[127][1], 0xFF);
    EXPECT_EQ(requests[128][1], 0x80);
    EXPECT_EQ(querySequence, 1);
}

TEST_F(CheckerTest, OnlyARequestThatWentOutUsesUpASequenceNumber)
{
    querySequence = 41;
    Exchange exchange;

    failSends = true;
    ask(exchange, "127.0.0.1", unusedPort());
    failSends = false;
    EXPECT_EQ(exchange.result, -1);
    EXPECT_EQ(querySequence, 41);
    ASSERT_EQ(fakeWindow.warnings.size(), 1u);
    EXPECT_EQ(fakeWindow.warnings[0], "send() failed: error " + std::to_string(ENOBUFS) + "\n");

    // A loopback broadcast address cannot be connected to without asking.
    ask(exchange, "127.255.255.255", 5000);
    EXPECT_EQ(exchange.result, -1);
    EXPECT_EQ(querySequence, 41);
    ASSERT_EQ(fakeWindow.warnings.size(), 2u);
    EXPECT_EQ(fakeWindow.warnings[1], "connect() failed: " + std::to_string(EACCES) + "\n");

    // A request that went out but got no reply has used up its number.
    ask(exchange, "127.0.0.1", unusedPort());
    EXPECT_EQ(exchange.result, -1);
    EXPECT_EQ(querySequence, 42);
}

// --- Reading the reply ----------------------------------------------------

TEST_F(CheckerTest, KnownItemShowsLine1AndThePriceAndGrowsTheTotal)
{
    checkState.total = 10000;
    ASSERT_EQ(askAndApply(serverReply("Mleko 3,2% 1L", "Cena:           3.49")), 0);
    EXPECT_EQ(itemName(), pad20("Mleko 3,2% 1L"));  // blanks stay: nothing is trimmed
    EXPECT_DOUBLE_EQ(checkState.price, 34900);
    EXPECT_DOUBLE_EQ(checkState.total, 44900);
    EXPECT_TRUE(fakeWindow.warnings.empty());
}

TEST_F(CheckerTest, ReplyWithoutCenaShowsLine2AndKeepsPriceAndTotal)
{
    checkState.total = 10000;
    ASSERT_EQ(askAndApply(serverReply("123", "Nieznany kod towaru ")), 0);
    EXPECT_EQ(itemName(), "Nieznany kod towaru ");
    EXPECT_EQ(checkState.price, 0);
    EXPECT_DOUBLE_EQ(checkState.total, 10000);
}

TEST_F(CheckerTest, ServerLettersAreKeptInMazovia)
{
    // CP852 "ŻUBRÓWKA" with Ż 0xBD and Ó 0xE0.
    ASSERT_EQ(askAndApply(serverReply("\xBDUBR\xE0WKA", "Cena: 1")), 0);
    EXPECT_EQ(itemName(), pad20("\xA1UBR\xA3WKA"));
}

TEST_F(CheckerTest, DecimalCommaEndsThePrice)
{
    ASSERT_EQ(askAndApply(serverReply("Chleb", "Cena:           3,49")), 0);
    EXPECT_DOUBLE_EQ(checkState.price, 30000);
    EXPECT_DOUBLE_EQ(checkState.total, 30000);
}

TEST_F(CheckerTest, APriceBeyondAnyNumberIsACommunicationError)
{
    ASSERT_EQ(askAndApply(serverReply("Chleb", "Cena:           2.00")), 0);
    ASSERT_EQ(askAndApply(serverReply("Chleb", "Cena:      9e999999")), 0);
    EXPECT_STREQ(checkState.itemName, kServerErrorText);
    EXPECT_DOUBLE_EQ(checkState.price, 0);
    EXPECT_DOUBLE_EQ(checkState.total, 20000) << "the total must survive a nonsense price";
}

TEST_F(CheckerTest, CenaInLine1CountsAndThePriceIsStillReadFromLine2)
{
    ASSERT_EQ(askAndApply(serverReply("Cena promocyjna", "Mleko 2.50")), 0);
    EXPECT_EQ(itemName(), pad20("Cena promocyjna"));
    EXPECT_DOUBLE_EQ(checkState.price, 25000);  // "2.50" stands from offset 30 on
}

TEST_F(CheckerTest, ShortAndCutRepliesReadAsEmptyText)
{
    // Fewer than 26 bytes and no "Cena": line 2 is empty.
    ASSERT_EQ(askAndApply("\x02\x80" "100" "Chleb zwykly"), 0);
    EXPECT_EQ(itemName(), "");

    // One byte.
    ASSERT_EQ(askAndApply("\x02"), 0);
    EXPECT_EQ(itemName(), "");

    // A zero byte at offset 10 ends the reply: line 2 is gone with it.
    std::string reply = serverReply("Chleb zwykly", "Cena:           2.00");
    reply[10] = '\0';
    ASSERT_EQ(askAndApply(reply), 0);
    EXPECT_EQ(itemName(), "");
    EXPECT_EQ(checkState.price, 0);

    // "Cena" cut off by the zero byte does not count.
    reply = serverReply("Chleb", "Cena:           2.00");
    reply[27] = '\0';
    ASSERT_EQ(askAndApply(reply), 0);
    EXPECT_EQ(itemName(), "Ce");
}

TEST_F(CheckerTest, OnlyTheFirst45BytesAreRead)
{
    // Exactly 45 bytes, no CR ETX; the 20-character name is taken whole.
    std::string reply = serverReply("ABCDEFGHIJKLMNOPQRST", "Cena:          12.99").substr(0, 45);
    ASSERT_EQ(askAndApply(reply), 0);
    EXPECT_EQ(itemName(), "ABCDEFGHIJKLMNOPQRST");
    EXPECT_DOUBLE_EQ(checkState.price, 129900);

    // A price running on past offset 45 is cut there.
    reply = serverReply("Kawa", "Cena:  1234567890123");
    ASSERT_EQ(askAndApply(reply.substr(0, 45) + "99"), 0);
    EXPECT_DOUBLE_EQ(checkState.price, 1234567890123.0 * 10000);
}

TEST_F(CheckerTest, LongDatagramsAreCutTo1023Bytes)
{
    for (size_t length : {1023u, 1024u, 1500u}) {
        std::string reply = serverReply("Ser zolty", "Cena:          19.99");
        reply.resize(length, 'x');
        LoopbackServer server;
        server.answerWith(reply);
        Exchange exchange;
        ask(exchange, "127.0.0.1", server.port());
        ASSERT_EQ(exchange.result, 0) << length;
        EXPECT_EQ(exchange.text, reply.substr(0, 1023)) << length;
        EXPECT_TRUE(exchange.restZero);
        applyCheckerReply(exchange.buffer);
        EXPECT_EQ(itemName(), pad20("Ser zolty"));
        EXPECT_DOUBLE_EQ(checkState.price, 199900);
    }
}

TEST_F(CheckerTest, ReplyIsCopiedUpToItsFirstZeroByte)
{
    LoopbackServer server;
    server.answerWith(std::string("\x02\x80" "100AB\0CD", 10));
    Exchange exchange;
    ask(exchange, "127.0.0.1", server.port());
    ASSERT_EQ(exchange.result, 0);
    EXPECT_EQ(exchange.text, "\x02\x80" "100AB");
    EXPECT_TRUE(exchange.restZero);
}

TEST_F(CheckerTest, EmptyDatagramIsNoReplyAndShowsNoMessage)
{
    checkState.total = 50000;
    LoopbackServer server;
    server.answerWith("");
    Exchange exchange;
    ask(exchange, "127.0.0.1", server.port());
    EXPECT_EQ(exchange.result, -1);
    EXPECT_TRUE(exchange.restZero);
    EXPECT_TRUE(fakeWindow.warnings.empty());
    EXPECT_EQ(querySequence, 1);
}

TEST_F(CheckerTest, ReplyFromAnotherPortIsNotTaken)
{
    LoopbackServer server;
    server.serve(1, [](int fd, const sockaddr_in& peer, const Bytes&) {
        uint16_t otherPort = 0;
        const int other = boundUdpSocket("127.0.0.1", &otherPort);
        LoopbackServer::sendTo(other, peer, serverReply("Obcy", "Cena: 999"));
        close(other);
        std::this_thread::sleep_for(50ms);
        LoopbackServer::sendTo(fd, peer, serverReply("Swoj", "Cena: 1"));
    });
    Exchange exchange;
    ask(exchange, "127.0.0.1", server.port());
    ASSERT_EQ(exchange.result, 0);
    applyCheckerReply(exchange.buffer);
    EXPECT_EQ(itemName(), pad20("Swoj"));
}

TEST_F(CheckerTest, NoServerListeningEndsTheExchangeWithAMessage)
{
    Exchange exchange;
    ask(exchange, "127.0.0.1", unusedPort());
    EXPECT_EQ(exchange.result, -1);
    ASSERT_EQ(fakeWindow.warnings.size(), 1u);
    EXPECT_EQ(fakeWindow.warnings[0],
              "recv() failed: error " + std::to_string(ECONNREFUSED) + "\n");
}

TEST_F(CheckerTest, SilentServerEndsTheWaitAfterTheTimeOut)
{
    LoopbackServer server;
    server.serve(1, [](int, const sockaddr_in&, const Bytes&) {});
    Exchange exchange;
    const auto start = std::chrono::steady_clock::now();
    ask(exchange, "127.0.0.1", server.port());
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(exchange.result, -1);
    ASSERT_EQ(fakeWindow.warnings.size(), 1u);
    EXPECT_EQ(fakeWindow.warnings[0], "recv() failed: error " + std::to_string(ETIMEDOUT) + "\n");
    // Ended by the bound, not by anything else: the server never answered.
    EXPECT_GE(waited, std::chrono::milliseconds(kReplyTimeoutMs - 100));
    EXPECT_EQ(querySequence, 1);
}

// --- Addresses that cannot be used -----------------------------------------

TEST_F(CheckerTest, UnusableAddressesEndTheExchangeNotTheProgram)
{
    // A label longer than 63 characters is refused by the resolver before
    // any query leaves the machine.
    const std::string badHost = std::string(64, 'x') + ".invalid";
    struct Case {
        std::string address;
        std::string messageStart;
    };
    const std::string noAddress = "Nie mo\xBFna odnale\x9F\xE6 adresu:[";
    const Case cases[] = {
        {"3server", noAddress + "3server] B\xB3\xB9" "d:"},
        {"", noAddress + "] B\xB3\xB9" "d:"},
        {"255.255.255.255", noAddress + "255.255.255.255] B\xB3\xB9" "d:"},
        {"127.0.0.300", noAddress + "127.0.0.300] B\xB3\xB9" "d:"},
        {badHost, "Client: Cannot resolve address [" + badHost + "]: Error "},
    };
    for (const Case& c : cases) {
        resetFakeWindow();
        Exchange exchange;
        ask(exchange, c.address.c_str(), 5000);
        EXPECT_EQ(exchange.result, -1) << c.address;
        EXPECT_EQ(querySequence, 0) << c.address;
        ASSERT_EQ(fakeWindow.warnings.size(), 1u) << c.address;
        EXPECT_EQ(fakeWindow.warnings[0].rfind(c.messageStart, 0), 0u) << fakeWindow.warnings[0];
        EXPECT_EQ(fakeWindow.warnings[0].back(), '\n');
    }
}

TEST_F(CheckerTest, FullScreenShowsNoMessages)
{
    settings.fullScreen = 1;
    Exchange exchange;
    ask(exchange, "3server", 5000);
    ask(exchange, "127.0.0.1", unusedPort());
    failSends = true;
    ask(exchange, "127.0.0.1", unusedPort());
    failSends = false;
    EXPECT_EQ(exchange.result, -1);
    EXPECT_TRUE(fakeWindow.warnings.empty());
}

TEST_F(CheckerTest, FailedServerLookupShowsTheErrorAndKeepsTheTotal)
{
    std::snprintf(settings.serverAddress, sizeof settings.serverAddress, "%s", "10.0.0.300");
    std::snprintf(checkState.code, sizeof checkState.code, "%s", "123");
    checkState.total = 77700;
    checkState.price = 1;
    checkState.gross1 = 1;
    for (int32_t fullScreen : {0, 1}) {
        settings.fullScreen = fullScreen;
        lookupOnServer();
        EXPECT_STREQ(checkState.itemName, kServerErrorText);
        EXPECT_STREQ(checkState.itemName, "B\xB3\xB9" "d komunikacji z serwerem sprawdzarek");
        EXPECT_EQ(checkState.price, 0);
        EXPECT_EQ(checkState.gross1, 0);
        EXPECT_DOUBLE_EQ(checkState.total, 77700);
    }
    EXPECT_EQ(fakeWindow.warnings.size(), 1u);  // the full-screen run showed none
}

TEST_F(CheckerTest, ServerAddressWithoutZeroByteIsBounded)
{
    std::memset(settings.serverAddress, '1', sizeof settings.serverAddress);
    lookupOnServer();
    EXPECT_STREQ(checkState.itemName, kServerErrorText);
    ASSERT_EQ(fakeWindow.warnings.size(), 1u);
    EXPECT_NE(fakeWindow.warnings[0].find("[" + std::string(104, '1') + "]"), std::string::npos);
}

// --- Prices ---------------------------------------------------------------

TEST(CheckerPrice, ReadsTheWayServersWritePricesInAnyLocale)
{
    EXPECT_DOUBLE_EQ(readDecimalText("          12.99"), 12.99);
    EXPECT_DOUBLE_EQ(readDecimalText("\t\r\n 3.49 PLN"), 3.49);
    EXPECT_DOUBLE_EQ(readDecimalText("-0.5"), -0.5);
    EXPECT_DOUBLE_EQ(readDecimalText("+7"), 7);
    EXPECT_DOUBLE_EQ(readDecimalText(".5"), 0.5);
    EXPECT_DOUBLE_EQ(readDecimalText("5."), 5);
    EXPECT_DOUBLE_EQ(readDecimalText("1.5e2"), 150);
    EXPECT_DOUBLE_EQ(readDecimalText("25E-1x"), 2.5);
    EXPECT_DOUBLE_EQ(readDecimalText("2e"), 2);    // no exponent digits: the "e" is not taken
    EXPECT_DOUBLE_EQ(readDecimalText("2e+"), 2);
    EXPECT_DOUBLE_EQ(readDecimalText("3,49"), 3);
    EXPECT_DOUBLE_EQ(readDecimalText("0.1"), 0.1);  // correctly rounded, as the C library reads it
    EXPECT_DOUBLE_EQ(readDecimalText("0000000000000000000000012.5"), 12.5);
    EXPECT_DOUBLE_EQ(readDecimalText("12345678901234567890123"), 12345678901234567890123.0);
    for (const char* none : {"", " ", "-", ".", "+.", "e5", "Cena", "nan", "inf", "0x10"})
        EXPECT_EQ(readDecimalText(none), 0) << none;
    EXPECT_EQ(readDecimalText("1e999999"), HUGE_VAL);
    EXPECT_EQ(readDecimalText("1e-999999"), 0);
}

// --- The checker-server simulator ------------------------------------------

// The simulator as a child process whose standard output the test reads.
class Simulator {
public:
    explicit Simulator(std::vector<std::string> args)
    {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            std::vector<char*> argv{const_cast<char*>(LUMIVO_CHECKER_SIM)};
            for (std::string& arg : args) argv.push_back(arg.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
    }
    ~Simulator()
    {
        stop();
        if (out_ >= 0) close(out_);
    }

    // The next line of output, or "" after 5 s without one.
    std::string readLine()
    {
        for (;;) {
            const size_t end = pending_.find('\n');
            if (end != std::string::npos) {
                std::string line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                return line;
            }
            pollfd watch{out_, POLLIN, 0};
            if (poll(&watch, 1, 5000) != 1) return "";
            char chunk[512];
            const ssize_t n = read(out_, chunk, sizeof chunk);
            if (n <= 0) return "";
            pending_.append(chunk, static_cast<size_t>(n));
        }
    }

    // The port from "checker_sim: listening on 127.0.0.3:PORT (UDP), ...".
    uint16_t readPort()
    {
        const std::string line = readLine();
        const size_t colon = line.find(':', line.find("listening on"));
        if (colon == std::string::npos) return 0;
        return static_cast<uint16_t>(std::stoi(line.substr(colon + 1)));
    }

    // Asks it to stop as Ctrl+C would; the exit status, -1 if it had to be killed.
    int stop()
    {
        if (pid_ <= 0) return -1;
        kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100 && waitpid(pid_, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(20ms);
        if (waitpid(pid_, &status, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            pid_ = -1;
            return -1;
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string pending_;
};

PriceRecord priceRecord(const char* code, const char* nameMazovia, double units)
{
    PriceRecord record{};
    std::snprintf(record.code, sizeof record.code, "%s", code);
    std::snprintf(record.name, sizeof record.name, "%s", nameMazovia);
    record.price = units;
    std::snprintf(record.unit, sizeof record.unit, "%s", "szt");
    return record;
}

class SimulatorTest : public CheckerTest {
protected:
    void SetUp() override
    {
        CheckerTest::SetUp();
        char pattern[] = "/tmp/checker-sim-XXXXXX";
        folder_ = mkdtemp(pattern);
        datPath_ = folder_ + "/PRCHK.DAT";
        // Sorted by code, as the back-office program writes them; names in Mazovia.
        const PriceRecord records[] = {
            priceRecord("0000000000125", "Cukierek", 1250),
            priceRecord("0012345678905", "Kawa ziarnista 1kg", 459900),
            priceRecord("01234567", "Herbata", 89900),
            priceRecord("5901234123457", "\xA1ubr\xA3wka bardzo d\x92uga nazwa", 129900),
        };
        FILE* file = std::fopen(datPath_.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(records, sizeof records, 1, file);
        std::fclose(file);
    }
    void TearDown() override
    {
        std::filesystem::remove_all(folder_);
        CheckerTest::TearDown();
    }

    std::string folder_;
    std::string datPath_;
};

TEST_F(SimulatorTest, AnswersKnownAndUnknownCodesLikeAServer)
{
    Simulator sim({"--address", "127.0.0.3", "--port", "0", "--dat", datPath_});
    const uint16_t port = sim.readPort();
    ASSERT_NE(port, 0);

    Exchange known;
    ask(known, "127.0.0.3", port, "5901234123457");
    ASSERT_EQ(known.result, 0);
    EXPECT_EQ(known.text.size(), 47u);
    EXPECT_EQ(known.text.substr(0, 5), "\x02\x80" "100");
    EXPECT_EQ(known.text.substr(5, 20), "\xBDubr\xE0wka bardzo d\x88ug");  // CP852
    EXPECT_EQ(known.text.substr(25), "Cena:          12.99\r\x03");
    applyCheckerReply(known.buffer);
    EXPECT_EQ(itemName(), "\xA1ubr\xA3wka bardzo d\x92ug");
    EXPECT_DOUBLE_EQ(checkState.price, 129900);

    const std::string line = sim.readLine();
    EXPECT_NE(line.find(" 127.0.0.1:"), std::string::npos) << line;
    EXPECT_NE(line.find("seq=0x80 code=5901234123457 -> known"), std::string::npos) << line;

    // 12- and 7-character codes are found with a zero in front.
    Exchange upc;
    ask(upc, "127.0.0.3", port, "012345678905");
    ASSERT_EQ(upc.result, 0);
    EXPECT_EQ(upc.text.substr(5, 20), pad20("Kawa ziarnista 1kg"));
    EXPECT_EQ(upc.text.substr(25, 20), "Cena:          45.99");
    Exchange short7;
    ask(short7, "127.0.0.3", port, "1234567");
    EXPECT_EQ(short7.text.substr(25, 20), "Cena:" + std::string(11, ' ') + "8.99");
    Exchange short6;
    ask(short6, "127.0.0.3", port, "123456");
    EXPECT_EQ(short6.text.substr(25, 20), "Nieznany kod towaru ");
    EXPECT_NE(sim.readLine().find("seq=0x81 code=012345678905 -> known"), std::string::npos);
    EXPECT_NE(sim.readLine().find("seq=0x82 code=1234567 -> known"), std::string::npos);
    EXPECT_NE(sim.readLine().find("seq=0x83 code=123456 -> unknown"), std::string::npos);

    // An unknown code that holds "Cena" must not read as a known item.
    Exchange unknown;
    checkState.total = 0;
    ask(unknown, "127.0.0.3", port, "Cena999");
    ASSERT_EQ(unknown.result, 0);
    applyCheckerReply(unknown.buffer);
    EXPECT_EQ(itemName(), "Nieznany kod towaru ");
    EXPECT_EQ(checkState.total, 0);
    EXPECT_NE(sim.readLine().find("seq=0x84 code=Cena999 -> unknown"), std::string::npos);

    // Half a grosz rounds away from zero, as on the checker's own screen.
    Exchange half;
    ask(half, "127.0.0.3", port, "0000000000125");
    EXPECT_EQ(half.text.substr(25, 20), "Cena:" + std::string(11, ' ') + "0.13");
    EXPECT_NE(sim.readLine().find("price 0.13"), std::string::npos);

    EXPECT_EQ(sim.stop(), 0);
}

TEST_F(SimulatorTest, MalformedDatagramsGetANoteAndNoAnswer)
{
    Simulator sim({"--address", "127.0.0.3", "--port", "0", "--dat", datPath_});
    const uint16_t port = sim.readPort();
    ASSERT_NE(port, 0);

    uint16_t clientPort = 0;
    const int client = boundUdpSocket("127.0.0.1", &clientPort);
    const sockaddr_in simulator = loopback("127.0.0.3", port);
    const std::string malformed[] = {
        "",
        std::string("\x02\x80", 2),
        "\x01\x80" "1123\r\x03",
        std::string("\x02\x00" "1123\r\x03", 8),
        "\x02\x80" "2123\r\x03",
        "\x02\x80" "1123\x03\r",
        "\x02\x80" "112 3\r\x03",
        "\x02\x80" "112345678901234\r\x03",
        std::string(3000, '\x02'),
    };
    for (const std::string& datagram : malformed) {
        sendto(client, datagram.data(), datagram.size(), 0,
               reinterpret_cast<const sockaddr*>(&simulator), sizeof simulator);
        const std::string line = sim.readLine();
        EXPECT_NE(line.find("note: malformed datagram of " + std::to_string(datagram.size())),
                  std::string::npos)
            << line;
    }
    pollfd watch{client, POLLIN, 0};
    EXPECT_EQ(poll(&watch, 1, 200), 0);  // nothing was answered
    close(client);

    // Still serving.
    Exchange exchange;
    ask(exchange, "127.0.0.3", port, "1234567");
    EXPECT_EQ(exchange.result, 0);
    EXPECT_EQ(sim.stop(), 0);
}

TEST_F(SimulatorTest, TestModesAnswerEmptyOrGarbageAndCountEnds)
{
    {
        Simulator sim({"--address", "127.0.0.3", "--port", "0", "--dat", datPath_, "--mode",
                       "empty"});
        const uint16_t port = sim.readPort();
        Exchange exchange;
        ask(exchange, "127.0.0.3", port, "1234567");
        EXPECT_EQ(exchange.result, -1);
        EXPECT_NE(sim.readLine().find("-> empty datagram"), std::string::npos);
    }
    {
        Simulator sim({"--address", "127.0.0.3", "--port", "0", "--dat", datPath_, "--mode",
                       "garbage", "--count", "1"});
        const uint16_t port = sim.readPort();
        Exchange exchange;
        ask(exchange, "127.0.0.3", port, "1234567");
        ASSERT_EQ(exchange.result, 0);
        EXPECT_EQ(exchange.text.size(), 1023u);
        applyCheckerReply(exchange.buffer);  // whatever it holds, it is read safely
        EXPECT_NE(sim.readLine().find("-> garbage, 1500 bytes"), std::string::npos);
        EXPECT_EQ(sim.readLine(), "checker_sim: stopped");  // --count 1 ended it
        EXPECT_EQ(sim.stop(), 0);
    }
    {
        Simulator sim({"--address", "127.0.0.3", "--port", "0", "--dat", datPath_, "--mode",
                       "late=300"});
        const uint16_t port = sim.readPort();
        Exchange exchange;
        ask(exchange, "127.0.0.3", port, "1234567");
        EXPECT_EQ(exchange.result, 0);
        EXPECT_NE(sim.readLine().find("after 300 ms"), std::string::npos);
    }
}

TEST_F(SimulatorTest, DemoPriceListIsServedByDefault)
{
    const std::string demo = std::string(LUMIVO_SOURCE_DIR) + "/tools/demo/demo_items.csv";
    if (!std::filesystem::exists(demo)) GTEST_SKIP() << "no demo price list yet";
    Simulator sim({"--address", "127.0.0.3", "--port", "0", "--csv", demo});
    const std::string first = sim.readLine();
    EXPECT_NE(first.find("items from"), std::string::npos) << first;
    EXPECT_EQ(first.find(" 0 items"), std::string::npos) << first;
    EXPECT_EQ(sim.stop(), 0);
}

TEST_F(SimulatorTest, RefusesWhatItCannotUse)
{
    Simulator badMode({"--port", "0", "--dat", datPath_, "--mode", "loud"});
    EXPECT_EQ(badMode.readLine(), "");
    EXPECT_EQ(badMode.stop(), 2);
    Simulator noFile({"--port", "0", "--dat", folder_ + "/missing.dat"});
    EXPECT_EQ(noFile.readLine(), "");
    EXPECT_EQ(noFile.stop(), 2);
}

}  // namespace
