// The settings tool's modes natively: its switches, setup.dat written with
// the checker's own code, the checks of a price file and of a server, and
// the watchdog's restarts, over a fake of the platform that records lines
// and plays the folder's checker and the programs the watchdog starts.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "setuptool/setup_tool.h"
#include "setuptool/setup_tool_seam.h"
#include "tests/support/checker_exchange.h"
#include "tests/support/fakes.h"
#include "tests/support/loopback_server.h"
#include "tests/support/price_file_builder.h"
#include "tests/support/temp_folder.h"

namespace {

struct FakeTool {
    std::vector<std::string> said, complained;
    bool checkerRuns = false;
    bool watchdogFree = true;
    StopOutcome stop;
    std::deque<std::pair<ProgramRun, uint64_t>> runs;  // each with how long it ran
    std::vector<int> pausesMs;
    size_t endAfterPauses = 100;  // the watchdog is asked to end in this pause
    uint64_t clockMs = 0;

    std::string all() const {
        std::string text;
        for (const auto& line : said) text += line + "\n";
        for (const auto& line : complained) text += "! " + line + "\n";
        return text;
    }
};

FakeTool fake;

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Settings recordOf(const std::string& bytes) {
    Settings record;
    std::memcpy(&record, bytes.data(), sizeof record);
    return record;
}

int tool(std::vector<std::u16string> args) {
    return setupToolMain(args);
}

class SetupTool : public testing::Test {
protected:
    void SetUp() override {
        fake = FakeTool{};
        resetFakeWindow();
    }
    TempFolder folder{true};
};

}  // namespace

void toolSay(std::string_view line) {
    fake.said.emplace_back(line);
}
void toolComplain(std::string_view line) {
    fake.complained.emplace_back(line);
}
bool toolStartLog(std::u16string_view) {
    return true;
}
bool toolEnterFolder(std::u16string_view folder) {
    std::error_code error;
    std::filesystem::current_path(std::filesystem::path(std::u16string(folder)), error);
    return !error;
}
std::string toolFolderName() {
    return std::filesystem::current_path().string();
}
long toolReadFile(std::u16string_view path, void* buffer, size_t capacity) {
    std::ifstream in(std::filesystem::path(std::u16string(path)), std::ios::binary);
    if (!in) return -1;
    in.read(static_cast<char*>(buffer), static_cast<std::streamsize>(capacity));
    return static_cast<long>(in.gcount());
}
bool toolCheckerRuns() {
    return fake.checkerRuns;
}
StopOutcome toolStopChecker() {
    return fake.stop;
}
bool toolClaimWatchdog() {
    return fake.watchdogFree;
}
ProgramRun toolRunProgram(std::u16string_view) {
    if (fake.runs.empty()) return ProgramRun{true, 0, 0, true};  // asked to end
    const auto [run, lasted] = fake.runs.front();
    fake.runs.pop_front();
    fake.clockMs += lasted;
    return run;
}
bool toolPauseOrEnd(int milliseconds) {
    fake.pausesMs.push_back(milliseconds);
    fake.clockMs += static_cast<uint64_t>(milliseconds);
    return fake.pausesMs.size() >= fake.endAfterPauses;
}
uint64_t toolClockMs() {
    return fake.clockMs;
}

// --- the switches -------------------------------------------------------------

// Each is refused with exit code 2 before anything is read or written.
TEST_F(SetupTool, WrongUseIsRefusedBeforeAnyFileIsTouched) {
    const std::vector<std::vector<std::u16string>> wrong = {
        {},
        {u"sett"},
        {u"set", u"/SERVER=10.0.0.5", u"/STANDALONE=C:\\Ceny\\PRCHK.DAT"},
        {u"set"},
        {u"set", u"/FOLDER=C:\\x"},
        {u"set", u"/SEVRER=10.0.0.5"},
        {u"set", u"/PORT=COM1", u"/PORT=COM2"},
        {u"set", u"/CODE=123"},
        {u"check", u"/PORT=COM1"},
        {u"set", u"PORT=COM1"},
        {u"set", u"/BAUD=96OO"},
        {u"set", u"/BAUD=99999999999"},
        {u"set", u"/FULLSCREEN=2"},
        {u"set", u"/SERVER=3kasa"},
        {u"set", u"/SERVER=kasa 1"},
        {u"set", u"/SERVER="},
        {u"set", u"/STANDALONE="},
        {u"set", u"/STANDALONE=C:\\Ceny\u2713\\PRCHK.DAT"},
        {u"set", u"/PORT=" + std::u16string(40, u'C')},
        {u"set", u"/WEIGHT=2"},
        {u"set", u"/WEIGHT=21,27,28,29"},
        {u"set", u"/VALUE=22,"},
        {u"set", u"/ITEMCODE=5"},
        {u"check", u"/CODE=12345678901234"},
        {u"check", u"/CODE=12-34"},
        {u"run", u"/PROGRAM="},
    };
    for (const auto& args : wrong) {
        fake = FakeTool{};
        EXPECT_EQ(tool(args), kToolWrongUse) << (args.empty() ? "" : fake.all());
        EXPECT_FALSE(fake.complained.empty());
    }
    EXPECT_FALSE(std::filesystem::exists("setup.dat"));
}

