// The settings tool's two Windows programs share their platform code
// (setup_tool_win32.cpp); each has its own entry point.
#pragma once

#include <string>
#include <vector>

// The program's arguments, read through the wide API, without its name.
std::vector<std::u16string> toolArguments();
