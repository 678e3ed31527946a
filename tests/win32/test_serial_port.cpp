// The scanner on a real Win32 communications port. Needs two ports joined
// back to back (under Wine: the two ends of a socat pseudo-terminal pair
// mapped to two COM ports in the prefix's registry), named in
// LUMIVO_SERIAL_PAIR as "scanner,feeder", e.g. "COM5,COM6"; skipped without.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "scanner/scanner.h"
#include "ui/main_window.h"

namespace {

struct PortPair {
    std::string scanner;
    std::string feeder;
};

bool portPairFromEnvironment(PortPair* pair) {
    const char* text = std::getenv("LUMIVO_SERIAL_PAIR");
    if (text == nullptr) return false;
    const std::string both = text;
    const size_t comma = both.find(',');
    if (comma == std::string::npos) return false;
    pair->scanner = both.substr(0, comma);
    pair->feeder = both.substr(comma + 1);
    return true;
}

// The far end of the line, where the test plays the scanner.
HANDLE openFeeder(const std::string& name) {
    const std::string path = scannerDevicePath(name.c_str());
    HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (port == INVALID_HANDLE_VALUE) return port;
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    BuildCommDCBA("baud=9600 data=8 parity=N stop=1", &dcb);
    SetCommState(port, &dcb);
    return port;
}

// Stands in for the main window: collects the bytes the reader posts.
HWND createByteSink() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "lumivo-scanner-sink";
    RegisterClassA(&windowClass);
    return CreateWindowA("lumivo-scanner-sink", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

std::vector<unsigned char> collectBytes(HWND sink, size_t count) {
    std::vector<unsigned char> bytes;
    const DWORD deadline = GetTickCount() + 10000;
    while (bytes.size() < count && GetTickCount() < deadline) {
        MSG message;
        while (PeekMessageA(&message, sink, WM_SCANNER_BYTE, WM_SCANNER_BYTE, PM_REMOVE)) {
            bytes.push_back(static_cast<unsigned char>(message.wParam));
        }
        Sleep(5);
    }
    return bytes;
}

TEST(SerialPort, BytesFromTheLineReachTheMainWindowInOrder) {
    PortPair pair;
    if (!portPairFromEnvironment(&pair)) GTEST_SKIP() << "LUMIVO_SERIAL_PAIR not set";

    HWND sink = createByteSink();
    ASSERT_NE(sink, nullptr);
    const HWND previousMain = mainWindow;
    mainWindow = sink;
    HANDLE feeder = openFeeder(pair.feeder);
    ASSERT_NE(feeder, INVALID_HANDLE_VALUE);

    ASSERT_EQ(startScanner(pair.scanner.c_str(), 9600, 3), 0);

    std::vector<unsigned char> sent = {'5', '9', '0', '1', 13, 10, 0, 27, 255, 128};
    for (int i = 0; i < 2000; ++i) sent.push_back(static_cast<unsigned char>(i * 13));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(feeder, sent.data(), static_cast<DWORD>(sent.size()), &written, nullptr));
    ASSERT_EQ(written, sent.size());
    EXPECT_EQ(collectBytes(sink, sent.size()), sent);

    const DWORD start = GetTickCount();
    stopScanner();
    const DWORD stopMs = GetTickCount() - start;
    std::printf("stop while idle took %lu ms\n", static_cast<unsigned long>(stopMs));
    EXPECT_LT(stopMs, 1000u);
    EXPECT_EQ(scannerPort.handle, kInvalidPort);

    // Closed by the time the stop returned: it opens again at once.
    ASSERT_EQ(startScanner(pair.scanner.c_str(), 9600, 3), 0);
    stopScanner();

    CloseHandle(feeder);
    mainWindow = previousMain;
    DestroyWindow(sink);
}

}  // namespace
