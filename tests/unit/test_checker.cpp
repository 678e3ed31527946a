// The checker exchange against checker servers played by the test itself on
// loopback.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "checker/checker.h"
#include "lookup/check_state.h"
#include "lookup/price_file.h"
#include "lookup/server_lookup_seam.h"
#include "settings/settings.h"
#include "tests/support/checker_exchange.h"
#include "tests/support/fakes.h"
#include "tests/support/loopback_server.h"

namespace {

std::atomic<bool> failSends{false};

}  // namespace

// The one failure a test cannot provoke on loopback is a send that fails
// after the connect succeeded, so this binary stands in for the C library's
// send(): it fails on request and otherwise does what send() does.
extern "C" ssize_t send(int fd, const void* data, size_t length, int flags) {
    if (failSends) {
        errno = ENOBUFS;
        return -1;
    }
    return syscall(SYS_sendto, fd, data, length, flags, nullptr, 0);
}

namespace {

using Bytes = std::vector<unsigned char>;
using namespace std::chrono_literals;

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// A port on which nothing listens: bound once by the system's choice, then
// let go, so that datagrams to it draw an ICMP "port unreachable".
uint16_t unusedPort() {
    const LoopbackServer probe;
    return probe.port();
}

class CheckerTest : public testing::Test {
protected:
    void SetUp() override {
        resetFakeWindow();
        startExchangesAfresh();
        failSends = false;
    }
    void TearDown() override { failSends = false; }

