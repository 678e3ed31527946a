#include "server/gate.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "server/server_net.h"

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// A prefix length of 1 or 2 digits up to 32, and nothing after it.
bool readPrefixLength(std::string_view text, unsigned& bits) {
    if (text.empty() || text.size() > 2) return false;
    bits = 0;
    for (const char c : text) {
        if (!isAsciiDigit(c)) return false;
        bits = bits * 10 + static_cast<unsigned>(c - '0');
    }
    return bits <= 32;
}

uint32_t hostOrder(uint32_t networkOrder) {
    unsigned char b[4];
    std::memcpy(b, &networkOrder, sizeof b);
    return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
}

bool readRange(std::string_view item, AddressRange& range) {
    unsigned prefix = 32;
    const size_t slash = item.find('/');
    if (slash != std::string_view::npos) {
        if (!readPrefixLength(item.substr(slash + 1), prefix)) return false;
        item = item.substr(0, slash);
    }
    uint32_t networkOrder = 0;
    if (serverParseAddress(item, &networkOrder) != 0) return false;
    const uint32_t address = hostOrder(networkOrder);
    const uint32_t hostBits = prefix == 0 ? 0xFFFFFFFFu : (uint32_t{1} << (32 - prefix)) - 1;
    range.first = address & ~hostBits;
    range.last = range.first | hostBits;
    return true;
}

}  // namespace

int readAllowList(std::string_view text, std::vector<AddressRange>& ranges, std::string& wrong) {
    ranges.clear();
    for (;;) {
        const size_t comma = text.find(',');
        const std::string_view item = trimmed(text.substr(0, comma));
        AddressRange range;
        if (!readRange(item, range)) {
            wrong = item;
            return -1;
        }
        ranges.push_back(range);
        if (comma == std::string_view::npos) return 0;
        text.remove_prefix(comma + 1);
    }
}

bool addressAllowed(const std::vector<AddressRange>& ranges, uint32_t address) {
    const uint32_t host = hostOrder(address);
    return std::any_of(ranges.begin(), ranges.end(), [host](const AddressRange& range) {
        return host >= range.first && host <= range.last;
    });
}

bool takeAnswer(AddressBuckets& buckets, uint32_t address, int64_t nowMs, long rate) {
    AnswerBucket& bucket = touchEntry(buckets, address);
    if (rate == 0) return true;
    const auto full = static_cast<double>(rate);
    if (!bucket.started) {
        bucket = {full, nowMs, true};
    } else {
        const double refill = static_cast<double>(nowMs - bucket.refilledMs) * full / 1000.0;
        bucket.answers = std::min(full, bucket.answers + std::max(0.0, refill));
        bucket.refilledMs = nowMs;
    }
    if (bucket.answers < 1) return false;
    bucket.answers -= 1;
    return true;
}
