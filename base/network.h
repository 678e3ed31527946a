// The start and end of network use. Windows counts them (WSAStartup,
// WSACleanup), so the checker exchange and the local-address lookup may each
// use the network on their own; elsewhere both are nothing.
#pragma once

// Starts network use (Winsock 2.2). 0, or the start call's error number.
// Every successful start is matched by one endNetworkUse().
int startNetworkUse();

// Ends network use; on Windows a socket still open is discarded with it.
void endNetworkUse();

// Starts network use for a scope and ends it on every way out.
class NetworkUse {
public:
    NetworkUse() : startError_(startNetworkUse()) {}
    ~NetworkUse() {
        if (startError_ == 0) endNetworkUse();
    }
    NetworkUse(const NetworkUse&) = delete;
    NetworkUse& operator=(const NetworkUse&) = delete;

    // 0 when the network may be used, else the start call's error number.
    int startError() const { return startError_; }

private:
    int startError_;
};
