// A checker server on a loopback address, played by a thread of a test or a
// benchmark, on the checker server's own socket seam so that the native
// tests, the Windows tests and the benchmarks share one. Each request that
// arrives is kept and handed to `respond`, which answers it (or not).
// On Windows the caller has started network use.
#pragma once

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "server/server_net.h"

class LoopbackServer {
public:
    using Bytes = std::vector<unsigned char>;
    using Respond = std::function<void(LoopbackServer&, const ServerPeer&, const Bytes&)>;

    // Port 0: one the system chooses.
    explicit LoopbackServer(const char* address = "127.0.0.1", uint16_t port = 0) {
        uint32_t where = 0;
        std::string error;
        if (serverParseAddress(address, &where) == 0)
            socket_ = serverOpenSocket(where, port, &port_, error);
    }

    bool listens() const { return socket_ != kNoServerSocket; }
    ~LoopbackServer() {
        stop_ = true;
        join();
        serverClose(socket_);
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    uint16_t port() const { return port_; }

    // Serves the next `count` requests, giving up after 5 s without one; a
    // negative count serves every request until the server is destroyed.
    void serve(int count, Respond respond) {
        worker_ = std::thread([this, count, respond] {
            int quiet = 0;
            for (int served = 0; !stop_ && (count < 0 || served < count);) {
                unsigned char buffer[2048];
                ServerPeer peer;
                const int n = serverReceive(socket_, buffer, sizeof buffer, &peer, kPollMs);
                if (n == -2 && (count < 0 || ++quiet * kPollMs < 5000)) continue;
                if (n < 0) return;
                quiet = 0;
                requests_.emplace_back(buffer, buffer + std::min<int>(n, sizeof buffer));
                respond(*this, peer, requests_.back());
                ++served;
            }
        });
    }

    // Serves one request with `reply`.
    void answerWith(const std::string& reply) {
        serve(1, [reply](LoopbackServer& server, const ServerPeer& peer, const Bytes&) {
            server.sendTo(peer, reply);
        });
    }

    void sendTo(const ServerPeer& peer, const std::string& bytes) {
        serverSendTo(socket_, bytes.data(), static_cast<int>(bytes.size()), peer);
    }

    // The requests served so far, once the serving thread has ended.
    const std::vector<Bytes>& requests() {
        join();
        return requests_;
    }

private:
    static constexpr unsigned kPollMs = 50;

    void join() {
        if (worker_.joinable()) worker_.join();
    }

    ServerSocket socket_ = kNoServerSocket;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread worker_;
    std::vector<Bytes> requests_;
};
