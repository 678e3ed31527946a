// The machine's own IPv4 address: on a shop's back-office PC the checker
// server usually runs on the same machine as the first checker.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

#include "base/cleanup.h"
#include "settings/settings.h"

int findLocalAddress(char* out) {
    char hostName[256] = {};
    if (gethostname(hostName, sizeof hostName - 1) != 0) return -1;

    addrinfo hints = {};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(hostName, nullptr, &hints, &found) != 0) return -1;
    const Owned<addrinfo*> list(found, nullptr, freeaddrinfo);

    for (const addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET || entry->ai_addr == nullptr) continue;
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
        char dotted[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &address->sin_addr, dotted, sizeof dotted) == nullptr) return -1;
        std::snprintf(out, 256, "%s", dotted);
        return 1;
    }
    return 0;
}
