#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "settings/running_checker.h"
#include "settings/settings.h"
#include "tests/support/fakes.h"
#include "tests/support/price_file_builder.h"

namespace {

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string bytesOf(const Settings& s) {
    return std::string(reinterpret_cast<const char*>(&s), sizeof s);
}

// Every test works in its own empty working folder.
class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        resetFakeWindow();
        std::memset(&settings, 0x5A, sizeof settings);
    }
    TempFolder folder{true};
};

Settings sampleSettings() {
    Settings s;
    std::memset(&s, 0, sizeof s);
    std::strcpy(s.portName, "COM3");
    s.baudRate = 19200;
    std::strcpy(s.priceFilePath, "D:\\Ceny\\PRCHK.DAT");
    s.shortItemCode = 1;
    std::strcpy(s.valuePrefixes[0], "22");
    std::strcpy(s.weightPrefixes[2], "21");
    s.showNet2 = 1;
    s.standaloneMode = 0;
    std::strcpy(s.serverAddress, "kasa1.sklep");
    s.fullScreen = 1;
    std::strcpy(s.fontName, "Tahoma");
    return s;
}

void expectDefaults(const Settings& s) {
    EXPECT_STREQ(s.portName, "COM1");
    EXPECT_EQ(s.baudRate, 9600);
    EXPECT_STREQ(s.priceFilePath, "C:\\QXR\\!!u$unac\\PRCHK.DAT");
    EXPECT_EQ(s.shortItemCode, 0);
    EXPECT_EQ(s.standaloneMode, 0);
    EXPECT_EQ(s.fullScreen, 0);
    EXPECT_STREQ(s.fontName, "Arial CE");
    for (int slot = 0; slot < kPrefixSlots; ++slot) {
        EXPECT_EQ(s.valuePrefixes[slot][0], '\0');
        EXPECT_EQ(s.weightPrefixes[slot][0], '\0');
    }
    EXPECT_EQ(s.reserved[0], '\0');
    EXPECT_EQ(s.reserved[1], '\0');
    EXPECT_EQ(s.showNet1 | s.showNet2 | s.showGross1 | s.showGross2, 0);
    // The local host's address, or the loopback address when there is none.
    ASSERT_NE(std::memchr(s.serverAddress, 0, sizeof s.serverAddress), nullptr);
    if (s.serverAddress[0] != '\0') {
        in_addr parsed;
        EXPECT_EQ(inet_pton(AF_INET, s.serverAddress, &parsed), 1) << s.serverAddress;
    }
}

TEST_F(SettingsFile, MissingFileGivesServerModeDefaultsWrittenAtOnce) {
    loadSettings();
    expectDefaults(settings);
    EXPECT_EQ(readWholeFile("setup.dat"), bytesOf(settings));
    EXPECT_TRUE(fakeWindow.warnings.empty());  // server mode needs no price file
}

TEST_F(SettingsFile, ShortOrEmptyFileIsReplacedByDefaults) {
    for (size_t length : {0, 1, 499}) {
        ASSERT_TRUE(writeBytes("setup.dat", std::string(length, '\x01')));
        loadSettings();
        expectDefaults(settings);
        EXPECT_EQ(readWholeFile("setup.dat").size(), 500u) << length;
    }
}

TEST_F(SettingsFile, SavedSettingsComeBackByteForByte) {
    settings = sampleSettings();
    saveSettings();
    EXPECT_EQ(readWholeFile("setup.dat").size(), 500u);
    std::memset(&settings, 0, sizeof settings);
    loadSettings();
    EXPECT_EQ(bytesOf(settings), bytesOf(sampleSettings()));
}

TEST_F(SettingsFile, LongerFileUsesItsFirst500BytesAndIsRewrittenAs500) {
    const Settings sample = sampleSettings();
    ASSERT_TRUE(writeBytes("setup.dat", bytesOf(sample) + std::string(100, 'x')));
    loadSettings();
    EXPECT_EQ(bytesOf(settings), bytesOf(sample));
    EXPECT_EQ(readWholeFile("setup.dat").size(), 600u);  // untouched until saved
    saveSettings();
    EXPECT_EQ(readWholeFile("setup.dat"), bytesOf(sample));
}

