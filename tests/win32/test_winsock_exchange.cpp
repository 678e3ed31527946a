// The checker exchange on Winsock 2.2, against a checker server played by a
// thread of the test on loopback.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "checker/checker.h"
#include "lookup/check_state.h"
#include "lookup/server_lookup_seam.h"
#include "settings/settings.h"
#include "tests/support/checker_exchange.h"
#include "tests/support/loopback_server.h"

namespace {

using Bytes = LoopbackServer::Bytes;

class WinsockExchange : public testing::Test {
protected:
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        std::memset(&settings, 0, sizeof settings);
        // No "Uwaga" box may wait for a click in an unattended test.
        settings.fullScreen = 1;
        std::memset(&checkState, 0, sizeof checkState);
        querySequence = 0;
    }
    void TearDown() override { WSACleanup(); }

    int32_t ask(uint16_t port, const char* code = "123") {
        std::memset(reply_, 0, sizeof reply_);
        return queryCheckerServer("127.0.0.1", port, code, reply_);
    }

    char reply_[kReplyBufferSize] = {};
};

TEST_F(WinsockExchange, RequestGoesOutAndTheReplyIsRead) {
    LoopbackServer server;
    server.answerWith(
        "\x02\x80"
        "100" +
        pad20("\xBDUBR\xE0WKA") + "Cena:           3.49\r\x03");
    ASSERT_EQ(ask(server.port()), 0);
    EXPECT_EQ(server.requests().at(0), (Bytes{0x02, 0x80, 0x31, 0x31, 0x32, 0x33, 0x0D, 0x03}));
    EXPECT_EQ(querySequence, 1);

    checkState.total = 10000;
    applyCheckerReply(reply_);
    EXPECT_EQ(std::string(checkState.itemName), pad20("\xA1UBR\xA3WKA"));
    EXPECT_DOUBLE_EQ(checkState.price, 34900);
    EXPECT_DOUBLE_EQ(checkState.total, 44900);
}

TEST_F(WinsockExchange, LongDatagramIsCutTo1023Bytes) {
    // Winsock reports such a datagram as an error after filling the buffer.
    std::string reply =
        "\x02\x80"
        "100" +
        pad20("Ser") + "Cena:          19.99\r\x03";
    reply.resize(1500, 'x');
    LoopbackServer server;
    server.answerWith(reply);
    ASSERT_EQ(ask(server.port()), 0);
    EXPECT_EQ(std::string(reply_), reply.substr(0, 1023));
    EXPECT_EQ(reply_[1023], '\0');
}

TEST_F(WinsockExchange, EmptyDatagramIsNoReply) {
    LoopbackServer server;
    server.answerWith("");
    EXPECT_EQ(ask(server.port()), -1);
    EXPECT_EQ(querySequence, 1);
}

TEST_F(WinsockExchange, SilentServerEndsByTheTimeOut) {
    LoopbackServer server;
    server.serve(1, [](LoopbackServer&, const ServerPeer&, const Bytes&) {});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ask(server.port()), -1);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(kReplyTimeoutMs - 100));
    EXPECT_LT(waited, std::chrono::milliseconds(kReplyTimeoutMs * 3));
    EXPECT_EQ(server.requests().at(0).size(), 8u);
}

TEST_F(WinsockExchange, UnreachablePortIsNoReply) {
    uint16_t port = 0;
    {
        const LoopbackServer probe;  // bound by the system's choice, then let go
        port = probe.port();
    }
    // Windows reports the ICMP answer at once; Wine lets the bound run out.
    EXPECT_EQ(ask(port), -1);
    EXPECT_EQ(querySequence, 1);
}

TEST_F(WinsockExchange, UnusableAddressEndsTheExchangeNotTheProgram) {
    for (const char* address : {"3server", "", "255.255.255.255", "1.2.3.400"}) {
        std::memset(reply_, 0, sizeof reply_);
        EXPECT_EQ(queryCheckerServer(address, 5000, "123", reply_), -1) << address;
    }
    EXPECT_EQ(querySequence, 0);

    std::strcpy(settings.serverAddress, "3server");
    checkState.total = 5000;
    lookupOnServer();
    EXPECT_STREQ(checkState.itemName, kServerErrorText);
    EXPECT_DOUBLE_EQ(checkState.total, 5000);
}

}  // namespace
