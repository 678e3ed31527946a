// lumivo-setup.exe: the settings tool in a console.
#include "setuptool/setup_tool.h"
#include "setuptool/tool_windows.h"

int main() {
    return setupToolMain(toolArguments());
}
