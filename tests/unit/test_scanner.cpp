// The scanner port: naming and line-settings rules, and the real reader
// thread against a pseudo-terminal standing in for the scanner's serial line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "scanner/scanner.h"
#include "scanner/serial_seam.h"
#include "tests/support/fakes.h"

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A pseudo-terminal: the test writes as the scanner on the master side; the
// program opens the slave by its path like any serial device.
struct PseudoTerminal {
    int master = -1;
    std::string slavePath;

    PseudoTerminal() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        slavePath = ptsname(master);
    }
    ~PseudoTerminal() { closeMaster(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    void closeMaster() {
        if (master >= 0) close(master);
        master = -1;
    }
    void send(const std::vector<unsigned char>& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t wrote = write(master, bytes.data() + done, bytes.size() - done);
            ASSERT_GT(wrote, 0);
            done += static_cast<size_t>(wrote);
        }
    }
};

size_t deliveredCount() {
    std::lock_guard<std::mutex> guard(fakeWindow.scannerBytesLock);
    return fakeWindow.scannerBytes.size();
}

std::vector<unsigned char> delivered() {
    std::lock_guard<std::mutex> guard(fakeWindow.scannerBytesLock);
    std::vector<unsigned char> bytes;
    for (signed char byte : fakeWindow.scannerBytes)
        bytes.push_back(static_cast<unsigned char>(byte));
    return bytes;
}

bool waitForDelivered(size_t count) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (deliveredCount() < count) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Sends one byte as the scanner and waits for the window to get it.
bool byteArrives(const PseudoTerminal& pty, unsigned char byte) {
    const size_t before = deliveredCount();
    pty.send({byte});
    return waitForDelivered(before + 1) && delivered().back() == byte;
}

class ScannerThread : public ::testing::Test {
protected:
    void SetUp() override {
        resetFakeWindow();
        scannerReaderEndHook = nullptr;
        ASSERT_FALSE(pty.slavePath.empty());
    }
    void TearDown() override { stopScanner(); }

    PseudoTerminal pty;
};

}  // namespace

TEST(ScannerPortName, PortsOneToSevenKeepTheirPlainName) {
    EXPECT_EQ(scannerDevicePath("COM1"), "COM1");
    EXPECT_EQ(scannerDevicePath("COM7"), "COM7");
    EXPECT_EQ(scannerDevicePath("com3"), "com3");
    EXPECT_EQ(scannerDevicePath("XYZ5"), "XYZ5");  // the first three characters are not read
    EXPECT_EQ(scannerDevicePath("COM 4"), "COM 4");
    EXPECT_EQ(scannerDevicePath("COM+2x"), "COM+2x");
}

TEST(ScannerPortName, OtherNumbersGoThroughTheDeviceNamespace) {
    EXPECT_EQ(scannerDevicePath("COM8"), "\\\\.\\COM8");
    EXPECT_EQ(scannerDevicePath("COM9"), "\\\\.\\COM9");
    EXPECT_EQ(scannerDevicePath("COM10"), "\\\\.\\COM10");
    EXPECT_EQ(scannerDevicePath("COM0"), "\\\\.\\COM0");
    EXPECT_EQ(scannerDevicePath("COMX1"), "\\\\.\\COMX1");
    EXPECT_EQ(scannerDevicePath("COM99999999999999999999"), "\\\\.\\COM99999999999999999999");
}

TEST(ScannerPortName, ShortNamesGoThroughTheDeviceNamespace) {
    EXPECT_EQ(scannerPortNumber("CO1"), 0);
    EXPECT_EQ(scannerDevicePath("CO1"), "\\\\.\\CO1");
    EXPECT_EQ(scannerDevicePath("C"), "\\\\.\\C");
    EXPECT_EQ(scannerDevicePath(""), "\\\\.\\");
}

TEST(ScannerPortName, NegativeNumbersKeepThePlainName) {
    EXPECT_EQ(scannerPortNumber("COM-3"), -3);
    EXPECT_EQ(scannerDevicePath("COM-3"), "COM-3");
    EXPECT_EQ(scannerDevicePath("COM -12"), "COM -12");
    EXPECT_EQ(scannerDevicePath("COM-99999999999999999999"), "COM-99999999999999999999");
}

