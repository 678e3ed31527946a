// Server mode: each scanned code is asked of the shop's checker server in
// one UDP datagram, and the two 20-character display lines of its answer
// become the name and price on the screen.
#include "checker/checker.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string_view>

#include "base/cleanup.h"
#include "base/network.h"
#include "base/text.h"
#include "checker/socket_seam.h"
#include "lookup/check_state.h"
#include "lookup/polish_text.h"
#include "lookup/server_lookup_seam.h"
#include "settings/settings.h"
#include "settings/warning.h"

int32_t querySequence = 0;

namespace {

constexpr unsigned char kStx = 0x02;
constexpr unsigned char kEtx = 0x03;
constexpr unsigned char kCr = 0x0D;
constexpr unsigned char kQueryCommand = '1';

// Where the reply's two display lines lie; bytes from kReplyTextEnd on are
// never read.
constexpr size_t kLine1Offset = 5;
constexpr size_t kLine2Offset = 25;
constexpr size_t kPriceOffset = 30;
constexpr size_t kReplyTextEnd = 45;
constexpr size_t kDisplayLineWidth = 20;

constexpr int kMessageSize = 1024;

// Messages of the exchange go to the "Uwaga" box, except in full-screen
// mode: a checker on a shop wall has nobody at hand to close a box, and the
// screen says "Błąd komunikacji z serwerem sprawdzarek" anyway.
[[gnu::format(printf, 1, 2)]] void showExchangeMessage(const char* format, ...) {
    char message[kMessageSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    if (settings.fullScreen == 0) showWarning(message);
}

// A name that begins with a letter is a host name; anything else must be a
// dotted address, so "3server" or an empty text is refused, not looked up.
// A typing mistake in the configuration must not stop the checker: the
// message tells what is wrong and the screen shows the communication error.
int findServerAddress(const char* serverAddress, uint32_t* address) {
    if (isAsciiLetter(serverAddress[0])) {
        if (netResolveHost(serverAddress, address) != 0) {
            showExchangeMessage("Client: Cannot resolve address [%s]: Error %d\n", serverAddress,
                                netLastError());
            return -1;
        }
        return 0;
    }
    if (netParseDotted(serverAddress, address) != 0) {
        showExchangeMessage(
            "Nie mo\xBFna odnale\x9F\xE6 adresu:[%s] B\xB3\xB9"
            "d:%d\n",
            serverAddress, netLastError());
        return -1;
    }
    return 0;
}

// Waits for the one datagram that answers the request and copies its text,
// up to its first zero byte, into `reply`.
int32_t receiveReply(NetSocket socket, char* reply) {
    char buffer[kReplyBufferSize];
    int received = netReceive(socket, buffer, kReplyBufferSize, kReplyTimeoutMs);
    if (received < 0) {
        showExchangeMessage("recv() failed: error %d\n", netLastError());
        return -1;
    }
    if (received == 0) return -1;
    // A datagram that fills the buffer may have been longer; its head is
    // all that is ever read, so it is kept like any reply.
    received = std::min(received, kReplyBufferSize - 1);
    buffer[received] = '\0';
    std::memcpy(reply, buffer, std::strlen(buffer) + 1);
    return 0;
}

// Copies 20 characters of the reply from `offset` into the item name, fewer
// when the text ends sooner, filling the rest of the 20 with zero bytes.
void copyDisplayLine(std::string_view text, size_t offset) {
    const size_t start = std::min(offset, text.size());
    const size_t length = std::min(kDisplayLineWidth, text.size() - start);
    std::memcpy(checkState.itemName, text.data() + start, length);
    std::memset(checkState.itemName + length, 0, kDisplayLineWidth + 1 - length);
}

bool isCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

double powerOfTen(int exponent) {
    // Exact up to 1e22, so a price of up to 15 digits comes out correctly
    // rounded, the same as the C library would read it.
    static constexpr double exact[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (exponent < static_cast<int>(std::size(exact))) return exact[exponent];
    double value = 1e22;
    for (int i = 22; i < exponent && value <= 1e308; ++i) value *= 10.0;
    return value;
}

}  // namespace

// The server writes prices with a decimal point whatever the checker's
// locale, so the number is read here and not by the C library, whose
// reading follows the process locale: white space, a sign, digits with "."
// and an exponent; a comma or anything else ends it.
double readDecimalText(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isCSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

    uint64_t mantissa = 0;
    int significantDigits = 0;
    int exponent = 0;
    int digits = 0;
    auto takeDigit = [&](char c, bool fraction) {
        ++digits;
        if (significantDigits < 19) {
            mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
            if (mantissa != 0) ++significantDigits;
            if (fraction) --exponent;
        } else if (!fraction) {
            ++exponent;
        }
    };
    for (; i < text.size() && isAsciiDigit(text[i]); ++i) takeDigit(text[i], false);
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && isAsciiDigit(text[i]); ++i) takeDigit(text[i], true);
    }
    if (digits == 0) return 0.0;

    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        bool negativeExponent = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            negativeExponent = text[j++] == '-';
        }
        if (j < text.size() && isAsciiDigit(text[j])) {
            int written = 0;
            for (; j < text.size() && isAsciiDigit(text[j]); ++j) {
                written = std::min(written * 10 + (text[j] - '0'), 100000);
            }
            exponent += negativeExponent ? -written : written;
        }
    }

    double value = static_cast<double>(mantissa);
    if (mantissa != 0) {
        value = exponent >= 0 ? value * powerOfTen(exponent) : value / powerOfTen(-exponent);
    }
    return negative ? -value : value;
}

