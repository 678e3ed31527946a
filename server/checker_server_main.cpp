// checker_server's main, the same on every system: the arguments in UTF-8
// (on Windows from the wide command line), and with --service the process
// handed to the service manager.
#include <cstdio>

#include "pricelist/file_calls.h"
#include "server/checker_server.h"
#include "server/service.h"

namespace {

int serveAsService(const std::vector<std::string>& args) {
    return runCheckerServer(args, true);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = programArguments(argc, argv);
    if (!asksForService(args)) return runCheckerServer(args, false);
    std::string error;
    const int result = runAsService(serveAsService, args, error);
    if (!error.empty()) std::fprintf(stderr, "checker_server: %s\n", error.c_str());
    return result;
}
