// The checker server under the load of a big shop: 64 checkers on loopback,
// each from an address of its own and each asking its next code as soon as
// the answer to the last has come, against a list of a million items. The
// answer times are set beside a floor measured in the same run: the least
// server, which receives a datagram and sends a fixed 47-byte answer with
// the same socket calls. Then the same load while the list is reloaded, and
// the server's memory. Each run is made three times, the floor's and the
// server's in turn, and the median of each figure is shown: other programs
// on the machine disturb a single run. Figures, not a test:
// tools/bench-server.sh runs it.
//
//   checker_server_load [--items 1000000] [--requests 100000] [--checkers 64]
//   checker_server_load --floor          (the least server; prints its port)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "checker/checker.h"
#include "lookup/price_file.h"
#include "server/server_net.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct LoadPlan {
    long items = 1000000;
    long requests = 100000;
    int checkers = 64;
};

// --- the least server -----------------------------------------------------------

int runFloor() {
    uint32_t address = 0;
    serverParseAddress("127.0.0.1", &address);
    std::string error;
    uint16_t port = 0;
    const ServerSocket socket = serverOpenSocket(address, 0, &port, error);
    if (socket == kNoServerSocket) return 1;
    std::printf("listening on 127.0.0.1:%u\n", port);
    std::fflush(stdout);
    serverInstallStopHandlers();
    const std::string reply(47, 'x');
    unsigned char buffer[65536];
    while (!serverStopRequested()) {
        ServerPeer peer;
        const int received = serverReceive(socket, buffer, sizeof buffer, &peer, 100);
        if (received == -2) continue;
        if (received < 0) return 1;
        serverSendTo(socket, reply.data(), static_cast<int>(reply.size()), peer);
    }
    return 0;
}

// --- a server as a child process ------------------------------------------------

struct Child {
    pid_t pid = -1;
    int out = -1;
    std::string pending;
};

Child startChild(const std::vector<std::string>& args) {
    Child child;
    int out[2];
    if (pipe(out) != 0) return child;
    child.pid = fork();
    if (child.pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    child.out = out[0];
    return child;
}

// The next line holding `text`, or "" when none comes within `timeout`.
std::string waitForLine(Child& child, const std::string& text, std::chrono::seconds timeout) {
    const auto until = Clock::now() + timeout;
    for (;;) {
        for (size_t end; (end = child.pending.find('\n')) != std::string::npos;) {
            std::string line = child.pending.substr(0, end);
            child.pending.erase(0, end + 1);
            if (line.find(text) != std::string::npos) return line;
        }
        pollfd watch{child.out, POLLIN, 0};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0 || poll(&watch, 1, static_cast<int>(left.count())) != 1) return "";
        char chunk[4096];
        const ssize_t n = read(child.out, chunk, sizeof chunk);
        if (n <= 0) return "";
        child.pending.append(chunk, static_cast<size_t>(n));
    }
}

void stopChild(Child& child) {
    kill(child.pid, SIGTERM);
    waitForLine(child, "stopped", 30s);
    waitpid(child.pid, nullptr, 0);
    close(child.out);
}

uint16_t portOf(const std::string& line) {
    const size_t colon = line.find(':', line.find("listening on"));
    return colon == std::string::npos ? 0
                                      : static_cast<uint16_t>(std::atoi(line.c_str() + colon + 1));
}

// VmRSS or VmHWM of a process, in KiB.
long memoryKb(pid_t pid, const char* field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field) + 1);
    }
    return -1;
}

// --- the checkers -----------------------------------------------------------------

struct Figures {
    double p50Us = 0;
    double p99Us = 0;
    double perSecond = 0;
    long lost = 0;
};

std::string codeOf(long number) {
    char code[32];
    std::snprintf(code, sizeof code, "59%011ld", number);
    return code;
}

