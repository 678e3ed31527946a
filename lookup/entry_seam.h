// What the entry handler needs from the main window. The Windows build
// defines these on the main window; tests link fakes.
#pragma once

// Starts the one-shot 15-second idle timer, or starts a running one's 15
// seconds again; its id is kept in idleTimer.
void restartIdleTimer();

// Stops the idle timer, if one runs, and sets idleTimer to 0.
void stopIdleTimer();

// Asks for a repaint of the whole client area without erasing it first.
void requestRepaint();
