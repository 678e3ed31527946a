// prchk on Windows: the arguments from the wide command line, the words
// through the console's wide calls.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "prchk/tool_output.h"
#include "pricelist/file_calls.h"

namespace {

// Writes through the console when the stream is one; false when it is
// redirected to a file or a pipe.
bool writeToConsole(DWORD which, std::string_view text, UINT codePage) {
    const HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return false;
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return true;
}

void writeTo(ToolStream stream, std::string_view text, UINT codePage) {
    const bool out = stream == ToolStream::Out;
    std::FILE* file = out ? stdout : stderr;
    std::fflush(file);
    if (!writeToConsole(out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE, text, codePage)) {
        std::fwrite(text.data(), 1, text.size(), file);
    }
}

}  // namespace

void writeToolText(ToolStream stream, std::string_view utf8) {
    writeTo(stream, utf8, CP_UTF8);
}

void writeToolData(std::string_view bytes, bool windows1250) {
    writeTo(ToolStream::Out, bytes, windows1250 ? 1250 : CP_UTF8);
}

int main(int argc, char** argv) {
    const std::vector<std::string> args = programArguments(argc, argv);
    // A dump redirected to a file is that file's bytes: no CR before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return runPrchk(args);
}
