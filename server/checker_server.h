// The checker server, given its arguments after the program's name (UTF-8):
// reads its options, listens, and answers until it is asked to stop.
// `asService` says that Windows' service manager started it: the log goes
// to a file beside the price list, and Ctrl+C is none of its business.
// Returns the exit code: 0 after a clean stop, 1 when it could not listen
// or receive, 2 for wrong options or an unusable setup.dat.
#pragma once

#include <string>
#include <vector>

int runCheckerServer(const std::vector<std::string>& args, bool asService);

// Whether the arguments ask for the service (--service), which a program's
// main hands to the service manager's dispatcher first.
bool asksForService(const std::vector<std::string>& args);
