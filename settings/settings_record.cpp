// The settings record of this run, in a file of its own: the in-store code
// rules read it, and a program that only reads setup.dat (the checker
// server) links it without the checker's saving and its boxes.
#include "settings/settings.h"

Settings settings;

// The file may come from anywhere (an old version, a hand edit, a broken
// disk): every text field ends with a zero at its last byte whatever the
// file says, so the path, the font and the address are always terminated.
void terminateTextFields(Settings& s) {
    s.portName[sizeof s.portName - 1] = '\0';
    s.priceFilePath[sizeof s.priceFilePath - 1] = '\0';
    s.serverAddress[sizeof s.serverAddress - 1] = '\0';
    s.fontName[sizeof s.fontName - 1] = '\0';
    for (int slot = 0; slot < kPrefixSlots; ++slot) {
        s.valuePrefixes[slot][kPrefixSlotSize - 1] = '\0';
        s.weightPrefixes[slot][kPrefixSlotSize - 1] = '\0';
    }
}
