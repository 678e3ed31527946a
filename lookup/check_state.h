// What the price screen shows, and the entry handler that fills it from the
// characters typed on the keyboard or sent by the scanner.
#pragma once

#include <cstdint>

struct CheckState {
    char code[17];        // the code being typed, or the code of the result
    char unit[6];         // unit of measure of the found item
    char itemName[257];   // name (Mazovia) or a message (Windows-1250)
    double price;         // money fields are in 1/10000 of the currency unit
    double unitPrice;
    double total;         // sum of the prices shown since the last clear
    double weight;        // kilograms from a weight code; 0 when none
    double net1;
    double net2;
    double gross1;
    double gross2;
    int32_t resultShown;  // 0: prompt face; 1: result face
};

extern CheckState checkState;
extern int32_t entryPos;      // where the next character goes, 0..15
extern uintptr_t idleTimer;   // id of the running idle timer, 0 when none

inline constexpr unsigned kIdleTimeoutMs = 15000;
inline constexpr const char* kUnknownItemText = "Towar nieznany";

// Takes one character, as a signed byte. Line feed and carriage return are
// Enter. Always returns 0.
int handleEntryChar(signed char ch);

// Shows `text` (Windows-1250) where the name goes, with every price at 0;
// the running total stays. For "Towar nieznany" and the server error.
void showTextWithoutPrices(const char* text);

// How the window hands over every typed or scanned character: straight to
// handleEntryChar, or, when a lookup is still running further down the
// stack (a message box's loop delivered the character), kept in order and
// handled right after that lookup. Returns 0.
int feedEntryChar(signed char ch);

// True while a character fed through feedEntryChar is being handled.
bool entryHandlerBusy();

// What a paint draws: checkState, or while a lookup is still running (its
// box is up) the screen as it was at that lookup's Enter.
const CheckState& checkStateToPaint();

// Sets every field of checkState to zero.
void clearCheckState();

// The idle timer ran out: back to the prompt, the running total included.
// Entry restarts at position 0 so that a code abandoned halfway does not
// spoil the next customer's scan. Stops the timer and asks for a repaint.
void expireIdleTimer();
