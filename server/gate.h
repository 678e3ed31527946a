// Who gets an answer. A checker request is a few bytes and its answer 47, so
// a server that answers anyone is a tool for flooding a stranger with nine
// times what an attacker sends in his name. Only the addresses of the shop's
// own network are answered, and each of them at most at a checker's pace.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "server/recency_table.h"

// Addresses from `first` to `last`, in host byte order.
struct AddressRange {
    uint32_t first = 0;
    uint32_t last = 0;
};

// Loopback, the private ranges and link-local: the networks of a shop.
inline constexpr std::string_view kDefaultAllowList =
    "127.0.0.0/8,10.0.0.0/8,172.16.0.0/12,192.168.0.0/16,169.254.0.0/16";

// Reads ranges written as "192.168.1.0/24,10.0.0.5" (blanks around items
// allowed). Returns 0, or -1 with the item it cannot read in `wrong`.
int readAllowList(std::string_view text, std::vector<AddressRange>& ranges, std::string& wrong);

// Whether `address` (network byte order) lies in one of `ranges`.
bool addressAllowed(const std::vector<AddressRange>& ranges, uint32_t address);

// Answers an address may still get: `rate` answers, refilled at `rate` a
// second, so a burst of a whole second's worth passes and a flood does not.
struct AnswerBucket {
    double answers = 0;
    int64_t refilledMs = 0;
    bool started = false;
};

inline constexpr long kDefaultRate = 50;         // a checker asks a few times a second at most
inline constexpr size_t kAddressesKept = 10000;  // far more checkers than any shop has

// The buckets of the addresses that asked, those asked longest ago
// forgotten first.
using AddressBuckets = RecencyTable<uint32_t, AnswerBucket>;

// Takes one answer from the bucket of `address` at `nowMs` (a steady clock).
// False when the bucket is empty: the request is dropped. `rate` 0 takes no
// answers away; the address is still noted.
bool takeAnswer(AddressBuckets& buckets, uint32_t address, int64_t nowMs, long rate);
