#include "setuptool/tool_text.h"

#include <cstdarg>
#include <cstdio>
#include <string_view>

#include "base/text.h"
#include "base/utf8.h"
#include "base/windows1250.h"

std::string toolLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string line(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    std::vsnprintf(line.data(), line.size() + 1, format, again);
    va_end(again);
    return line;
}

std::string settingsFieldUtf8(const char* field, size_t width) {
    return utf16ToUtf8(windows1250ToUtf16(std::string_view(field, fieldLength(field, width))));
}