// Every checker asks its next code when the last answer has come; one in
// twenty codes is one the list lacks. An answer not come in a second is lost.
Figures runCheckers(uint16_t port, const LoadPlan& plan) {
    std::vector<int> sockets;
    const sockaddr_in server = [port] {
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_port = htons(port);
        where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return where;
    }();
    for (int i = 0; i < plan.checkers; ++i) {
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(0x7F000101 + static_cast<uint32_t>(i));  // 127.0.1.1 on
        bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server);
        sockets.push_back(fd);
    }
    std::mt19937 random(42);
    std::vector<Clock::time_point> sent(sockets.size());
    std::vector<double> times;
    times.reserve(static_cast<size_t>(plan.requests));
    long asked = 0;
    long lost = 0;
    auto ask = [&](size_t i) {
        const long number = static_cast<long>(random() % static_cast<unsigned>(plan.items));
        const std::string code = random() % 20 == 0 ? codeOf(plan.items + number) : codeOf(number);
        unsigned char request[kMaxRequestSize];
        const size_t length =
            buildCheckerRequest(code.c_str(), static_cast<int32_t>(asked), request);
        sent[i] = Clock::now();
        send(sockets[i], request, length, 0);
        ++asked;
    };
    const auto started = Clock::now();
    for (size_t i = 0; i < sockets.size(); ++i) ask(i);
    std::vector<pollfd> watch(sockets.size());
    for (size_t i = 0; i < sockets.size(); ++i) watch[i] = {sockets[i], POLLIN, 0};
    while (static_cast<long>(times.size()) + lost < plan.requests) {
        poll(watch.data(), watch.size(), 100);
        const auto now = Clock::now();
        for (size_t i = 0; i < watch.size(); ++i) {
            char reply[1024];
            if ((watch[i].revents & POLLIN) != 0 && recv(sockets[i], reply, sizeof reply, 0) > 0) {
                times.push_back(std::chrono::duration<double, std::micro>(now - sent[i]).count());
            } else if (now - sent[i] > 1s) {
                ++lost;
            } else {
                continue;
            }
            if (asked < plan.requests) ask(i);
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    for (int fd : sockets) close(fd);
    std::sort(times.begin(), times.end());
    Figures figures;
    figures.p50Us = times.empty() ? 0 : times[times.size() / 2];
    figures.p99Us = times.empty() ? 0 : times[times.size() * 99 / 100];
    figures.perSecond = static_cast<double>(times.size()) / seconds;
    figures.lost = lost;
    return figures;
}

// --- the price file -------------------------------------------------------------

void writePriceFile(const std::string& path, long items) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::vector<PriceRecord> block(4096);
    for (long first = 0; first < items; first += static_cast<long>(block.size())) {
        const long count = std::min<long>(static_cast<long>(block.size()), items - first);
        for (long i = 0; i < count; ++i) {
            PriceRecord& record = block[static_cast<size_t>(i)];
            std::memset(&record, 0, sizeof record);
            std::snprintf(record.code, sizeof record.code, "%s", codeOf(first + i).c_str());
            std::snprintf(record.name, sizeof record.name, "Towar numer %ld", first + i);
            record.price = static_cast<double>((first + i) % 100000 + 1) * 100;
            std::snprintf(record.unit, sizeof record.unit, "szt");
        }
        std::fwrite(block.data(), sizeof(PriceRecord), static_cast<size_t>(count), file);
    }
    std::fclose(file);
}

constexpr int kRounds = 3;

// The median of each figure over the rounds.
Figures median(std::vector<Figures> runs) {
    auto middle = [&runs](double Figures::*field) {
        std::sort(runs.begin(), runs.end(),
                  [field](const Figures& a, const Figures& b) { return a.*field < b.*field; });
        return runs[runs.size() / 2].*field;
    };
    Figures figures;
    figures.p50Us = middle(&Figures::p50Us);
    figures.p99Us = middle(&Figures::p99Us);
    figures.perSecond = middle(&Figures::perSecond);
    for (const Figures& run : runs) figures.lost += run.lost;
    return figures;
}

