// No service manager here: a server on a POSIX system runs in the
// foreground, and its init system looks after it.
#include "server/service.h"

int runAsService(int (*)(const std::vector<std::string>&), const std::vector<std::string>&,
                 std::string& error) {
    error = "--service runs only on Windows; run it in the foreground here";
    return 2;
}
