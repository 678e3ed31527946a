// The least program of the checker's own design between a scanned byte and
// its request: what tools/bench_wine.py measures lumivo.exe's scan to request
// against, on the same virtual serial line and the same server. A reader
// thread reads the port a byte at a time (opened by the checker's own code,
// so with the same line settings and time-outs) and posts each byte to a
// window; at the carriage return the window's thread builds the request with
// the checker's own code and makes the exchange's calls up to the send, in
// the exchange's order: network start, the dotted address, the socket,
// connect, send. Then it takes the reply as the exchange does (receive
// time-out, recv) and closes. No screen beyond the empty window, no timer,
// no lookup state.
//
//   scan_floor.exe PORT BAUD SERVER       e.g. scan_floor.exe COM1 9600 127.0.0.2
//
// The window is titled "floor"; closing it ends the program.
#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "base/cleanup.h"
#include "base/network.h"
#include "checker/checker.h"
#include "checker/socket_seam.h"
#include "lookup/check_state.h"
#include "scanner/scanner.h"
#include "tests/bench/least_window.h"

namespace {

constexpr UINT WM_FLOOR_BYTE = WM_APP + 1;  // as lumivo.exe's scanner byte
constexpr signed char kLine8N1 = 3;

HWND floorWindow = nullptr;
PortHandle port = kInvalidPort;
std::atomic<bool> reading{true};
const char* serverAddress = "";

char code[kLookedUpCodeLength + 1];
size_t codeLength = 0;
int32_t sequence = 0;

DWORD WINAPI readPort(void*) {
    while (reading) {
        unsigned char byte = 0;
        DWORD got = 0;
        if (!ReadFile(reinterpret_cast<HANDLE>(port), &byte, 1, &got, nullptr)) Sleep(100);
        if (got == 1) PostMessageA(floorWindow, WM_FLOOR_BYTE, byte, 0);
    }
    CloseHandle(reinterpret_cast<HANDLE>(port));
    return 0;
}

void sendRequest() {
    const NetworkUse network;
    if (network.startError() != 0) return;
    uint32_t address = 0;
    if (netParseDotted(serverAddress, &address) != 0) return;
    const Owned<NetSocket> socket(netOpenUdp(), kNoSocket, netClose);
    if (netConnect(socket.get(), address, static_cast<uint16_t>(kCheckerPort)) != 0) return;
    unsigned char request[kMaxRequestSize];
    const size_t length = buildCheckerRequest(code, sequence, request);
    if (netSend(socket.get(), request, static_cast<int>(length)) < 0) return;
    sequence = (sequence + 1) % 128;
    char reply[kReplyBufferSize];
    netReceive(socket.get(), reply, sizeof reply, kReplyTimeoutMs);
}

void onByte(unsigned char byte) {
    if (byte != '\r' && byte != '\n') {
        if (codeLength < kLookedUpCodeLength) code[codeLength++] = static_cast<char>(byte);
        return;
    }
    if (codeLength == 0) return;
    code[codeLength] = '\0';
    codeLength = 0;
    sendRequest();
}

LRESULT CALLBACK floorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_FLOOR_BYTE) {
        onByte(static_cast<unsigned char>(wParam));
        return 0;
    }
    return leastWindowProc(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    if (__argc != 4) return 2;
    serverAddress = __argv[3];
    floorWindow = createLeastWindow(instance, floorWindowProc, "FLOOR", "floor", showCommand);
    if (floorWindow == nullptr) return 1;
    port = openScannerPort(__argv[1], std::atoi(__argv[2]), kLine8N1);
    if (port == kInvalidPort) return 1;
    HANDLE reader = CreateThread(nullptr, 0, readPort, nullptr, 0, nullptr);
    if (reader == nullptr) return 1;

    const int exitCode = runLeastMessageLoop();
    // The port must be free for the next program the benchmark starts.
    reading = false;
    WaitForSingleObject(reader, INFINITE);
    CloseHandle(reader);
    return exitCode;
}