void printRow(const char* what, const Figures& f, const Figures& floor) {
    std::printf("%-34s %9.1f %9.1f %10.0f %6ld   %4.2f× / %4.2f×\n", what, f.p50Us, f.p99Us,
                f.perSecond, f.lost, f.p50Us / floor.p50Us, f.p99Us / floor.p99Us);
}

bool readPlan(int argc, char** argv, LoadPlan& plan) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const long value = std::atol(argv[i + 1]);
        if (value <= 0) return false;
        if (name == "--items")
            plan.items = value;
        else if (name == "--requests")
            plan.requests = value;
        else if (name == "--checkers")
            plan.checkers = static_cast<int>(std::min(value, 250L));
        else
            return false;
    }
    return argc % 2 == 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--floor") == 0) return runFloor();
    LoadPlan plan;
    if (!readPlan(argc, argv, plan)) {
        std::fprintf(stderr,
                     "usage: checker_server_load [--items N] [--requests N] [--checkers N]\n");
        return 2;
    }
    char pattern[] = "/tmp/checker-server-load-XXXXXX";
    const std::string folder = mkdtemp(pattern);
    const std::string dat = folder + "/PRCHK.DAT";
    writePriceFile(dat, plan.items);
    const auto datMib = static_cast<double>(std::filesystem::file_size(dat)) / 1048576;

    Child floor = startChild({"/proc/self/exe", "--floor"});
    const uint16_t floorPort = portOf(waitForLine(floor, "listening on", 10s));
    Child server = startChild({LUMIVO_CHECKER_SERVER, "--address", "127.0.0.1", "--port", "0",
                               "--dat", dat, "--rate", "0", "--unknown", folder + "/unknown.csv"});
    const uint16_t port = portOf(waitForLine(server, "listening on", 10s));
    const std::string loaded = waitForLine(server, "list: loaded", 300s);
    std::vector<Figures> least, steady, reloading;
    for (int round = 0; round < kRounds; ++round) {
        least.push_back(runCheckers(floorPort, plan));
        steady.push_back(runCheckers(port, plan));
    }
    const long steadyKb = memoryKb(server.pid, "VmRSS:");

    // The same list moved over the old one: read again beside the answers,
    // which go on meanwhile. The load starts as the server starts reading.
    std::string reloaded;
    for (int round = 0; round < kRounds; ++round) {
        std::filesystem::copy_file(dat, dat + ".next",
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::rename(dat + ".next", dat);
        std::this_thread::sleep_for(1100ms);
        reloading.push_back(runCheckers(port, plan));
        reloaded = waitForLine(server, "list: reloaded", 300s);
    }
    const long peakKb = memoryKb(server.pid, "VmHWM:");
    stopChild(server);
    stopChild(floor);
    std::filesystem::remove_all(folder);

    const Figures floorFigures = median(least);
    std::printf(
        "checker server: %d checkers, %ld requests a run, medians of %d runs, %ld items "
        "(%.0f MiB price file)\n",
        plan.checkers, plan.requests, kRounds, plan.items, datMib);
    std::printf("%-34s %9s %9s %10s %6s   %s\n", "", "p50 µs", "p99 µs", "answers/s", "lost",
                "p50 / p99 against the floor");
    printRow("floor (receive, fixed answer)", floorFigures, floorFigures);
    printRow("checker_server", median(steady), floorFigures);
    printRow("checker_server, list reloading", median(reloading), floorFigures);
    std::printf(
        "resident memory at steady state: %.1f MiB (goal: at most %.1f MiB = 1.5 × %.1f + 64)\n",
        steadyKb / 1024.0, 1.5 * datMib + 64, datMib);
    std::printf("peak resident memory, both lists live during a reload: %.1f MiB\n",
                peakKb / 1024.0);
    std::printf("first load:  %s\nlast reload: %s\n", loaded.c_str(), reloaded.c_str());
    return 0;
}
