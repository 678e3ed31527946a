// lumivo-setup: a checker's settings on the command line, for the installer's
// unattended installs and for a technician at a shop PC. It reads and writes
// setup.dat with the checker's own settings code, one record replaced in one
// step, and finds the folder's running checker by its named objects.
//
//   lumivo-setup show  [/FOLDER=f]        the record, in the dialog's words
//   lumivo-setup set   [/FOLDER=f] [/SERVER=a | /STANDALONE=p] [/PORT=COMn]
//                      [/BAUD=n] [/FULLSCREEN=0|1] [/SETUPDAT=file]
//                      [/WEIGHT=21,27] [/VALUE=22] [/ITEMCODE=7|6]
//   lumivo-setup check [/FOLDER=f] [/CODE=c]  price file or server, as the checker
//   lumivo-setup stop  [/FOLDER=f]        ends the folder's checker and watchdog
//   lumivo-setup run   [/FOLDER=f] [/PROGRAM=exe]  the kiosk's watchdog
//
// Every mode also takes /LOG=file: its lines go there too.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Exit codes, the same in every mode.
inline constexpr int kToolDone = 0;
inline constexpr int kToolNo = 1;           // check: does not work; stop: none ran
inline constexpr int kToolWrongUse = 2;     // a switch unknown, doubled or wrong
inline constexpr int kToolFileTrouble = 3;  // the folder or setup.dat cannot be used
inline constexpr int kToolCheckerRuns = 4;  // set: the checker runs; stop: it stays

enum class ToolMode { Help, Show, Set, Check, Stop, Run };

struct ToolRequest {
    ToolMode mode = ToolMode::Help;
    std::u16string folder;  // empty: the working folder
    std::u16string log;
    std::u16string program;   // run: empty for lumivo.exe beside the tool
    std::u16string setupDat;  // set: a prepared record to start from
    std::string code = "0";   // check: the code the server is asked for
    // set: the settings given, their texts in Windows-1250 as setup.dat
    // holds them; what is not given stays as it is.
    std::optional<std::string> server;
    std::optional<std::string> priceFile;  // /STANDALONE
    std::optional<std::string> port;
    std::optional<int32_t> baudRate;
    std::optional<int32_t> fullScreen;
    // The in-store prefixes, two digits each (an empty list: none), and
    // the item code's width in weighed labels as the record holds it.
    std::optional<std::vector<std::string>> weightPrefixes;
    std::optional<std::vector<std::string>> valuePrefixes;
    std::optional<int32_t> shortItemCode;
};

// Reads the mode and the switches (`args` without the program's name).
// kToolDone, or kToolWrongUse with `problem` saying why (UTF-8).
int parseToolArguments(const std::vector<std::u16string>& args, ToolRequest& request,
                       std::string& problem);

// Runs the request; its lines go to the platform's output. An exit code.
int runSetupTool(const ToolRequest& request);

// The usage text, on standard output. kToolDone.
int printToolHelp();

// The whole tool: arguments in, exit code out.
int setupToolMain(const std::vector<std::u16string>& args);

// The kiosk's watchdog: starts the checker, and again after a crash or an
// exit with a code other than 0, pausing longer after each failure in a
// row; a run of a minute or more counts as recovered. Ends when the checker
// ends with 0 ("Koniec") or the watchdog is asked to end.
int runWatchdog(const ToolRequest& request);

// The pause before the next start after `failures` failures in a row
// (1 for the first): 1, 2, 4 ... seconds, at most a minute.
int watchdogPauseSeconds(int failures);
