// prchk on Windows. The C runtime's argv holds the command line in the PC's
// ANSI code page, where a Polish letter of a path may already be lost; the
// wide command line holds it whole.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>

#include "prchk/tool_output.h"

namespace {

std::string utf8Of(const wchar_t* wide) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return {};
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), length, nullptr, nullptr);
    utf8.pop_back();  // the terminating zero
    return utf8;
}

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

int main() {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide != nullptr && i < count; ++i) args.push_back(utf8Of(wide[i]));
    LocalFree(wide);
    // A dump redirected to a file is that file's bytes: no CR before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return runPrchk(args);
}
