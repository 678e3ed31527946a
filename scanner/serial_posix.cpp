// The serial seam on POSIX terminals (serial adapters and pseudo-terminals).
//
// Port names: the portable code may hand us the Windows device-namespace form
// "\\.\NAME", which means nothing here, so that prefix is dropped first. A
// name that then starts with "/" is a path and used as it stands ("/dev/ttyUSB0",
// a pseudo-terminal's "/dev/pts/3"); "COMn" is the n-th serial port,
// /dev/ttyS(n-1), as Wine maps it; any other name is looked up in /dev.
//
// Speeds: a terminal takes only its fixed list of speeds, so the nearest one
// is used. Output flow control on CTS alone does not exist here (CRTSCTS also
// drives RTS as an input handshake, which the scanner line must not have);
// nothing is ever written, so it is left off.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <thread>

#include "base/text.h"
#include "scanner/serial_seam.h"

namespace {

struct PosixLine {
    unsigned long baud;
    int dataBits;
    char parity;
    int stopBits;
};
static_assert(sizeof(PosixLine) <= sizeof(SerialLine::platform));

struct SpeedEntry {
    unsigned long bitsPerSecond;
    speed_t code;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

speed_t nearestSpeed(unsigned long bitsPerSecond) {
    const SpeedEntry* best = &kSpeeds[0];
    unsigned long bestGap = static_cast<unsigned long>(-1);
    for (const SpeedEntry& entry : kSpeeds) {
        const unsigned long gap = entry.bitsPerSecond > bitsPerSecond
                                      ? entry.bitsPerSecond - bitsPerSecond
                                      : bitsPerSecond - entry.bitsPerSecond;
        if (gap < bestGap) {
            best = &entry;
            bestGap = gap;
        }
    }
    return best->code;
}

tcflag_t dataBitsFlag(int dataBits) {
    switch (dataBits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

bool startsWithComNumber(const std::string& name, long* number) {
    if (name.size() < 4) return false;
    if (std::toupper(static_cast<unsigned char>(name[0])) != 'C' ||
        std::toupper(static_cast<unsigned char>(name[1])) != 'O' ||
        std::toupper(static_cast<unsigned char>(name[2])) != 'M') {
        return false;
    }
    for (size_t i = 3; i < name.size(); ++i) {
        if (!isAsciiDigit(name[i])) return false;
    }
    if (name.size() > 12) return false;
    *number = std::strtol(name.c_str() + 3, nullptr, 10);
    return *number >= 1;
}

std::string terminalPath(const char* devicePath) {
    std::string name = devicePath;
    const std::string deviceNamespace = "\\\\.\\";
    if (name.compare(0, deviceNamespace.size(), deviceNamespace) == 0) {
        name.erase(0, deviceNamespace.size());
    }
    if (!name.empty() && name[0] == '/') return name;
    long number = 0;
    if (startsWithComNumber(name, &number)) return "/dev/ttyS" + std::to_string(number - 1);
    return "/dev/" + name;
}

// Keeps the port's descriptor clear of 0, which the handshake treats as no
// handle, and of the standard streams.
int moveAboveStandardStreams(int fd) {
    if (fd > STDERR_FILENO) return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    close(fd);
    return moved;
}

}  // namespace

int serialPrepareLine(const char* modeText, SerialLine* line) {
    PosixLine parsed{};
    char parity = 0;
    if (std::sscanf(modeText, "baud=%lu data=%i parity=%c stop=%i", &parsed.baud, &parsed.dataBits,
                    &parity, &parsed.stopBits) != 4) {
        return -1;
    }
    if (parsed.baud == 0 || parsed.dataBits < 5 || parsed.dataBits > 8) return -1;
    if (parity != 'N' && parity != 'E' && parity != 'O') return -1;
    if (parsed.stopBits != 1 && parsed.stopBits != 2) return -1;
    parsed.parity = parity;
    std::memcpy(line->platform, &parsed, sizeof parsed);
    return 0;
}

PortHandle serialOpenExclusive(const char* devicePath) {
    const std::string path = terminalPath(devicePath);
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return kInvalidPort;
    fd = moveAboveStandardStreams(fd);
    if (fd < 0) return kInvalidPort;
    // The lock keeps out every cooperating program, root included; the
    // terminal's exclusive mode keeps out any other non-root opener.
    if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        close(fd);
        return kInvalidPort;
    }
    return fd;
}

int serialApplyLine(PortHandle port, SerialLine* line) {
    PosixLine wanted{};
    std::memcpy(&wanted, line->platform, sizeof wanted);
    const int fd = static_cast<int>(port);

    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return -1;
    cfmakeraw(&settings);  // no echo, no line buffering, no byte translated
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
    settings.c_cflag |= CLOCAL | CREAD | HUPCL | dataBitsFlag(wanted.dataBits);
    if (wanted.stopBits == 2) settings.c_cflag |= CSTOPB;
    if (wanted.parity != 'N') {
        // A byte with a parity error is read as a zero byte, like the
        // replacement character of the Windows port.
        settings.c_cflag |= PARENB;
        settings.c_iflag |= INPCK;
        if (wanted.parity == 'O') settings.c_cflag |= PARODD;
    }
    const speed_t speed = nearestSpeed(wanted.baud);
    if (cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0) return -1;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &settings) != 0) return -1;

    // Raise DTR and RTS for scanners powered or enabled by them; a
    // pseudo-terminal has no modem lines, which is no reason to fail.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &lines);
    return 0;
}

// The wait is in serialReadByte (poll with the read time-out); the descriptor
// is non-blocking, so a read never waits by itself.
int serialSetReadTimeouts(PortHandle) {
    return 0;
}

// A terminal's queues have the size the kernel gives them.
int serialSetQueueSizes(PortHandle, uint32_t, uint32_t) {
    return 0;
}

SerialRead serialReadByte(PortHandle port, unsigned char* byte) {
    const int fd = static_cast<int>(port);
    pollfd waiting{fd, POLLIN, 0};
    const int ready = poll(&waiting, 1, kSerialReadWaitMs);
    if (ready == 0) return kSerialReadNothing;
    if (ready < 0) return errno == EINTR ? kSerialReadNothing : kSerialReadFailed;

    const ssize_t got = read(fd, byte, 1);
    if (got == 1) return kSerialReadByte;
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return kSerialReadNothing;
    return kSerialReadFailed;  // an error, or the line hung up
}

void serialClose(PortHandle port) {
    const int fd = static_cast<int>(port);
    // Exclusive mode outlives our descriptor while anyone else holds the
    // terminal; clear it so the port can be opened again at once.
    ioctl(fd, TIOCNXCL);
    close(fd);
}

void sleepMilliseconds(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

namespace {

struct ThreadStart {
    void (*body)(void*);
    void* argument;
};

void* runThread(void* start) {
    const ThreadStart what = *static_cast<ThreadStart*>(start);
    delete static_cast<ThreadStart*>(start);
    what.body(what.argument);
    return nullptr;
}

}  // namespace

int startDetachedThread(void (*body)(void*), void* argument) {
    auto* start = new (std::nothrow) ThreadStart{body, argument};
    if (start == nullptr) return -1;
    pthread_t thread;
    if (pthread_create(&thread, nullptr, runThread, start) != 0) {
        delete start;
        return -1;
    }
    pthread_detach(thread);
    return 0;
}
