// The entry handler: characters from the keyboard and the scanner become a
// code, Enter looks it up, and the result lands in checkState for the next
// paint. Everything here runs on the window's thread (the scanner's reader
// posts its bytes there), so no lock is needed.
#include "lookup/entry.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/text.h"
#include "lookup/cascade.h"
#include "lookup/entry_seam.h"
#include "lookup/price_file.h"
#include "lookup/server_lookup_seam.h"
#include "settings/settings.h"

int32_t entryPos = 0;
uintptr_t idleTimer = 0;

namespace {

constexpr int32_t kCodeCapacity = 16;  // characters kept while typing

// Scanners send a CR or LF after the code, some pad with blanks or send a
// symbology letter after a separator: the code ends at the first character
// that is not an ASCII letter or digit.
void cleanCode(char (&code)[17]) {
    for (char& c : code) {
        if (!isAsciiDigitOrLetter(c)) {
            c = '\0';
            break;
        }
    }
    code[sizeof code - 1] = '\0';
}

void showNotFound() {
    showTextWithoutPrices(kUnknownItemText);
}

// Fills the screen from a found record. `price` is the price to show: the
// record's own, or the one computed from an in-store code.
void showFound(const PriceRecord& record, double price) {
    copyText(checkState.itemName, record.name, sizeof record.name);
    checkState.price = price;
    checkState.net1 = record.net1;
    checkState.net2 = record.net2;
    checkState.gross1 = record.price;
    checkState.gross2 = record.gross2;
    checkState.unitPrice = record.price;
    checkState.total += price;
    copyText(checkState.unit, record.unit, kUnitShownLength);
}

// PRCHK.DAT as the cascade's finder: each lookup opens the file afresh.
bool findInPriceFile(const void*, const char* code, PriceRecord* record) {
    if (lookupPriceRecord(code) < 0) return false;
    *record = recordBuffer;
    return true;
}

// The standalone lookup. A damaged record, or a price the total cannot hold,
// shows as an unknown item.
void lookupInPriceFile(const char* code) {
    const CodeLookup found = lookupCode(code, {findInPriceFile, nullptr});
    checkState.weight = found.weight;
    if (lookupShowsItem(found) && std::isfinite(checkState.total + found.price)) {
        showFound(found.record, found.price);
    } else {
        showNotFound();
    }
}

void storeCharacter(signed char ch) {
    if (entryPos < 0 || entryPos >= kCodeCapacity) entryPos = 0;
    restartIdleTimer();
    checkState.code[entryPos] = static_cast<char>(ch);
    checkState.code[entryPos + 1] = '\0';
    entryPos = (entryPos + 1) % kCodeCapacity;
    checkState.resultShown = 0;
    requestRepaint();
}

// Enter after nothing (or after exactly 16 characters, which wraps the
// position) does nothing at all: a scanner that sends CR LF gives one lookup.
// A lookup can wait in an "Uwaga" box, whose message loop paints the window
// when it is uncovered, restored or resized. The screen must not show a
// lookup halfway (the last item's name beside "Cena: 0.00"): until the lookup
// has ended, paints draw the screen as it stood at the Enter. The handler
// runs only through the entry feed, so a paint while it is busy is a paint
// from inside a lookup's box.
CheckState screenBeforeLookup;

void enterCode() {
    if (entryPos == 0) return;
    screenBeforeLookup = checkState;
    entryPos = 0;
    checkState.code[kLookedUpCodeLength] = '\0';
    checkState.resultShown = 1;
    zeroShownPrices();
    checkState.weight = 0;
    checkState.unit[0] = '\0';
    cleanCode(checkState.code);

    if (settings.standaloneMode == 0) {
        lookupOnServer();
    } else {
        lookupInPriceFile(checkState.code);
    }
    requestRepaint();
}

}  // namespace

int handleEntryChar(signed char ch) {
    if (ch == '\n' || ch == '\r') {
        enterCode();
    } else {
        storeCharacter(ch);
    }
    return 0;
}

const CheckState& checkStateToPaint() {
    return entryHandlerBusy() ? screenBeforeLookup : checkState;
}

void expireIdleTimer() {
    clearCheckState();
    entryPos = 0;
    stopIdleTimer();
    requestRepaint();
}
