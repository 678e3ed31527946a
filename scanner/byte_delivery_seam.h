// What the scanner reader needs from the main window: a way to hand over a
// received byte without waiting. The Windows build posts it to the main
// window, whose thread runs the entry handler; tests record it.
#pragma once

void deliverScannerByte(signed char byte);
