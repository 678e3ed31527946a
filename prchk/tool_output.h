// The prchk tool and the platform around it. Each platform's main hands the
// arguments over in UTF-8 (Windows reads them through its wide command line,
// so a path with Polish letters arrives whole on a PC of any code page) and
// puts the tool's words where they belong: on Windows through the console's
// wide calls when the tool runs in a console window, whatever its code page
// (852 in a Polish cmd.exe), and as UTF-8 bytes when they are redirected;
// elsewhere as the bytes they are.
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum class ToolStream { Out, Err };

// Writes UTF-8 text to the standard output or the error output.
void writeToolText(ToolStream stream, std::string_view utf8);

// Writes a CSV dump to the standard output; `windows1250` says that its
// bytes are in that page (the spreadsheet form), not UTF-8.
void writeToolData(std::string_view bytes, bool windows1250);

// The tool, given its arguments after the program's name. Returns the exit
// code.
int runPrchk(const std::vector<std::string>& args);
