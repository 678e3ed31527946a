// The part of the server's network calls that is the same on every system:
// dotted addresses read and written.
#include "server/server_net.h"

#include <cstdio>
#include <cstring>

#include "base/text.h"

namespace {

// A decimal number of 1 to 3 digits up to 255, taken off the front.
bool takeOctet(std::string_view& text, unsigned char& octet) {
    size_t digits = 0;
    unsigned value = 0;
    while (digits < text.size() && digits < 3 && isAsciiDigit(text[digits]))
        value = value * 10 + static_cast<unsigned>(text[digits++] - '0');
    text.remove_prefix(digits);
    octet = static_cast<unsigned char>(value);
    return digits > 0 && value <= 255;
}

}  // namespace

int serverParseAddress(std::string_view text, uint32_t* address) {
    unsigned char octets[4] = {};
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text.front() != '.') return -1;
            text.remove_prefix(1);
        }
        if (!takeOctet(text, octets[part])) return -1;
    }
    if (!text.empty()) return -1;
    std::memcpy(address, octets, sizeof octets);
    return 0;
}

std::string dottedAddress(uint32_t address) {
    unsigned char octets[4];
    std::memcpy(octets, &address, sizeof octets);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", octets[0], octets[1], octets[2], octets[3]);
    return text;
}