TEST_F(SetupTool, SwitchesTakeAnyCaseAndPolishLetters) {
    ToolRequest request;
    std::string problem;
    ASSERT_EQ(parseToolArguments({u"SET", u"/standalone=C:\\Łódź\\PRCHK.DAT", u"/Port=",
                                  u"/baud=19200", u"/FullScreen=1"},
                                 request, problem),
              kToolDone)
        << problem;
    EXPECT_EQ(request.mode, ToolMode::Set);
    EXPECT_EQ(*request.priceFile,
              "C:\\\xA3\xF3"
              "d\x9F\\PRCHK.DAT");  // Windows-1250
    EXPECT_EQ(*request.port, "");
    EXPECT_EQ(*request.baudRate, 19200);
    EXPECT_EQ(*request.fullScreen, 1);
    EXPECT_FALSE(request.server);
    ASSERT_EQ(parseToolArguments({u"check", u"/code=5901234000017"}, request, problem), kToolDone);
    EXPECT_EQ(request.code, "5901234000017");
    EXPECT_EQ(tool({u"help"}), kToolDone);
}

// --- set and show -------------------------------------------------------------

TEST_F(SetupTool, SetOnAFreshFolderWritesTheDefaultsWithWhatIsGiven) {
    ASSERT_EQ(tool({u"set", u"/STANDALONE=D:\\Ceny\\PRCHK.DAT", u"/PORT=COM3"}), kToolDone)
        << fake.all();
    const std::string bytes = readWholeFile("setup.dat");
    ASSERT_EQ(bytes.size(), sizeof(Settings));
    Settings expected;
    makeDefaultSettingsRecord(expected);
    expected.standaloneMode = 1;
    std::memset(expected.priceFilePath, 0, sizeof expected.priceFilePath);
    std::strcpy(expected.priceFilePath, "D:\\Ceny\\PRCHK.DAT");
    std::strcpy(expected.portName, "COM3");
    EXPECT_EQ(bytes, std::string(reinterpret_cast<const char*>(&expected), sizeof expected));
    EXPECT_FALSE(std::filesystem::exists("setup.dat.new"));
}

// An upgrade's switches change only their fields; the shop's other bytes,
// the reserved ones included, stay as they were.
TEST_F(SetupTool, SetChangesOnlyWhatIsGiven) {
    std::string shop(sizeof(Settings), '\0');
    for (size_t i = 0; i < shop.size(); ++i) shop[i] = static_cast<char>(0x41 + i % 26);
    // Texts end within their fields, as the checker reads them.
    for (const size_t end : {43u, 243u, 250u, 253u, 256u, 259u, 262u, 265u, 391u, 499u}) {
        shop[end] = '\0';
    }
    writeBytes("setup.dat", shop);
    ASSERT_EQ(tool({u"set", u"/SERVER=kasa1.sklep", u"/PORT=", u"/BAUD=0", u"/WEIGHT=21,27",
                    u"/VALUE=", u"/ITEMCODE=6"}),
              kToolDone)
        << fake.all();
    const Settings after = recordOf(readWholeFile("setup.dat"));
    Settings expected = recordOf(shop);
    expected.standaloneMode = 0;
    std::memset(expected.serverAddress, 0, sizeof expected.serverAddress);
    std::strcpy(expected.serverAddress, "kasa1.sklep");
    std::memset(expected.portName, 0, sizeof expected.portName);
    expected.baudRate = 0;
    std::memset(expected.weightPrefixes, 0, sizeof expected.weightPrefixes);
    std::strcpy(expected.weightPrefixes[0], "21");
    std::strcpy(expected.weightPrefixes[1], "27");
    std::memset(expected.valuePrefixes, 0, sizeof expected.valuePrefixes);
    expected.shortItemCode = 1;
    EXPECT_EQ(std::memcmp(&after, &expected, sizeof after), 0);
}

