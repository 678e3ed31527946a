// What the fuzz targets check, in one place. A failed check aborts, which
// libFuzzer reports with the input that broke it.
#pragma once

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "lookup/check_state.h"
#include "lookup/entry.h"
#include "lookup/price_file.h"
#include "settings/settings.h"
#include "ui/price_screen_layout.h"

inline void check(bool condition) {
    if (!condition) std::abort();
}

template <size_t N>
void checkTerminated(const char (&field)[N]) {
    check(std::memchr(field, 0, N) != nullptr);
}

template <size_t N>
std::string_view fieldText(const char (&field)[N]) {
    return std::string_view(field, strnlen(field, N));
}

// What a paint reads: every text ends within its field, no amount is NaN or
// infinite, and the entry position is one of the 16 places of the code.
inline void checkCheckState() {
    const CheckState& s = checkState;
    check(entryPos >= 0 && entryPos < 16);
    checkTerminated(s.code);
    checkTerminated(s.unit);
    checkTerminated(s.itemName);
    for (double value :
         {s.price, s.unitPrice, s.total, s.weight, s.net1, s.net2, s.gross1, s.gross2})
        check(std::isfinite(value));
}

// The screen for `state` in a window of `width` x `height`: at most 8
// lines, each ending within its field at its length and lying inside the
// window.
inline void checkLayout(const CheckState& state, int width, int height) {
    const ScreenLayout layout = layoutPriceScreen(state, settings, width, height);
    checkTerminated(layout.fontName);
    check(layout.count >= 1 && layout.count <= static_cast<int>(layout.texts.size()));
    for (int i = 0; i < layout.count; ++i) {
        const ScreenText& line = layout.texts[static_cast<size_t>(i)];
        check(line.length >= 0 && line.length < kScreenLineSize);
        check(line.text[line.length] == '\0');
        check(line.x >= 0 && line.x <= layout.width && line.y >= 0 && line.y <= layout.height);
    }
}

// The screen in a large, an empty and a tiny window.
inline void checkLayouts() {
    checkLayout(checkState, 1024, 768);
    checkLayout(checkState, 0, 0);
    checkLayout(checkState, 3, 9);
}

// The code an Enter looks up after `typed`: its first 13 characters, ended
// at the first one that is no ASCII letter or digit.
inline std::string codeLookedUp(std::string_view typed) {
    std::string code(typed.substr(0, kLookedUpCodeLength));
    size_t end = 0;
    while (end < code.size() && isAsciiDigitOrLetter(code[end])) ++end;
    code.resize(end);
    return code;
}

// What the entry handler must hold: the characters since the last Enter or
// the prompt, and what the lookups so far looked up.
struct ExpectedEntry {
    std::string typed;
    std::string lastCode;  // the code of the last lookup
    int lookups = 0;
};

// Follows one byte as the handler must take it: a character lands at the end
// of the code, and an Enter after 1 to 15 of them looks up what was typed.
// True when the byte starts a lookup.
inline bool expectByte(ExpectedEntry& entry, signed char byte) {
    const bool enter = byte == '\n' || byte == '\r';
    if (!enter) {
        if (entry.typed.size() == 16) entry.typed.clear();  // the position wrapped round
        entry.typed += static_cast<char>(byte);
        return false;
    }
    if (entry.typed.empty() || entry.typed.size() == 16) return false;
    entry.lastCode = codeLookedUp(entry.typed);
    entry.typed.clear();
    ++entry.lookups;
    return true;
}

// The handler after `byte`, the last byte it took, against what it must
// hold: no code is lost, and the code stays in its 16 places.
inline void checkEntry(const ExpectedEntry& entry, signed char byte, bool lookedUp) {
    checkCheckState();
    if (lookedUp) {
        check(checkState.resultShown == 1 && entryPos == 0);
        check(fieldText(checkState.code) == entry.lastCode);
    } else if (byte != '\n' && byte != '\r') {
        check(checkState.resultShown == 0);
        check(entryPos == static_cast<int32_t>(entry.typed.size() % 16));
        check(fieldText(checkState.code) == std::string_view(entry.typed.c_str()));
    }
}

// Hands one byte to the entry handler and checks it. True when it ran a
// lookup.
inline bool typeByte(ExpectedEntry& entry, signed char byte) {
    const bool looksUp = expectByte(entry, byte);
    check(handleEntryChar(byte) == 0);
    checkEntry(entry, byte, looksUp);
    return looksUp;
}

// Whether the screen shows `record` as a lookup of `code` finds it: as
// scanned or with a zero in front at its own price, or as the item code of an
// in-store code at the price the code carries.
inline bool showsRecord(const PriceRecord& record, const std::string& code) {
    const CheckState& s = checkState;
    const std::string_view recordCode = fieldText(record.code);
    const bool asScanned = recordCode == code || recordCode == "0" + code;
    const size_t itemLength = settings.shortItemCode != 0 ? 6 : 7;
    const bool inStore = code.size() >= 12 && recordCode == code.substr(0, itemLength);
    return (inStore || (asScanned && s.price == record.price)) &&
           fieldText(s.itemName) == fieldText(record.name) && s.gross1 == record.price &&
           s.unitPrice == record.price && s.gross2 == record.gross2 && s.net1 == record.net1 &&
           s.net2 == record.net2 &&
           fieldText(s.unit) == fieldText(record.unit).substr(0, kUnitShownLength);
}

// After a lookup of `code` in the price file `records`: the screen shows a
// record of the file with that code, its price added to the total, or
// "Towar nieznany" with no prices and the total as it was.
inline void checkShownFromFile(const std::string& code, const std::vector<PriceRecord>& records,
                               double totalBefore) {
    const CheckState& s = checkState;
    if (fieldText(s.itemName) == kUnknownItemText) {
        for (double value : {s.price, s.unitPrice, s.net1, s.net2, s.gross1, s.gross2})
            check(value == 0);
        check(s.total == totalBefore);
        return;
    }
    bool shown = false;
    for (const PriceRecord& record : records) shown = shown || showsRecord(record, code);
    check(shown && s.total == totalBefore + s.price);
}
