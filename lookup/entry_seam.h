// What the entry handler needs from the main window. The Windows build
// defines these on the main window; tests link fakes.
#pragma once

// Stops the idle timer named by idleTimer, if any, and starts a fresh
// one-shot 15-second timer whose id is kept in idleTimer.
void restartIdleTimer();

// Stops the idle timer, if one runs, and sets idleTimer to 0.
void stopIdleTimer();

// Asks for a repaint of the whole client area without erasing it first.
void requestRepaint();