TEST_F(SettingsFile, TextFieldsWithoutZeroAreCutAtTheirLastByte) {
    ASSERT_TRUE(writeBytes("setup.dat", std::string(500, 'A')));
    loadSettings();
    EXPECT_EQ(std::strlen(settings.portName), sizeof settings.portName - 1);
    EXPECT_EQ(std::strlen(settings.priceFilePath), sizeof settings.priceFilePath - 1);
    EXPECT_EQ(std::strlen(settings.serverAddress), sizeof settings.serverAddress - 1);
    EXPECT_EQ(std::strlen(settings.fontName), sizeof settings.fontName - 1);
    for (int slot = 0; slot < kPrefixSlots; ++slot) {
        EXPECT_STREQ(settings.valuePrefixes[slot], "AA");
        EXPECT_STREQ(settings.weightPrefixes[slot], "AA");
    }
    // Numbers are taken as they stand, however odd.
    EXPECT_EQ(settings.baudRate, 0x41414141);
    EXPECT_EQ(settings.standaloneMode, 0x41414141);
    EXPECT_TRUE(fakeWindow.warnings.empty());  // only mode 1 is standalone for the warning
}

TEST_F(SettingsFile, StandaloneModeWarnsAboutAMissingPriceFileByItsPath) {
    Settings s = sampleSettings();
    s.standaloneMode = 1;
    std::strcpy(s.priceFilePath, "brak/PRCHK.DAT");
    ASSERT_TRUE(writeBytes("setup.dat", bytesOf(s)));
    loadSettings();
    ASSERT_EQ(fakeWindow.warnings.size(), 1u);
    EXPECT_EQ(fakeWindow.warnings[0], "Brak pliku: brak/PRCHK.DAT");
}

TEST_F(SettingsFile, PresentPriceFileOrServerModeGivesNoWarning) {
    ASSERT_TRUE(writeBytes("PRCHK.DAT", ""));
    Settings s = sampleSettings();
    s.standaloneMode = 1;
    std::strcpy(s.priceFilePath, "PRCHK.DAT");
    ASSERT_TRUE(writeBytes("setup.dat", bytesOf(s)));
    loadSettings();
    EXPECT_TRUE(fakeWindow.warnings.empty());

    s.standaloneMode = 0;
    std::strcpy(s.priceFilePath, "brak.dat");
    ASSERT_TRUE(writeBytes("setup.dat", bytesOf(s)));
    loadSettings();
    EXPECT_TRUE(fakeWindow.warnings.empty());
}

TEST_F(SettingsFile, AFolderIsNoPriceFile) {
    std::filesystem::create_directory("ceny");
    Settings s = sampleSettings();
    s.standaloneMode = 1;
    std::strcpy(s.priceFilePath, "ceny");
    ASSERT_TRUE(writeBytes("setup.dat", bytesOf(s)));
    loadSettings();
    EXPECT_EQ(fakeWindow.warnings.size(), 1u);
}

TEST_F(SettingsFile, UnterminatedPathInStandaloneModeIsWarnedAboutCut) {
    Settings s = sampleSettings();
    s.standaloneMode = 1;
    std::memset(s.priceFilePath, 'p', sizeof s.priceFilePath);
    ASSERT_TRUE(writeBytes("setup.dat", bytesOf(s)));
    loadSettings();
    ASSERT_EQ(fakeWindow.warnings.size(), 1u);
    EXPECT_EQ(fakeWindow.warnings[0], "Brak pliku: " + std::string(195, 'p'));
}

// A save that dies on the way (a disk error, a full disk, the move refused)
// leaves the shop's setup.dat byte for byte, or no file where there was
// none, and never a half-written setup.dat.new.
TEST_F(SettingsFile, FailedSaveLeavesTheOldFileAndNoTemporaryFile) {
    const std::string shop = bytesOf(sampleSettings());
    const FakeFiles faults[] = {
        {.writeFailsAfter = 0},
        {.writeFailsAfter = 200},
        {.flushFails = true},
        {.failingMoves = 1},
    };
    for (bool existed : {true, false}) {
        for (size_t i = 0; i < std::size(faults); ++i) {
            std::filesystem::remove("setup.dat");
            if (existed) {
                ASSERT_TRUE(writeBytes("setup.dat", shop));
            }
            fakeFiles = faults[i];
            std::memset(&settings, 0x33, sizeof settings);
            saveSettings();
            EXPECT_EQ(std::filesystem::exists("setup.dat"), existed) << i;
            if (existed) {
                EXPECT_EQ(readWholeFile("setup.dat"), shop) << i;
            }
            EXPECT_FALSE(std::filesystem::exists("setup.dat.new")) << i;
        }
    }
    // Once the disk works again, the same save creates the missing file.
    fakeFiles = FakeFiles{};
    saveSettings();
    EXPECT_EQ(readWholeFile("setup.dat"), bytesOf(settings));
    EXPECT_FALSE(std::filesystem::exists("setup.dat.new"));
}

