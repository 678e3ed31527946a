// The kiosk's watchdog. Task Scheduler starts a program at logon and again
// only when it cannot start; a checker that crashes, or ends with an error,
// would leave the shop's wall screen empty until someone logs on again. The
// watchdog starts it again, pausing longer after each failure in a row so
// that a checker that cannot run does not spin, and lets it go when it ends
// the ordinary way ("Koniec", exit code 0).
#include <algorithm>

#include "base/utf8.h"
#include "setuptool/setup_tool.h"
#include "setuptool/setup_tool_seam.h"
#include "setuptool/tool_text.h"

namespace {

constexpr int kLongestPauseSeconds = 60;
// A checker that ran this long before it failed counts as recovered: the
// next pause is the shortest again.
constexpr uint64_t kRecoveredAfterMs = 60 * 1000;

void reportFailure(const ProgramRun& run, const std::string& program, int pause) {
    if (run.started) {
        toolSay(
            toolLine("Sprawdzarka zakończyła się z kodem %lu (0x%08lX): ponowne uruchomienie "
                     "za %d s.",
                     run.exitCode, run.exitCode, pause));
    } else {
        toolComplain(toolLine("Nie można uruchomić %s (błąd %lu): ponowna próba za %d s.",
                              program.c_str(), run.startError, pause));
    }
}

}  // namespace

int watchdogPauseSeconds(int failures) {
    if (failures <= 1) return 1;
    if (failures > 7) return kLongestPauseSeconds;
    return std::min(kLongestPauseSeconds, 1 << (failures - 1));
}

int runWatchdog(const ToolRequest& request) {
    const std::string folder = toolFolderName();
    if (!toolClaimWatchdog()) {
        toolSay("Nadzór sprawdzarki z folderu " + folder + " już działa.");
        return kToolDone;
    }
    const std::string program =
        request.program.empty() ? std::string("lumivo.exe") : utf16ToUtf8(request.program);
    toolSay("Nadzór sprawdzarki: uruchamiam " + program + " w folderze " + folder + ".");
    int failures = 0;
    for (;;) {
        const uint64_t started = toolClockMs();
        const ProgramRun run = toolRunProgram(request.program);
        if (run.endRequested) break;
        if (run.started && run.exitCode == 0) {
            toolSay("Sprawdzarka zakończyła pracę (Koniec, kod 0): koniec nadzoru.");
            return kToolDone;
        }
        const bool recovered = run.started && toolClockMs() - started >= kRecoveredAfterMs;
        failures = recovered ? 1 : failures + 1;
        const int pause = watchdogPauseSeconds(failures);
        reportFailure(run, program, pause);
        if (toolPauseOrEnd(pause * 1000)) break;
    }
    toolSay("Nadzór sprawdzarki zakończony na żądanie (lumivo-setup stop albo instalator).");
    return kToolDone;
}
