// What the configuration dialog needs from the window layer above it. The
// Windows build defines these beside the main window (ui/); the dialog's
// tests link the same definitions.
#pragma once

// True while a code's lookup has not ended: its "Uwaga" box is up and the
// dialog's OK or "Zakończ" would run inside it.
bool lookupInProgress();

// Stops the scanner's reader and, when settings.portName is not empty,
// starts a new one on that port at settings.baudRate. A port that will not
// open has been reported when this returns.
void restartScanner();