// A virus scanner or a backup holding setup.dat at start: it is waited for;
// if it stays held the defaults run in memory, and neither the load nor the
// save at exit touches the shop's file. A later load that reads the file
// ends that care.
TEST_F(SettingsFile, HeldFileIsWaitedForAndNeverOverwrittenByDefaults) {
    const std::string shop = bytesOf(sampleSettings());
    ASSERT_TRUE(writeBytes("setup.dat", shop));
    fakeFiles.unreadableReads = 3;
    loadSettings();
    EXPECT_EQ(bytesOf(settings), shop);
    EXPECT_GT(fakeFiles.pausedMs, 0);

    resetFakeWindow();
    fakeFiles.unreadableReads = 1000;
    loadSettings();
    expectDefaults(settings);
    EXPECT_GE(fakeFiles.pausedMs, 900);  // about a second of tries
    EXPECT_LE(fakeFiles.pausedMs, 1100);
    saveSettings();  // as at exit
    EXPECT_EQ(readWholeFile("setup.dat"), shop);

    fakeFiles.unreadableReads = 0;
    loadSettings();  // the dialog opens after the scanner let go
    EXPECT_EQ(bytesOf(settings), shop);
    settings.baudRate = 2400;
    saveSettings();
    EXPECT_EQ(readWholeFile("setup.dat"), bytesOf(settings));
}

// "Max ekran" while the checker runs on defaults because setup.dat was held
// at start: the record on disk gets full screen and keeps COM3, standalone
// mode and its server; memory runs on as it is. Still held: nothing written.
TEST_F(SettingsFile, FullScreenOverAHeldStartChangesOnlyThatField) {
    Settings shop = sampleSettings();
    shop.fullScreen = 0;
    shop.standaloneMode = 1;
    ASSERT_TRUE(writeBytes("setup.dat", bytesOf(shop)));
    fakeFiles.unreadableReads = 1000;
    loadSettings();
    const std::string defaults = bytesOf(settings);

    settings.fullScreen = 1;
    saveFullScreenSetting();  // held still
    EXPECT_EQ(readWholeFile("setup.dat"), bytesOf(shop));
    ASSERT_EQ(fakeWindow.warnings.size(), 1u);
    EXPECT_EQ(fakeWindow.warnings[0],
              "Nie mo\xBFna zapisa\xE6 ustawie\xF1 w pliku setup.dat (b\xB3\xB9"
              "d 32). Zmiany dzia\xB3"
              "aj\xB9 do zamkni\xEA"
              "cia programu.");

    fakeFiles.unreadableReads = 0;
    saveFullScreenSetting();
    shop.fullScreen = 1;
    EXPECT_EQ(readWholeFile("setup.dat"), bytesOf(shop));
    Settings expected;
    std::memcpy(&expected, defaults.data(), sizeof expected);
    expected.fullScreen = 1;
    EXPECT_EQ(bytesOf(settings), bytesOf(expected));
    saveSettings();  // at exit: memory still holds defaults, the file stays
    EXPECT_EQ(readWholeFile("setup.dat"), bytesOf(shop));
}

// The dialog opened while setup.dat is held shows what the checker runs on
// and says why, instead of defaults that OK would save over the shop's file.
// A missing file still gives the defaults.
TEST_F(SettingsFile, DialogOverAHeldFileShowsTheSettingsInMemory) {
    ASSERT_TRUE(writeBytes("setup.dat", bytesOf(sampleSettings())));
    settings = sampleSettings();
    settings.baudRate = 4800;  // changed in memory since the start
    fakeFiles.unreadableReads = 1000;
    fakeFiles.error = 33;
    loadSettingsForDialog();
    EXPECT_EQ(settings.baudRate, 4800);
    EXPECT_STREQ(settings.serverAddress, "kasa1.sklep");
    ASSERT_EQ(fakeWindow.warnings.size(), 1u);
    EXPECT_EQ(fakeWindow.warnings[0],
              "Nie mo\xBFna odczyta\xE6 pliku setup.dat (b\xB3\xB9"
              "d 33). Okno pokazuje ustawienia, z kt\xF3rymi program dzia\xB3"
              "a.");

    fakeFiles.unreadableReads = 0;
    std::filesystem::remove("setup.dat");
    loadSettingsForDialog();
    expectDefaults(settings);
    EXPECT_EQ(readWholeFile("setup.dat"), bytesOf(settings));
}

