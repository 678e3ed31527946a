// What the tests of the checker exchange and of the checker server share: one
// exchange with a server, and the state a test starts from.
#pragma once

#include <cstring>
#include <string>

#include "checker/checker.h"
#include "lookup/check_state.h"
#include "settings/settings.h"

// A display line as servers send it: cut or padded with blanks to 20.
inline std::string pad20(std::string text) {
    text.resize(20, ' ');
    return text;
}

// A reply laid out as checker servers send it: a 5-byte head, two lines.
inline std::string serverReply(const std::string& line1, const std::string& line2) {
    return "\x02\x80"
           "100" +
           pad20(line1) + pad20(line2) + "\r\x03";
}

struct Exchange {
    int32_t result = 0;
    std::string text;      // the reply up to its zero byte
    bool restZero = true;  // nothing behind the text's zero byte
    char buffer[kReplyBufferSize] = {};
};

// Asks the server at `address`:`port` for `code` as the checker does.
inline void ask(Exchange& exchange, const char* address, uint16_t port, const char* code = "123") {
    exchange.result = queryCheckerServer(address, port, code, exchange.buffer);
    exchange.text.assign(exchange.buffer, strnlen(exchange.buffer, sizeof exchange.buffer));
    for (size_t i = exchange.text.size(); i < sizeof exchange.buffer; ++i)
        exchange.restZero = exchange.restZero && exchange.buffer[i] == 0;
}

// Settings, screen and sequence as at program start; no fullScreen, so
// every message the exchange shows reaches the fake window.
inline void startExchangesAfresh() {
    std::memset(&settings, 0, sizeof settings);
    std::memset(&checkState, 0, sizeof checkState);
    querySequence = 0;
}
