// The machine's own IPv4 address: on a shop's back-office PC the checker
// server usually runs on the same machine as the first checker.
#include <winsock2.h>

#include <cstdio>
#include <cstring>

#include "base/network.h"
#include "settings/settings.h"

int findLocalAddress(char* out) {
    const NetworkUse network;
    if (network.startError() != 0) return -1;

    char hostName[256] = {};
    if (gethostname(hostName, sizeof hostName - 1) != 0) return -1;
    const hostent* host = gethostbyname(hostName);
    if (host == nullptr || host->h_addrtype != AF_INET || host->h_length != 4) return -1;
    if (host->h_addr_list == nullptr || host->h_addr_list[0] == nullptr) return 0;

    in_addr address;
    std::memcpy(&address, host->h_addr_list[0], sizeof address);
    std::snprintf(out, 256, "%s", inet_ntoa(address));
    return 1;
}
