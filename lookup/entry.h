// The entry handler: characters typed on the keyboard or sent by the scanner
// become a code, Enter looks it up, and the result lands in checkState for
// the next paint. Everything here runs on the window's thread (the scanner's
// reader posts its bytes there).
#pragma once

#include <cstdint>

#include "lookup/check_state.h"

extern int32_t entryPos;     // where the next character goes, 0..15
extern uintptr_t idleTimer;  // id of the running idle timer, 0 when none

inline constexpr unsigned kIdleTimeoutMs = 15000;

// Takes one character, as a signed byte. Line feed and carriage return are
// Enter. Always returns 0.
int handleEntryChar(signed char ch);

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

// The idle timer ran out: back to the prompt, the running total included.
// Entry restarts at position 0 so that a code abandoned halfway does not
// spoil the next customer's scan. Stops the timer and asks for a repaint.
void expireIdleTimer();
