// The checker server's reader of checker requests. A datagram is answered only
// when it is laid out exactly as a checker sends it: STX, a sequence byte with
// its top bit set, the query command "1", up to 13 ASCII letters or digits,
// CR, ETX. Anything else on the port (a port scanner, another program, a
// checker of another make) is noted and left unanswered.
#pragma once

#include <cstddef>
#include <string>

struct CheckerRequest {
    unsigned char sequence = 0;  // echoed in the reply
    std::string code;
};

namespace checker_request {

constexpr unsigned char kStx = 0x02;
constexpr unsigned char kEtx = 0x03;
constexpr unsigned char kCr = 0x0D;
constexpr size_t kShortestRequest = 5;
constexpr size_t kLongestRequest = 18;  // 13 code characters

// Why `length` bytes are no request the checker would send, or nullptr.
inline const char* requestProblem(const unsigned char* bytes, size_t length) {
    if (length < kShortestRequest) return "too short";
    if (length > kLongestRequest) return "too long";
    if (bytes[0] != kStx) return "no STX at the start";
    if ((bytes[1] & 0x80) == 0) return "sequence byte without its top bit";
    if (bytes[2] != '1') return "no query command \"1\"";
    if (bytes[length - 2] != kCr || bytes[length - 1] != kEtx) return "no CR ETX at the end";
    for (size_t i = 3; i < length - 2; ++i) {
        const unsigned char c = bytes[i];
        const bool alphanumeric =
            (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!alphanumeric) return "code with a byte that is no digit or letter";
    }
    return nullptr;
}

}  // namespace checker_request

// Reads a datagram of `fullLength` bytes of which `bytes` holds the first
// `held` (the receive buffer cuts a longer one). Returns nullptr with
// `request` filled, or why the datagram is no request. Only held bytes are
// read, whatever the lengths say.
inline const char* readCheckerRequest(const unsigned char* bytes, size_t fullLength, size_t held,
                                      CheckerRequest& request) {
    using namespace checker_request;
    if (fullLength > held && fullLength <= kLongestRequest) return "cut by the receive buffer";
    if (const char* problem = requestProblem(bytes, fullLength)) return problem;
    request.sequence = bytes[1];
    request.code.assign(reinterpret_cast<const char*>(bytes) + 3, fullLength - 5);
    return nullptr;
}