TEST(ScannerPortName, LongNamesAreKeptWhole) {
    const std::string name = "COM" + std::string(197, '9');
    EXPECT_EQ(scannerDevicePath(name.c_str()), "\\\\.\\" + name);
    const std::string word(200, 'Q');
    EXPECT_EQ(scannerDevicePath(word.c_str()), "\\\\.\\" + word);
}

TEST(ScannerModeText, SpeedFallsBackTo57600AtZeroOrBelow) {
    EXPECT_STREQ(scannerModeText(9600, 3).data(), "baud=9600 data=8 parity=N stop=1");
    EXPECT_STREQ(scannerModeText(0, 3).data(), "baud=57600 data=8 parity=N stop=1");
    EXPECT_STREQ(scannerModeText(-1, 3).data(), "baud=57600 data=8 parity=N stop=1");
    EXPECT_STREQ(scannerModeText(INT32_MIN, 3).data(), "baud=57600 data=8 parity=N stop=1");
    EXPECT_STREQ(scannerModeText(INT32_MAX, 3).data(), "baud=2147483647 data=8 parity=N stop=1");
}

TEST(ScannerModeText, FramingComesFromTheLowFiveBits) {
    struct Case {
        signed char flags;
        const char* text;
    };
    const Case cases[] = {
        {0, "baud=1200 data=5 parity=N stop=1"},
        {1, "baud=1200 data=6 parity=N stop=1"},
        {2, "baud=1200 data=7 parity=N stop=1"},
        {4 | 3, "baud=1200 data=8 parity=N stop=2"},
        {8 | 3, "baud=1200 data=8 parity=O stop=1"},
        {16 | 8 | 2, "baud=1200 data=7 parity=E stop=1"},
        {16 | 3, "baud=1200 data=8 parity=N stop=1"},  // even/odd only with parity on
        {32 | 64 | 3, "baud=1200 data=8 parity=N stop=1"},
        {-1, "baud=1200 data=8 parity=E stop=2"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(scannerModeText(1200, c.flags).data(), c.text) << int(c.flags);
    }
}

TEST(ScannerModeText, EveryFramingIsAcceptedByThePort) {
    SerialLine line{};
    for (int flags = 0; flags < 32; ++flags) {
        EXPECT_EQ(
            serialPrepareLine(scannerModeText(9600, static_cast<signed char>(flags)).data(), &line),
            0)
            << flags;
    }
    EXPECT_NE(serialPrepareLine("baud=9600 data=9 parity=N stop=1", &line), 0);
    EXPECT_NE(serialPrepareLine("nonsense", &line), 0);
}

TEST_F(ScannerThread, MissingPortIsReportedOnceByItsEnteredName) {
    const std::string name = pty.slavePath + "-missing";
    EXPECT_EQ(startScanner(name.c_str(), 9600, 3), 1);
    ASSERT_EQ(fakeWindow.warnings.size(), 1u);
    EXPECT_EQ(fakeWindow.warnings[0], "Nie otwarto portu komunikacyjnego: " + name);
    EXPECT_EQ(scannerPort.handle, kInvalidPort);

    // The reader that waits to open it again ends within its poll.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(fakeWindow.warnings.size(), 1u);
    const auto start = Clock::now();
    stopScanner();
    EXPECT_LT(millisecondsSince(start), 1000.0);
    EXPECT_EQ(scannerPort.stopped, 1);
}

// A USB adapter that is not there at start, or is pulled and plugged in
// again, comes back under the same name: the reader opens it again by that
// name, without a box, and the next scan gets through. The name here is a
// link that points at one pseudo-terminal and then at another.
TEST_F(ScannerThread, PortThatAppearsOrComesBackIsOpenedAgainByName) {
    const std::string link = pty.slavePath;  // a name nobody else uses
    char folder[] = "/tmp/lumivo-scanner-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string name = std::string(folder) + "/COM1";
    EXPECT_EQ(startScanner(name.c_str(), 9600, 3), 1);  // not plugged in yet
    ASSERT_EQ(symlink(link.c_str(), name.c_str()), 0);
    EXPECT_TRUE(byteArrives(pty, '1'));

    pty.closeMaster();  // pulled out ...
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    PseudoTerminal replugged;  // ... and back under the same name
    ASSERT_EQ(unlink(name.c_str()), 0);
    ASSERT_EQ(symlink(replugged.slavePath.c_str(), name.c_str()), 0);
    EXPECT_TRUE(byteArrives(replugged, '2'));
    EXPECT_EQ(fakeWindow.warnings.size(), 1u);  // only the one at start

    stopScanner();
    unlink(name.c_str());
    rmdir(folder);
}

TEST_F(ScannerThread, PortHeldByAnotherIsNotOpened) {
    const PortHandle holder = openScannerPort(pty.slavePath.c_str(), 9600, 3);
    ASSERT_NE(holder, kInvalidPort);
    EXPECT_EQ(openScannerPort(pty.slavePath.c_str(), 9600, 3), kInvalidPort);
    EXPECT_EQ(startScanner(pty.slavePath.c_str(), 9600, 3), 1);
    EXPECT_EQ(fakeWindow.warnings.size(), 1u);
    EXPECT_EQ(scannerPort.handle, kInvalidPort);
    serialClose(holder);
    EXPECT_EQ(startScanner(pty.slavePath.c_str(), 9600, 3), 0);
}

TEST_F(ScannerThread, StopWhileIdleClosesThePortAndAllowsAnImmediateRestart) {
    ASSERT_EQ(startScanner(pty.slavePath.c_str(), 0, 3), 0);
    EXPECT_EQ(scannerPort.running, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));

    const auto start = Clock::now();
    stopScanner();
    const double stopMs = millisecondsSince(start);
    RecordProperty("idle_stop_ms", static_cast<int>(stopMs));
    std::printf("stop while idle took %.1f ms\n", stopMs);
    EXPECT_LT(stopMs, 1000.0);
    EXPECT_EQ(scannerPort.handle, kInvalidPort);
    EXPECT_EQ(scannerPort.running, 0);
    EXPECT_EQ(scannerPort.stopped, 1);

    ASSERT_EQ(startScanner(pty.slavePath.c_str(), 9600, 3), 0);
    EXPECT_TRUE(fakeWindow.warnings.empty());
}

