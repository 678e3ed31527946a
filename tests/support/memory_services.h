// The platform services served from memory, for the fuzzers: PRCHK.DAT,
// setup.dat and its temporary file, the checker server and the local
// address. Whatever path or server address a setup.dat names, nothing here
// touches the disk or the network, and a run costs microseconds. The faults
// of fakeFiles apply to setup.dat here as on disk.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

struct MemoryFiles {
    std::string priceFile;  // PRCHK.DAT, whatever path the settings name
    bool priceFileMissing = false;
    int openPriceFiles = 0;  // opened and not yet closed
    int readsOutside = 0;    // reads that asked for bytes before or past the file
    std::map<std::string, std::string, std::less<>> files;  // setup.dat and its temporary file
};

struct MemoryServer {
    std::string reply;                          // the datagram that answers every request
    bool silent = false;                        // no answer: every wait runs out
    bool unknownNames = false;                  // host names do not resolve
    std::string localAddress = "192.168.1.20";  // empty: the name lookup fails
    std::string lastRequest;
    int requests = 0;
    int openSockets = 0;  // opened and not yet closed
};

extern MemoryFiles memoryFiles;
extern MemoryServer memoryServer;

// Empties the files and the server's record and clears their faults.
void resetMemoryServices();
