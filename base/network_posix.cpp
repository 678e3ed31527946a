// BSD sockets need no start or end.
#include "base/network.h"

int startNetworkUse() {
    return 0;
}

void endNetworkUse() {}