    // Asks the test's server, which answers with `reply`, then reads the
    // reply into checkState as the entry handler would.
    int32_t askAndApply(const std::string& reply) {
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

TEST_F(CheckerTest, RequestCarriesSequenceCommandCodeAndEnd) {
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

TEST_F(CheckerTest, SequenceRunsFrom0x80To0xFFAndStartsAgain) {
    LoopbackServer server;
    server.serve(129, [](LoopbackServer& self, const ServerPeer& peer, const Bytes&) {
        self.sendTo(peer, serverReply("x", "y"));
    });
    for (int i = 0; i < 129; ++i) {
        Exchange exchange;
        ask(exchange, "127.0.0.1", server.port(), "5901234123457");
        ASSERT_EQ(exchange.result, 0) << i;
    }
    const std::vector<Bytes>& requests = server.requests();
    ASSERT_EQ(requests.size(), 129u);
    EXPECT_EQ(requests[0], bytesOf("\x02\x80"
                                   "15901234123457\r\x03"));
    EXPECT_EQ(requests[1][1], 0x81);
    EXPECT_EQ(requests[127][1], 0xFF);
    EXPECT_EQ(requests[128][1], 0x80);
    EXPECT_EQ(querySequence, 1);
}

TEST_F(CheckerTest, OnlyARequestThatWentOutUsesUpASequenceNumber) {
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

TEST_F(CheckerTest, KnownItemShowsLine1AndThePriceAndGrowsTheTotal) {
    checkState.total = 10000;
    ASSERT_EQ(askAndApply(serverReply("Mleko 3,2% 1L", "Cena:           3.49")), 0);
    EXPECT_EQ(itemName(), pad20("Mleko 3,2% 1L"));  // blanks stay: nothing is trimmed
    EXPECT_DOUBLE_EQ(checkState.price, 34900);
    EXPECT_DOUBLE_EQ(checkState.total, 44900);
    EXPECT_TRUE(fakeWindow.warnings.empty());
}

TEST_F(CheckerTest, ReplyWithoutCenaShowsLine2AndKeepsPriceAndTotal) {
    checkState.total = 10000;
    ASSERT_EQ(askAndApply(serverReply("123", "Nieznany kod towaru ")), 0);
    EXPECT_EQ(itemName(), "Nieznany kod towaru ");
    EXPECT_EQ(checkState.price, 0);
    EXPECT_DOUBLE_EQ(checkState.total, 10000);
}

TEST_F(CheckerTest, ServerLettersAreKeptInMazovia) {
    // CP852 "ŻUBRÓWKA" with Ż 0xBD and Ó 0xE0.
    ASSERT_EQ(askAndApply(serverReply("\xBDUBR\xE0WKA", "Cena: 1")), 0);
    EXPECT_EQ(itemName(), pad20("\xA1UBR\xA3WKA"));
}

TEST_F(CheckerTest, DecimalCommaEndsThePrice) {
    ASSERT_EQ(askAndApply(serverReply("Chleb", "Cena:           3,49")), 0);
    EXPECT_DOUBLE_EQ(checkState.price, 30000);
    EXPECT_DOUBLE_EQ(checkState.total, 30000);
}

TEST_F(CheckerTest, APriceBeyondAnyNumberIsACommunicationError) {
    ASSERT_EQ(askAndApply(serverReply("Chleb", "Cena:           2.00")), 0);
    ASSERT_EQ(askAndApply(serverReply("Chleb", "Cena:      9e999999")), 0);
    EXPECT_STREQ(checkState.itemName, kServerErrorText);
    EXPECT_DOUBLE_EQ(checkState.price, 0);
    EXPECT_DOUBLE_EQ(checkState.total, 20000) << "the total must survive a nonsense price";
}

TEST_F(CheckerTest, CenaInLine1CountsAndThePriceIsStillReadFromLine2) {
    ASSERT_EQ(askAndApply(serverReply("Cena promocyjna", "Mleko 2.50")), 0);
    EXPECT_EQ(itemName(), pad20("Cena promocyjna"));
    EXPECT_DOUBLE_EQ(checkState.price, 25000);  // "2.50" stands from offset 30 on
}

TEST_F(CheckerTest, ShortAndCutRepliesReadAsEmptyText) {
    // Fewer than 26 bytes and no "Cena": line 2 is empty.
    ASSERT_EQ(askAndApply("\x02\x80"
                          "100"
                          "Chleb zwykly"),
              0);
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

TEST_F(CheckerTest, OnlyTheFirst45BytesAreRead) {
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

TEST_F(CheckerTest, LongDatagramsAreCutTo1023Bytes) {
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

TEST_F(CheckerTest, ReplyIsCopiedUpToItsFirstZeroByte) {
    LoopbackServer server;
    server.answerWith(
        std::string("\x02\x80"
                    "100AB\0CD",
                    10));
    Exchange exchange;
    ask(exchange, "127.0.0.1", server.port());
    ASSERT_EQ(exchange.result, 0);
    EXPECT_EQ(exchange.text,
              "\x02\x80"
              "100AB");
    EXPECT_TRUE(exchange.restZero);
}

TEST_F(CheckerTest, EmptyDatagramIsNoReplyAndShowsNoMessage) {
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

TEST_F(CheckerTest, ReplyFromAnotherPortIsNotTaken) {
    LoopbackServer server;
    server.serve(1, [](LoopbackServer& self, const ServerPeer& peer, const Bytes&) {
        LoopbackServer other;
        other.sendTo(peer, serverReply("Obcy", "Cena: 999"));
        std::this_thread::sleep_for(50ms);
        self.sendTo(peer, serverReply("Swoj", "Cena: 1"));
    });
    Exchange exchange;
    ask(exchange, "127.0.0.1", server.port());
    ASSERT_EQ(exchange.result, 0);
    applyCheckerReply(exchange.buffer);
    EXPECT_EQ(itemName(), pad20("Swoj"));
}

TEST_F(CheckerTest, NoServerListeningEndsTheExchangeWithAMessage) {
    Exchange exchange;
    ask(exchange, "127.0.0.1", unusedPort());
    EXPECT_EQ(exchange.result, -1);
    ASSERT_EQ(fakeWindow.warnings.size(), 1u);
    EXPECT_EQ(fakeWindow.warnings[0],
              "recv() failed: error " + std::to_string(ECONNREFUSED) + "\n");
}

TEST_F(CheckerTest, SilentServerEndsTheWaitAfterTheTimeOut) {
    LoopbackServer server;
    server.serve(1, [](LoopbackServer&, const ServerPeer&, const Bytes&) {});
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

TEST_F(CheckerTest, UnusableAddressesEndTheExchangeNotTheProgram) {
    // A label longer than 63 characters is refused by the resolver before
    // any query leaves the machine.
    const std::string badHost = std::string(64, 'x') + ".invalid";
    struct Case {
        std::string address;
        std::string messageStart;
    };
    const std::string noAddress = "Nie mo\xBFna odnale\x9F\xE6 adresu:[";
    const Case cases[] = {
        {"3server", noAddress + "3server] B\xB3\xB9"
                                "d:"},
        {"", noAddress + "] B\xB3\xB9"
                         "d:"},
        {"255.255.255.255", noAddress + "255.255.255.255] B\xB3\xB9"
                                        "d:"},
        {"127.0.0.300", noAddress + "127.0.0.300] B\xB3\xB9"
                                    "d:"},
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

TEST_F(CheckerTest, FullScreenShowsNoMessages) {
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

TEST_F(CheckerTest, FailedServerLookupShowsTheErrorAndKeepsTheTotal) {
    std::snprintf(settings.serverAddress, sizeof settings.serverAddress, "%s", "10.0.0.300");
    std::snprintf(checkState.code, sizeof checkState.code, "%s", "123");
    checkState.total = 77700;
    checkState.price = 1;
    checkState.gross1 = 1;
    for (int32_t fullScreen : {0, 1}) {
        settings.fullScreen = fullScreen;
        lookupOnServer();
        EXPECT_STREQ(checkState.itemName, kServerErrorText);
        EXPECT_STREQ(checkState.itemName,
                     "B\xB3\xB9"
                     "d komunikacji z serwerem sprawdzarek");
        EXPECT_EQ(checkState.price, 0);
        EXPECT_EQ(checkState.gross1, 0);
        EXPECT_DOUBLE_EQ(checkState.total, 77700);
    }
    EXPECT_EQ(fakeWindow.warnings.size(), 1u);  // the full-screen run showed none
}

TEST_F(CheckerTest, ServerAddressWithoutZeroByteIsBounded) {
    std::memset(settings.serverAddress, '1', sizeof settings.serverAddress);
    lookupOnServer();
    EXPECT_STREQ(checkState.itemName, kServerErrorText);
    ASSERT_EQ(fakeWindow.warnings.size(), 1u);
    EXPECT_NE(fakeWindow.warnings[0].find("[" + std::string(104, '1') + "]"), std::string::npos);
}

// --- Prices ---------------------------------------------------------------

TEST(CheckerPrice, ReadsTheWayServersWritePricesInAnyLocale) {
    EXPECT_DOUBLE_EQ(readDecimalText("          12.99"), 12.99);
    EXPECT_DOUBLE_EQ(readDecimalText("\t\r\n 3.49 PLN"), 3.49);
    EXPECT_DOUBLE_EQ(readDecimalText("-0.5"), -0.5);
    EXPECT_DOUBLE_EQ(readDecimalText("+7"), 7);
    EXPECT_DOUBLE_EQ(readDecimalText(".5"), 0.5);
    EXPECT_DOUBLE_EQ(readDecimalText("5."), 5);
    EXPECT_DOUBLE_EQ(readDecimalText("1.5e2"), 150);
    EXPECT_DOUBLE_EQ(readDecimalText("25E-1x"), 2.5);
    EXPECT_DOUBLE_EQ(readDecimalText("2e"), 2);  // no exponent digits: the "e" is not taken
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

}  // namespace
