// lumivo-start.exe: the kiosk's watchdog without a console window, for the
// logon task. Task Scheduler shows a console program's window on the shop's
// screen beside the checker; this face of the tool has none and takes only
// the switches of "lumivo-setup run". Its lines go to /LOG only.
#include <windows.h>

#include "setuptool/setup_tool.h"
#include "setuptool/tool_windows.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::vector<std::u16string> args = toolArguments();
    args.insert(args.begin(), u"run");
    return setupToolMain(args);
}
