// Arbitrary datagrams from a checker server, read as the exchange hands them
// over: at most 1023 bytes and a zero byte in the 1024-byte reply buffer.
// The name is a display line of at most 20 characters (or the communication
// error text) and no price or total is ever NaN or infinite.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "checker/checker.h"
#include "lookup/check_state.h"
#include "tests/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char reply[kReplyBufferSize] = {};
    const size_t kept = size < kReplyBufferSize - 1 ? size : kReplyBufferSize - 1;
    std::memcpy(reply, data, kept);

    clearCheckState();
    applyCheckerReply(reply);
    applyCheckerReply(reply);  // a second item in a row adds to the total

    const bool isErrorText = std::strcmp(checkState.itemName, kServerErrorText) == 0;
    check(isErrorText || std::memchr(checkState.itemName, 0, 21) != nullptr);
    check(std::isfinite(checkState.price) && std::isfinite(checkState.total));
    return 0;
}