TEST_F(SetupTool, PreparedRecordThenSwitchesOnTop) {
    Settings prepared;
    makeDefaultSettingsRecord(prepared);
    std::strcpy(prepared.fontName, "Tahoma");
    std::strcpy(prepared.weightPrefixes[0], "21");
    const TempFolder elsewhere;
    writeBytes(elsewhere.file("wzor.dat"),
               std::string(reinterpret_cast<const char*>(&prepared), sizeof prepared));
    const std::u16string path = elsewhere.path().u16string() + u"/wzor.dat";
    ASSERT_EQ(tool({u"set", u"/SETUPDAT=" + path, u"/FULLSCREEN=1"}), kToolDone) << fake.all();
    prepared.fullScreen = 1;
    EXPECT_EQ(std::memcmp(recordOf(readWholeFile("setup.dat")).fontName, "Tahoma", 7), 0);
    EXPECT_EQ(readWholeFile("setup.dat"),
              std::string(reinterpret_cast<const char*>(&prepared), sizeof prepared));
    // A file too short to be a record is refused; nothing is written.
    writeBytes(elsewhere.file("krotki.dat"), std::string(499, 'x'));
    EXPECT_EQ(tool({u"set", u"/SETUPDAT=" + elsewhere.path().u16string() + u"/krotki.dat"}),
              kToolFileTrouble);
}

// A running checker would write its own record over the new one when it
// ends; a held file must not be replaced by defaults.
TEST_F(SetupTool, SetRefusesARunningCheckerAndAHeldFile) {
    writeBytes("setup.dat", std::string(sizeof(Settings), '\0'));
    fake.checkerRuns = true;
    EXPECT_EQ(tool({u"set", u"/FULLSCREEN=1"}), kToolCheckerRuns);
    fake.checkerRuns = false;
    fakeFiles.unreadableReads = 100;
    EXPECT_EQ(tool({u"set", u"/FULLSCREEN=1"}), kToolFileTrouble);
    EXPECT_EQ(readWholeFile("setup.dat"), std::string(sizeof(Settings), '\0'));
    // A replace that stays refused leaves the file as it was and says so.
    fakeFiles = FakeFiles{};
    fakeFiles.failingMoves = 100;
    EXPECT_EQ(tool({u"set", u"/FULLSCREEN=1"}), kToolFileTrouble);
    EXPECT_EQ(readWholeFile("setup.dat"), std::string(sizeof(Settings), '\0'));
    EXPECT_NE(fake.all().find("błąd 32"), std::string::npos) << fake.all();
}

TEST_F(SetupTool, ShowSaysTheRecordInTheDialogsWords) {
    EXPECT_EQ(tool({u"show"}), kToolFileTrouble);  // no setup.dat yet
    ASSERT_EQ(tool({u"set", u"/STANDALONE=C:\\Łódź\\PRCHK.DAT", u"/PORT="}), kToolDone);
    fake = FakeTool{};
    fake.checkerRuns = true;
    ASSERT_EQ(tool({u"show", u"/FOLDER=" + folder.path().u16string()}), kToolDone);
    const std::string text = fake.all();
    for (const char* line : {"Tryb pracy: samodzielny, z plikiem PRCHK.DAT",
                             "Położenie pliku PRCHK.DAT: C:\\Łódź\\PRCHK.DAT",
                             "Port komunikacji: (pusty – praca bez czytnika)", "Szybkość: 9600",
                             "Przedrostki kodów wagowych: (brak)", "Pełny ekran: nie",
                             "Sprawdzarka z tego folderu: działa"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
}

// --- check -----------------------------------------------------------------------

TEST_F(SetupTool, CheckOpensThePriceFileTheRecordNames) {
    const std::u16string path = folder.path().u16string() + u"/PRCHK.DAT";
    ASSERT_EQ(tool({u"set", u"/STANDALONE=" + path}), kToolDone);
    EXPECT_EQ(tool({u"check"}), kToolNo);  // no price file yet
    EXPECT_NE(fake.all().find("„Brak pliku”"), std::string::npos) << fake.all();
    writePriceFile(folder.file("PRCHK.DAT"), numberedPriceRecords(32));
    fake = FakeTool{};
    EXPECT_EQ(tool({u"check"}), kToolDone) << fake.all();
    EXPECT_NE(fake.all().find("towarów w nim: 32"), std::string::npos) << fake.all();
}

// The server on 127.0.0.77 port 1001, where the checker asks; a port below
// 1024 needs the rights the end-to-end tests' simulator has too.
TEST_F(SetupTool, CheckAsksTheServerOnceAsTheCheckerDoes) {
    LoopbackServer server("127.0.0.77", kCheckerPort);
    if (!server.listens()) GTEST_SKIP() << "UDP port 1001 cannot be bound here";
    server.answerWith(serverReply("\xBDUBR\xE0WKA", "Cena:           3.49"));  // CP852
    ASSERT_EQ(tool({u"set", u"/SERVER=127.0.0.77"}), kToolDone);
    fake = FakeTool{};
    EXPECT_EQ(tool({u"check", u"/CODE=5901234000017"}), kToolDone) << fake.all();
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0],
              LoopbackServer::Bytes({0x02, 0x80, '1', '5', '9', '0', '1', '2', '3', '4', '0', '0',
                                     '0', '0', '1', '7', '\r', 0x03}));
    EXPECT_NE(fake.all().find("„ŻUBRÓWKA            ”, Cena: 3.49"), std::string::npos)
        << fake.all();
}

