// Server mode: one UDP datagram to the checker server per code, one back
// with two 20-character display lines in CP852.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr int32_t kCheckerPort = 1001;
inline constexpr int kReplyBufferSize = 1024;
inline constexpr int kMaxRequestSize = 18;         // 13 code characters + 5
inline constexpr unsigned kReplyTimeoutMs = 3000;  // bound on the wait for a reply
inline constexpr const char* kServerErrorText =
    "B\xB3\xB9"
    "d komunikacji z serwerem sprawdzarek";  // Windows-1250

// 0..127; the request carries it with the top bit set. Never saved.
extern int32_t querySequence;

// Lays out the request for `code` (at most 13 characters are sent) with the
// given sequence value into `out`; returns its length, 5 to 18.
size_t buildCheckerRequest(const char* code, int32_t sequence, unsigned char* out);

// Sends `code` to the server and waits (at most kReplyTimeoutMs) for the
// reply, which lands zero-terminated in `reply` (1024 bytes, zeroed by the
// caller). 0 when a reply came, -1 otherwise; any message has been shown.
int32_t queryCheckerServer(const char* serverAddress, int32_t port, const char* code, char* reply);

// Reads a reply into checkState: the name and, for a known item, the price,
// which is added to the total.
void applyCheckerReply(char* reply);

// Reads a decimal number the way the checker server writes prices, the
// same in every locale: optional white space and sign, digits with "." as
// the decimal point, an optional exponent. Reading stops at the first other
// character (a comma included); no number at all reads as 0.
double readDecimalText(std::string_view text);
