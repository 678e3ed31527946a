// The one settings record of the program, stored byte for byte as setup.dat
// in the working directory. The layout is fixed: shops upgrade the program
// and keep their file, so every offset is checked at compile time.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "setup.dat and PRCHK.DAT hold little-endian numbers");

inline constexpr int kPrefixSlots = 3;
inline constexpr int kPrefixSlotSize = 3;  // two characters and a zero byte

struct Settings {
    char portName[44];        // scanner's serial port; empty: no scanner
    int32_t baudRate;         // scanner line speed; <= 0 opens at 57600
    char priceFilePath[196];  // where PRCHK.DAT lives
    int32_t shortItemCode;    // 0: 7-character item code in shelf codes; 1: 6
    char valuePrefixes[kPrefixSlots][kPrefixSlotSize];   // codes carrying a value
    char weightPrefixes[kPrefixSlots][kPrefixSlotSize];  // codes carrying a weight
    char reserved[2];
    int32_t showNet1;
    int32_t showNet2;
    int32_t showGross1;
    int32_t showGross2;
    int32_t standaloneMode;   // 1: price file; 0: ask the checker server
    char serverAddress[104];  // host name or dotted IPv4 address
    int32_t fullScreen;
    char fontName[104];  // face of both screen fonts
};

static_assert(sizeof(Settings) == 500);
static_assert(offsetof(Settings, portName) == 0);
static_assert(offsetof(Settings, baudRate) == 44);
static_assert(offsetof(Settings, priceFilePath) == 48);
static_assert(offsetof(Settings, shortItemCode) == 244);
static_assert(offsetof(Settings, valuePrefixes) == 248);
static_assert(offsetof(Settings, weightPrefixes) == 257);
static_assert(offsetof(Settings, reserved) == 266);
static_assert(offsetof(Settings, showNet1) == 268);
static_assert(offsetof(Settings, showNet2) == 272);
static_assert(offsetof(Settings, showGross1) == 276);
static_assert(offsetof(Settings, showGross2) == 280);
static_assert(offsetof(Settings, standaloneMode) == 284);
static_assert(offsetof(Settings, serverAddress) == 288);
static_assert(offsetof(Settings, fullScreen) == 392);
static_assert(offsetof(Settings, fontName) == 396);

// The settings of this run. Written only on the window's thread.
extern Settings settings;

// Ends every text field of `s` with a zero at its last byte, whatever the
// file it came from says: a record from an old version, a hand edit or a
// broken disk must never leave a path, an address or a prefix unterminated.
void terminateTextFields(Settings& s);

inline constexpr const char* kSettingsFileName = "setup.dat";
inline constexpr const char* kDefaultPriceFilePath = "C:\\QXR\\!!u$unac\\PRCHK.DAT";

// The most characters the dialog and the settings tool put into each text
// field; the rest of a field stays zero.
inline constexpr int kPortNameLimit = 39;
inline constexpr int kPriceFilePathLimit = 194;
inline constexpr int kFontNameLimit = 99;
inline constexpr int kServerAddressLimit = 99;
static_assert(kPortNameLimit < static_cast<int>(sizeof(Settings::portName)));
static_assert(kPriceFilePathLimit < static_cast<int>(sizeof(Settings::priceFilePath)));
static_assert(kFontNameLimit < static_cast<int>(sizeof(Settings::fontName)));
static_assert(kServerAddressLimit < static_cast<int>(sizeof(Settings::serverAddress)));

// Fills `settings` from setup.dat, or makes and saves the defaults when the
// file is missing or shorter than a record; then, in standalone mode, warns
// when the price file is missing. A setup.dat that is there but cannot be
// read (held by a virus scanner or a backup) is tried for a second; if it
// stays unreadable the defaults run in memory and are never saved over it
// until a later load reads it or the user saves.
void loadSettings();

// The configuration dialog's start: fills `settings` from setup.dat as
// loadSettings does, except that a setup.dat that is there but cannot be
// read leaves `settings` as they are, the ones the checker runs on, and says
// so in an "Uwaga" box; the dialog then shows those.
void loadSettingsForDialog();

// Writes `settings` over setup.dat in one step, so a failed save leaves the
// old file whole; does nothing while setup.dat could not be read. A failure
// is silent: this is the save at start and at exit.
void saveSettings();

// Settings the user has just changed (the dialog's OK): written even over a
// setup.dat that could not be read. A replace another program refuses is
// tried for about a second; if it still fails an "Uwaga" box says the
// changes work only until the program ends.
void saveUserSettings();

// "Max ekran": full screen from the next start on. While the checker runs on
// defaults because setup.dat could not be read, only the full-screen field of
// the record on disk is changed, so the shop's other settings stay; if the
// file still cannot be read nothing is written and full screen holds for
// this run. A save that fails is reported as for saveUserSettings.
void saveFullScreenSetting();

// The record as a program other than the checker sees it (the settings
// tool): setup.dat of the working folder read into `record`, tried for a
// second while it is held; its text fields end with a zero as the
// checker's do. Returns the bytes read (fewer than a record for a short
// file), kSettingsFileMissing or kSettingsFileUnreadable.
long readSettingsRecord(Settings& record);

// The defaults a checker writes where it finds no setup.dat.
void makeDefaultSettingsRecord(Settings& record);

// Replaces setup.dat of the working folder with `record` in one step, tried
// for about a second while another program refuses it. No box: false, with
// the system's error number in settingsSaveError(), when it stays refused;
// setup.dat is then as it was.
bool storeSettingsRecord(const Settings& record);
unsigned long settingsSaveError();

// Writes the dotted text of the local host's first IPv4 address into `out`
// (256 bytes, zeroed by the caller). Returns 1, 0 when the host has no
// address, -1 when the network library or the name lookup fails.
int findLocalAddress(char* out);
