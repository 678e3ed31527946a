#include "settings/running_checker.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace {

// "C:\Sklep\" and "C:\Sklep" are one folder; "C:\" keeps its "\".
std::u16string_view withoutTrailingSeparator(std::u16string_view folder) {
    while (folder.size() > 3 && (folder.back() == u'\\' || folder.back() == u'/')) {
        folder.remove_suffix(1);
    }
    return folder;
}

uint64_t folderKey(std::u16string_view folder) {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a offset basis
    for (const char16_t unit : withoutTrailingSeparator(folder)) {
        const char16_t separator = unit == u'/' ? u'\\' : unit;
        for (const unsigned byte : {separator & 0xFFu, (separator >> 8) & 0xFFu}) {
            hash ^= byte;
            hash *= 1099511628211ull;  // FNV prime
        }
    }
    return hash;
}

std::u16string ascii(const char* text) {
    std::u16string wide;
    while (*text != '\0') wide += static_cast<char16_t>(*text++);
    return wide;
}

// The number after "name=" on its own line of `text`, or false.
bool numberAfter(std::string_view text, std::string_view name, uint64_t* value) {
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view line = text.substr(at, end - at);
        if (line.size() > name.size() && line.substr(0, name.size()) == name &&
            line[name.size()] == '=') {
            const std::string digits(line.substr(name.size() + 1));
            char* after = nullptr;
            *value = std::strtoull(digits.c_str(), &after, 0);
            return after != digits.c_str();
        }
        at = end + 1;
    }
    return false;
}

}  // namespace

RunningCheckerNames runningCheckerNames(std::u16string_view folder) {
    char key[17];
    std::snprintf(key, sizeof key, "%016" PRIx64, folderKey(folder));
    return {ascii("Global\\lumivo-checker-") + ascii(key),
            ascii("Global\\lumivo-end-") + ascii(key),
            ascii("Global\\lumivo-watchdog-") + ascii(key),
            ascii("Global\\lumivo-watchdog-end-") + ascii(key)};
}

std::string formatRunningChecker(const RunningChecker& checker) {
    char text[128];
    std::snprintf(text, sizeof text,
                  "pid=%" PRIu32 "\r\nwindow=0x%" PRIx64 "\r\nsession=%" PRIu32 "\r\n",
                  checker.processId, checker.window, checker.session);
    return text;
}

bool parseRunningChecker(std::string_view text, RunningChecker* checker) {
    uint64_t pid = 0, window = 0, session = 0;
    if (!numberAfter(text, "pid", &pid) || pid == 0 || pid > UINT32_MAX) return false;
    numberAfter(text, "window", &window);
    numberAfter(text, "session", &session);
    *checker = {static_cast<uint32_t>(pid), window, static_cast<uint32_t>(session)};
    return true;
}