TEST_F(SetupTool, CheckSaysWhenTheServerDoesNotAnswer) {
    LoopbackServer server("127.0.0.78", kCheckerPort);
    if (!server.listens()) GTEST_SKIP() << "UDP port 1001 cannot be bound here";
    server.serve(1, [](LoopbackServer&, const ServerPeer&, const LoopbackServer::Bytes&) {});
    ASSERT_EQ(tool({u"set", u"/SERVER=127.0.0.78"}), kToolDone);
    fake = FakeTool{};
    EXPECT_EQ(tool({u"check"}), kToolNo);
    EXPECT_EQ(server.requests()[0][3], '0');  // the default code
    EXPECT_NE(fake.all().find("nie odpowiedział w ciągu 3 s"), std::string::npos) << fake.all();
    ASSERT_EQ(fakeWindow.warnings.size(), 1u);  // the checker's own message comes first
    EXPECT_EQ(fakeWindow.warnings[0].rfind("recv() failed", 0), 0u);
}

// --- stop ---------------------------------------------------------------------------

TEST_F(SetupTool, StopSaysWhatItEnded) {
    EXPECT_EQ(tool({u"stop"}), kToolNo);
    fake.stop = StopOutcome{true, true, 4242, true, true};
    EXPECT_EQ(tool({u"stop"}), kToolDone);
    EXPECT_NE(fake.all().find("proces 4242"), std::string::npos) << fake.all();
    fake.stop = StopOutcome{true, false, 4242, false, false};
    EXPECT_EQ(tool({u"stop"}), kToolCheckerRuns);
}

// --- the watchdog ---------------------------------------------------------------------

TEST(WatchdogPause, GrowsToAMinute) {
    std::vector<int> pauses;
    for (int failures = 1; failures <= 9; ++failures)
        pauses.push_back(watchdogPauseSeconds(failures));
    EXPECT_EQ(pauses, std::vector<int>({1, 2, 4, 8, 16, 32, 60, 60, 60}));
}

TEST_F(SetupTool, WatchdogRestartsAfterCrashesAndStopsOnKoniec) {
    const ProgramRun crash{true, 0xC0000005ul, 0, false};
    fake.runs = {{crash, 2000},
                 {ProgramRun{true, 3, 0, false}, 500},
                 {ProgramRun{false, 0, 2, false}, 0},  // lumivo.exe missing for a moment
                 {crash, 5 * 60 * 1000},               // ran for five minutes: recovered
                 {crash, 1000},
                 {ProgramRun{true, 0, 0, false}, 1000}};
    EXPECT_EQ(tool({u"run"}), kToolDone);
    EXPECT_TRUE(fake.runs.empty());
    EXPECT_EQ(fake.pausesMs, std::vector<int>({1000, 2000, 4000, 1000, 2000}));
    EXPECT_NE(fake.all().find("kodem 3221225477 (0xC0000005)"), std::string::npos) << fake.all();
    EXPECT_NE(fake.all().find("(Koniec, kod 0)"), std::string::npos) << fake.all();
}

TEST_F(SetupTool, WatchdogEndsWhenAskedOrWhenOneRunsAlready) {
    fake.runs = {{ProgramRun{true, 1, 0, false}, 10}, {ProgramRun{true, 1, 0, false}, 10}};
    fake.endAfterPauses = 2;
    EXPECT_EQ(tool({u"run"}), kToolDone);
    EXPECT_EQ(fake.pausesMs.size(), 2u);
    EXPECT_NE(fake.all().find("na żądanie"), std::string::npos);

    fake = FakeTool{};
    fake.watchdogFree = false;
    fake.runs = {{ProgramRun{true, 1, 0, false}, 10}};
    EXPECT_EQ(tool({u"run"}), kToolDone);
    EXPECT_EQ(fake.runs.size(), 1u);  // nothing started
}
