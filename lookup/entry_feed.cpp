// One door for every character, typed or scanned. A lookup can wait inside
// the entry handler: for the checker server's reply, or for the user to close
// an "Uwaga" box. That box runs a message loop of its own, which would hand
// the scanner's next bytes straight back to the handler, starting a second
// lookup in the middle of the first. Characters that arrive while a lookup is
// running are kept in order and handled as soon as it is done.
#include <array>
#include <cstddef>

#include "lookup/entry.h"

namespace {

// Over a minute of a scanner talking without pause at 9600 baud; a box left
// open longer than that loses what comes after, rather than growing memory.
constexpr size_t kWaitingCapacity = 65536;

std::array<signed char, kWaitingCapacity> waiting;
size_t waitingHead = 0;
size_t waitingCount = 0;
bool handlerRunning = false;

void keepForLater(signed char ch) {
    if (waitingCount == kWaitingCapacity) return;
    waiting[(waitingHead + waitingCount) % kWaitingCapacity] = ch;
    ++waitingCount;
}

signed char takeWaiting() {
    const signed char ch = waiting[waitingHead];
    waitingHead = (waitingHead + 1) % kWaitingCapacity;
    --waitingCount;
    return ch;
}

}  // namespace

int feedEntryChar(signed char ch) {
    if (handlerRunning) {
        keepForLater(ch);
        return 0;
    }
    handlerRunning = true;
    handleEntryChar(ch);
    while (waitingCount > 0) handleEntryChar(takeWaiting());
    handlerRunning = false;
    return 0;
}

bool entryHandlerBusy() {
    return handlerRunning;
}
