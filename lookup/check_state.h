// What the price screen shows: one record, filled by the entry handler's
// lookups (price file or checker server) and read by every paint.
#pragma once

#include <cstddef>
#include <cstdint>

struct CheckState {
    char code[17];       // the code being typed, or the code of the result
    char unit[6];        // unit of measure of the found item
    char itemName[257];  // name (Mazovia) or a message (Windows-1250)
    double price;        // money fields are in 1/10000 of the currency unit
    double unitPrice;
    double total;   // sum of the prices shown since the last clear
    double weight;  // kilograms from a weight code; 0 when none
    double net1;
    double net2;
    double gross1;
    double gross2;
    int32_t resultShown;  // 0: prompt face; 1: result face
};

extern CheckState checkState;

// An EAN-13 is the longest real code: a typed code is cut to this many
// characters before it is looked up or sent to the checker server.
inline constexpr size_t kLookedUpCodeLength = 13;
// The unit of measure shows at most this many characters.
inline constexpr size_t kUnitShownLength = 5;

inline constexpr const char* kUnknownItemText = "Towar nieznany";

// Sets every field of checkState to zero.
void clearCheckState();

// Sets every price the screen can show to 0; the running total is not one
// of them.
void zeroShownPrices();

// Shows `text` (Windows-1250) where the name goes, with every price at 0;
// the running total stays. For "Towar nieznany" and the server error.
void showTextWithoutPrices(const char* text);
