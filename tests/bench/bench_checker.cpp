// How long server mode keeps a customer waiting on top of the server itself:
// from Enter to the request on the wire, and from the reply on the wire to
// the repaint request, against a checker server on loopback.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "checker/checker.h"
#include "lookup/check_state.h"
#include "lookup/entry_seam.h"
#include "settings/settings.h"
#include "tests/support/loopback_server.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// A checker server that notes when each request arrives and when its reply
// leaves, and answers every request with a known item.
class TimingServer {
public:
    TimingServer() {
        server_.serve(
            -1, [this](LoopbackServer& self, const ServerPeer& peer, const LoopbackServer::Bytes&) {
                requestArrived_.store(nowNs(), std::memory_order_release);
                replySent_.store(nowNs(), std::memory_order_release);
                self.sendTo(peer, kReply);
            });
    }

    uint16_t port() const { return server_.port(); }
    int64_t requestArrivedNs() const { return requestArrived_.load(std::memory_order_acquire); }
    int64_t replySentNs() const { return replySent_.load(std::memory_order_acquire); }

private:
    inline static const std::string kReply = std::string(
                                                 "\x02\x80"
                                                 "100") +
                                             "Mleko 3,2% 1L       " + "Cena:           3.49" +
                                             "\r\x03";
    std::atomic<int64_t> requestArrived_{0};
    std::atomic<int64_t> replySent_{0};
    LoopbackServer server_;  // last: its thread ends before the counters go
};

// What the entry handler does after cutting and cleaning the code, with the
// server on a test port instead of 1001.
int64_t enterOnce(const TimingServer& server, int64_t* enteredNs) {
    char reply[kReplyBufferSize] = {};
    *enteredNs = nowNs();
    if (queryCheckerServer("127.0.0.1", server.port(), checkState.code, reply) == 0) {
        applyCheckerReply(reply);
    }
    requestRepaint();
    return nowNs();
}

void prepare() {
    std::memset(&settings, 0, sizeof settings);
    settings.fullScreen = 1;  // no message boxes, whatever happens
    std::memset(&checkState, 0, sizeof checkState);
    std::strcpy(checkState.code, "5901234123457");
}

void BM_EnterToRequestOnWire(benchmark::State& state) {
    prepare();
    TimingServer server;
    for (auto _ : state) {
        int64_t entered = 0;
        enterOnce(server, &entered);
        state.SetIterationTime(static_cast<double>(server.requestArrivedNs() - entered) * 1e-9);
    }
}
BENCHMARK(BM_EnterToRequestOnWire)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_ReplyToRepaintRequest(benchmark::State& state) {
    prepare();
    TimingServer server;
    for (auto _ : state) {
        int64_t entered = 0;
        const int64_t repaintRequested = enterOnce(server, &entered);
        state.SetIterationTime(static_cast<double>(repaintRequested - server.replySentNs()) * 1e-9);
    }
}
BENCHMARK(BM_ReplyToRepaintRequest)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_WholeServerLookup(benchmark::State& state) {
    prepare();
    TimingServer server;
    for (auto _ : state) {
        int64_t entered = 0;
        benchmark::DoNotOptimize(enterOnce(server, &entered));
    }
}
BENCHMARK(BM_WholeServerLookup)->Unit(benchmark::kMicrosecond);

}  // namespace