// The user's OK outwaits a file held for a moment; one refused for good is
// reported, and the changes work in memory until the program ends.
TEST_F(SettingsFile, UserSaveIsRetriedAndAFinalRefusalIsReported) {
    ASSERT_TRUE(writeBytes("setup.dat", bytesOf(sampleSettings())));
    settings = sampleSettings();
    settings.baudRate = 2400;
    fakeFiles.failingMoves = 5;
    saveUserSettings();
    EXPECT_EQ(readWholeFile("setup.dat"), bytesOf(settings));
    EXPECT_TRUE(fakeWindow.warnings.empty());

    settings.baudRate = 1200;
    fakeFiles.failingMoves = 1000;
    fakeFiles.pausedMs = 0;
    saveUserSettings();
    EXPECT_EQ(settings.baudRate, 1200);
    EXPECT_NE(readWholeFile("setup.dat"), bytesOf(settings));
    EXPECT_FALSE(std::filesystem::exists("setup.dat.new"));
    EXPECT_GE(fakeFiles.pausedMs, 900);
    ASSERT_EQ(fakeWindow.warnings.size(), 1u);
    EXPECT_NE(fakeWindow.warnings[0].find("setup.dat (b\xB3\xB9"
                                          "d 32)"),
              std::string::npos);
}

// Lowers the process's file-size limit, as a full disk cuts a write short;
// the write then fails with EFBIG instead of the signal ending the test.
struct FileSizeLimit {
    rlimit previous{};
    void (*previousHandler)(int) = SIG_DFL;
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &previous);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = previous;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
};

TEST_F(SettingsFile, RealWriteCutShortLeavesTheOldFile) {
    const std::string shop = bytesOf(sampleSettings());
    ASSERT_TRUE(writeBytes("setup.dat", shop));
    std::memset(&settings, 0x33, sizeof settings);
    {
        FileSizeLimit limit(100);
        saveSettings();
    }
    EXPECT_EQ(readWholeFile("setup.dat"), shop);
    EXPECT_FALSE(std::filesystem::exists("setup.dat.new"));
}

// One checker per folder: the names are the same for every spelling of one
// folder that Windows gives after upper-casing it, and differ between folders.
TEST(RunningChecker, NamesAreTheFolders) {
    const RunningCheckerNames shop = runningCheckerNames(u"C:\\PROGRAMDATA\\LUMIVO");
    EXPECT_EQ(shop.mutex.rfind(u"Global\\lumivo-checker-", 0), 0u);
    EXPECT_EQ(shop.endEvent.rfind(u"Global\\lumivo-end-", 0), 0u);
    // The kiosk's watchdog of the folder: the same key under its own names.
    const std::u16string key = shop.mutex.substr(shop.mutex.size() - 16);
    EXPECT_EQ(shop.watchdogMutex, u"Global\\lumivo-watchdog-" + key);
    EXPECT_EQ(shop.watchdogEndEvent, u"Global\\lumivo-watchdog-end-" + key);
    EXPECT_EQ(shop.mutex.size(), std::u16string(u"Global\\lumivo-checker-").size() + 16);
    EXPECT_EQ(shop.mutex.find(u'\\', 7), std::u16string::npos);  // no "\" past Global
    EXPECT_EQ(runningCheckerNames(u"C:\\PROGRAMDATA\\LUMIVO\\").mutex, shop.mutex);
    EXPECT_EQ(runningCheckerNames(u"C:/PROGRAMDATA/LUMIVO").mutex, shop.mutex);
    EXPECT_NE(runningCheckerNames(u"C:\\PROGRAMDATA\\LUMIVO2").mutex, shop.mutex);
    EXPECT_NE(runningCheckerNames(u"C:\\\u0141\u00D3D\u0179").mutex, shop.mutex);
    EXPECT_EQ(runningCheckerNames(u"C:\\").mutex, runningCheckerNames(u"C:\\\\").mutex);
    EXPECT_NE(runningCheckerNames(u"C:\\").mutex, runningCheckerNames(u"C:").mutex);
}

TEST(RunningChecker, PublishedProcessWindowAndSessionReadBack) {
    const RunningChecker checker{4242, 0x1A02B4, 2};
    RunningChecker read;
    ASSERT_TRUE(parseRunningChecker(formatRunningChecker(checker), &read));
    EXPECT_EQ(read.processId, 4242u);
    EXPECT_EQ(read.window, 0x1A02B4u);
    EXPECT_EQ(read.session, 2u);
    EXPECT_TRUE(parseRunningChecker("pid=7\n", &read));  // still starting: no window yet
    EXPECT_EQ(read.window, 0u);
    EXPECT_FALSE(parseRunningChecker("", &read));
    EXPECT_FALSE(parseRunningChecker("window=0x10\r\npid=\r\n", &read));
    EXPECT_FALSE(parseRunningChecker("pid=0\r\n", &read));
}

TEST(LocalAddress, GivesDottedIpv4TextOrReportsWhyNot) {
    char out[256] = {};
    const int count = findLocalAddress(out);
    ASSERT_GE(count, -1);
    ASSERT_LE(count, 1);
    if (count == 1) {
        in_addr parsed;
        EXPECT_EQ(inet_pton(AF_INET, out, &parsed), 1) << out;
    } else {
        EXPECT_STREQ(out, "");
    }
}

}  // namespace
