// Arbitrary datagrams into the checker server's request reader:
// it reads only the bytes the receive buffer holds, and takes only what a
// checker sends (the code is 0 to 13 letters or digits between the head and
// CR ETX). Every request a checker builds from the input's letters and
// digits is taken back with its code and sequence. The same bytes as the
// unknown-code file the server reads back at start, which a spreadsheet may
// have saved over: only codes are taken, and what is written reads back.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"
#include "checker/checker.h"
#include "server/checker_request.h"
#include "server/server_net.h"
#include "server/unknown_codes.h"
#include "tests/fuzz/fuzz_checks.h"

namespace {

// Reads `size` bytes of which the buffer holds `held`; the copy is exactly
// that long, so a read past it stops the run.
void readDatagram(const uint8_t* data, size_t size, size_t held) {
    const std::vector<unsigned char> buffer(data, data + held);
    CheckerRequest request;
    if (readCheckerRequest(buffer.data(), size, held, request) != nullptr) return;
    check(size >= 5 && size <= 18 && held >= size);
    check(data[0] == 0x02 && (data[1] & 0x80) != 0 && request.sequence == data[1]);
    check(request.code.size() == size - 5 && codeLookedUp(request.code) == request.code);
    check(std::memcmp(request.code.data(), data + 3, request.code.size()) == 0);
}

void readUnknownCodes(const uint8_t* data, size_t size) {
    UnknownCodes codes;
    codes.capacity = 64;
    readUnknownCodesCsv(std::string_view(reinterpret_cast<const char*>(data), size), codes);
    check(codes.entries.size() <= 64);
    for (const auto& [code, seen] : codes.entries) {
        check(!code.empty() && code.size() <= 16 &&
              std::all_of(code.begin(), code.end(), isAsciiDigitOrLetter));
        check(seen.count > 0);
    }
    const std::vector<UnknownCodes::Entry> rows(codes.entries.begin(), codes.entries.end());
    UnknownCodes again;
    readUnknownCodesCsv(unknownCodesCsv(rows, serverLocalTime), again);
    check(again.entries.size() == codes.entries.size());
    for (const auto& [code, seen] : codes.entries)
        check(again.places.at(code)->second.count == seen.count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    readDatagram(data, size, size);
    readUnknownCodes(data, size);
    if (size > 0) readDatagram(data, size, std::min<size_t>(size, data[0] % 20));

    const std::string code = codeLookedUp(std::string(reinterpret_cast<const char*>(data), size));
    const int32_t sequence = size > 0 ? data[0] : 0;
    unsigned char built[kMaxRequestSize];
    const size_t length = buildCheckerRequest(code.c_str(), sequence, built);
    CheckerRequest request;
    check(readCheckerRequest(built, length, length, request) == nullptr);
    check(request.code == code && request.sequence == (0x80 | (sequence & 0x7F)));
    return 0;
}
