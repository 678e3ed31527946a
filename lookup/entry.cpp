// The entry handler: characters from the keyboard and the scanner become a
// code, Enter looks it up, and the result lands in checkState for the next
// paint. Everything here runs on the window's thread (the scanner's reader
// posts its bytes there), so no lock is needed.
#include "lookup/entry.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/decimal.h"
#include "base/text.h"
#include "lookup/entry_seam.h"
#include "lookup/in_store_codes.h"
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

// A record with a NaN or infinite price was damaged on the way from the back
// office; showing it would put "nan" on the screen and spoil the total.
bool recordPricesAreSound(const PriceRecord& record) {
    return std::isfinite(record.price) && std::isfinite(record.gross2) &&
           std::isfinite(record.net1) && std::isfinite(record.net2);
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

bool lookupFound(const char* code) {
    return lookupPriceRecord(code) >= 0;
}

// A weighed or priced label from the shop's own scales: look up the item
// code inside it and compute the price from the embedded number. `price`
// receives that price when the item is found.
bool lookupInStoreCode(const char* code, double& price) {
    const int kind = classifyInStoreCode(code);
    if (kind == PlainCode) return false;
    const InStoreParts parts = decodeInStoreCode(code);
    if (kind == WeightCode) {
        checkState.weight = parts.quantity / 1000;  // grams on the label
        if (!lookupFound(parts.itemCode)) return false;
        // The till charges whole grosze: 0.225 kg at 2.20 zł is 0.50.
        price = roundToGrosze(recordBuffer.price * checkState.weight);
        return true;
    }
    price = parts.quantity * 100;  // grosze on the label, money in 1/10000
    return lookupFound(parts.itemCode);
}

// The standalone lookup: the code as scanned, then with a leading zero (a
// UPC-A read as 12 digits is stored as its EAN-13; a 7-character item code
// as 8), then as an in-store code. A code found directly keeps its own
// price even when it looks like an in-store code.
void lookupInPriceFile(const char* code) {
    const size_t length = strnlen(code, sizeof checkState.code);
    bool found = lookupFound(code);
    double price = found ? recordBuffer.price : 0;
    if (!found && (length == 12 || length == 7)) {
        char withZero[sizeof checkState.code + 1];
        std::snprintf(withZero, sizeof withZero, "0%s", code);
        found = lookupFound(withZero);
        price = recordBuffer.price;
    }
    if (!found && length >= 12) found = lookupInStoreCode(code, price);

    if (found && recordPricesAreSound(recordBuffer) && std::isfinite(price) &&
        std::isfinite(checkState.total + price)) {
        showFound(recordBuffer, price);
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
