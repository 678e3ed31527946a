// The checker server as a Windows service: the service manager starts it
// with Windows, before anyone logs on, restarts it after a failure and
// stops it at shutdown. Elsewhere there is no such thing, and --service is
// refused.
#pragma once

#include <string>
#include <vector>

// Hands the process to the service manager, which runs `run` with `args` as
// the service's work and ends when it returns. Returns the exit code; 1
// with `error` set when the program was not started by the service manager.
int runAsService(int (*run)(const std::vector<std::string>& args),
                 const std::vector<std::string>& args, std::string& error);