TEST_F(ScannerThread, StopWithoutReaderReturnsAtOnce) {
    const auto start = Clock::now();
    stopScanner();
    stopScanner();
    EXPECT_LT(millisecondsSince(start), 50.0);
}

TEST_F(ScannerThread, StopRightAfterStartEndsTheReader) {
    for (int round = 0; round < 10; ++round) {
        ASSERT_EQ(startScanner(pty.slavePath.c_str(), 9600, 3), 0) << round;
        stopScanner();
        EXPECT_EQ(scannerPort.stopped, 1) << round;
        EXPECT_EQ(scannerPort.running, 0) << round;
        EXPECT_EQ(scannerPort.handle, kInvalidPort) << round;
    }
    // Every reader has let go of the port.
    const PortHandle port = openScannerPort(pty.slavePath.c_str(), 9600, 3);
    EXPECT_NE(port, kInvalidPort);
    if (port != kInvalidPort) serialClose(port);
}

// OK in the settings stops the reader and starts the next one at once. A
// reader that has said it stopped may still be on its way out then; holding
// it there while the next reader starts must not end the new one.
TEST_F(ScannerThread, FinishedReaderCannotEndTheNextOne) {
    static std::atomic<bool> held{false}, release{false};
    held = false;
    release = false;
    scannerReaderEndHook = [] {
        scannerReaderEndHook = nullptr;  // only the first reader waits
        held = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    ASSERT_EQ(startScanner(pty.slavePath.c_str(), 9600, 3), 0);
    stopScanner();
    ASSERT_TRUE(held);
    ASSERT_EQ(startScanner(pty.slavePath.c_str(), 9600, 3), 0);
    release = true;
    std::this_thread::sleep_for(
        std::chrono::milliseconds(300));  // old reader gone, new one reading

    EXPECT_EQ(scannerPort.running, 1);
    EXPECT_TRUE(byteArrives(pty, '7'));
    EXPECT_TRUE(byteArrives(pty, '8'));
}

// Many OKs in a row, each followed by a scan that must get through. More
// rounds by hand: LUMIVO_SCANNER_ROUNDS=1000.
TEST_F(ScannerThread, EveryRestartKeepsTheScannerReading) {
    const char* wanted = std::getenv("LUMIVO_SCANNER_ROUNDS");
    const int rounds = wanted != nullptr ? std::atoi(wanted) : 50;
    ASSERT_EQ(startScanner(pty.slavePath.c_str(), 9600, 3), 0);
    for (int round = 0; round < rounds; ++round) {
        stopScanner();
        ASSERT_EQ(startScanner(pty.slavePath.c_str(), 9600, 3), 0) << round;
        ASSERT_TRUE(byteArrives(pty, static_cast<unsigned char>('0' + round % 10))) << round;
    }
    EXPECT_TRUE(fakeWindow.warnings.empty());
}

TEST_F(ScannerThread, EveryByteReachesTheWindowInOrder) {
    ASSERT_EQ(startScanner(pty.slavePath.c_str(), 9600, 3), 0);
    std::vector<unsigned char> sent = {'5', '9', '0', 0, 27, 255, 128, 13, 10, 0x11, 0x13, 3, 4};
    for (int i = 0; i < 256; ++i) sent.push_back(static_cast<unsigned char>(i));
    pty.send(sent);
    ASSERT_TRUE(waitForDelivered(sent.size())) << deliveredCount();
    EXPECT_EQ(delivered(), sent);
}

TEST_F(ScannerThread, BurstLargerThanTheQueueLosesNothing) {
    ASSERT_EQ(startScanner(pty.slavePath.c_str(), 115200, 3), 0);
    std::vector<unsigned char> sent;
    for (int i = 0; i < 16 * 1024; ++i) sent.push_back(static_cast<unsigned char>(i * 7 + i / 256));
    std::thread writer([&] { pty.send(sent); });
    const bool all = waitForDelivered(sent.size());
    writer.join();
    ASSERT_TRUE(all) << deliveredCount();
    EXPECT_EQ(delivered(), sent);
}

TEST_F(ScannerThread, VanishedPortCostsNoProcessorTimeAndStillStops) {
    ASSERT_EQ(startScanner(pty.slavePath.c_str(), 9600, 3), 0);
    pty.closeMaster();  // every read on the line now fails at once

    timespec before{}, after{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &before);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &after);
    const double cpuMs =
        (after.tv_sec - before.tv_sec) * 1e3 + (after.tv_nsec - before.tv_nsec) / 1e6;
    std::printf("processor time over 1 s with a dead port: %.1f ms\n", cpuMs);
    EXPECT_LT(cpuMs, 200.0);

    const auto start = Clock::now();
    stopScanner();
    EXPECT_LT(millisecondsSince(start), 1000.0);
    EXPECT_EQ(scannerPort.stopped, 1);
    EXPECT_TRUE(fakeWindow.warnings.empty());
}

// A port that fails for a while and then works again: the reader runs on its
// own record over a descriptor that first refuses every read (a directory)
// and is then swapped, in place, for a working line.
TEST(ScannerReader, CarriesOnWhenThePortWorksAgain) {
    resetFakeWindow();
    int line[2];
    ASSERT_EQ(pipe(line), 0);
    const int port = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(port, 0);

    ScannerPort record;
    record.handle = port;
    record.running = 1;
    std::thread reader(scannerReadLoop, &record);

    std::this_thread::sleep_for(std::chrono::milliseconds(350));
    EXPECT_EQ(deliveredCount(), 0u);
    ASSERT_EQ(dup2(line[0], port), port);
    close(line[0]);
    const unsigned char code[] = {'1', '2', '3', 13};
    ASSERT_EQ(write(line[1], code, sizeof code), static_cast<ssize_t>(sizeof code));
    EXPECT_TRUE(waitForDelivered(sizeof code));
    EXPECT_EQ(delivered(), std::vector<unsigned char>(code, code + sizeof code));

    record.running = 0;
    reader.join();
    EXPECT_EQ(record.stopped, 1);
    EXPECT_EQ(fcntl(port, F_GETFD), -1);  // the reader closed its port
    close(line[1]);
}
