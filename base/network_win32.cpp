#include <winsock2.h>

#include "base/network.h"

int startNetworkUse() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
}

void endNetworkUse() {
    WSACleanup();
}