size_t buildCheckerRequest(const char* code, int32_t sequence, unsigned char* out) {
    const size_t length = strnlen(code, kLookedUpCodeLength);
    out[0] = kStx;
    out[1] = static_cast<unsigned char>(0x80 | (sequence & 0x7F));
    out[2] = kQueryCommand;
    std::memcpy(out + 3, code, length);
    out[3 + length] = kCr;
    out[4 + length] = kEtx;
    return length + 5;
}

int32_t queryCheckerServer(const char* serverAddress, int32_t port, const char* code, char* reply) {
    const NetworkUse network;
    if (network.startError() != 0) {
        showExchangeMessage("WSAStartup failed with error %d", network.startError());
        return -1;
    }

    uint32_t address = 0;
    if (findServerAddress(serverAddress, &address) != 0) return -1;

    // Connecting fixes the peer, so a datagram from anywhere but the
    // server's address and port is never taken for its reply.
    // The socket never outlives the exchange.
    const Owned<NetSocket> socket(netOpenUdp(), kNoSocket, netClose);
    if (netConnect(socket.get(), address, static_cast<uint16_t>(port)) != 0) {
        showExchangeMessage("connect() failed: %d\n", netLastError());
        return -1;
    }

    unsigned char request[kMaxRequestSize];
    const size_t length = buildCheckerRequest(code, querySequence, request);
    if (netSend(socket.get(), request, static_cast<int>(length)) < 0) {
        showExchangeMessage("send() failed: error %d\n", netLastError());
        return -1;
    }
    // Only a request that went out uses up a sequence number.
    querySequence = (querySequence + 1) % 128;

    return receiveReply(socket.get(), reply);
}

void applyCheckerReply(char* reply) {
    reply[kReplyTextEnd] = '\0';
    const std::string_view text(reply, strnlen(reply, kReplyTextEnd));

    // "Cena" anywhere in the two lines marks a known item, and its price
    // stands from the sixth character of line 2 on.
    const size_t match = text.find("Cena", std::min(kLine1Offset, text.size()));
    if (text.size() > kLine1Offset && match != std::string_view::npos) {
        copyDisplayLine(text, kLine1Offset);
        const double price =
            readDecimalText(text.substr(std::min(kPriceOffset, text.size()))) * 10000.0;
        // "Cena: 1e999" is no price a shop can charge: showing "inf" would
        // spoil the running total for every item after it.
        if (!std::isfinite(price) || !std::isfinite(checkState.total + price)) {
            showTextWithoutPrices(kServerErrorText);
            return;
        }
        checkState.price = price;
        checkState.total += price;
    } else {
        copyDisplayLine(text, kLine2Offset);
    }

    // Names are kept in Mazovia, like the names of the price file.
    recodeText(checkState.itemName,
               static_cast<int32_t>(strnlen(checkState.itemName, kDisplayLineWidth)), cp852Letters,
               mazoviaLetters);
}

void lookupOnServer() {
    // The settings record and the code may lack their zero byte; both are
    // bounded here, before they reach the exchange.
    char address[sizeof settings.serverAddress + 1] = {};
    std::memcpy(address, settings.serverAddress, sizeof settings.serverAddress);
    char code[sizeof checkState.code + 1] = {};
    std::memcpy(code, checkState.code, sizeof checkState.code);

    char reply[kReplyBufferSize] = {};
    if (queryCheckerServer(address, kCheckerPort, code, reply) == 0) {
        applyCheckerReply(reply);
        return;
    }
    showTextWithoutPrices(kServerErrorText);
}
