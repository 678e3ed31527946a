#include "server/unknown_codes.h"

#include <algorithm>
#include <cstdio>

#include "base/text.h"
#include "server/server_net.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t kFields = 7;

std::string timeText(std::time_t when, LocalTimeCall localTime) {
    std::tm local{};
    if (!localTime(when, &local)) return "";
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
    return text;
}

// "2026-12-10 14:05" as local time; false for anything else.
bool readTime(std::string_view text, std::time_t& when) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    char rest = 0;
    const std::string copy(text.substr(0, 32));
    if (std::sscanf(copy.c_str(), "%4d-%2d-%2d %2d:%2d%c", &year, &month, &day, &hour, &minute,
                    &rest) != 5) {
        return false;
    }
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_isdst = -1;
    when = std::mktime(&local);
    return when != static_cast<std::time_t>(-1);
}

bool readCount(std::string_view text, int64_t& count) {
    if (text.empty() || text.size() > 15) return false;
    count = 0;
    for (const char c : text) {
        if (!isAsciiDigit(c)) return false;
        count = count * 10 + (c - '0');
    }
    return count > 0;
}

bool isCode(std::string_view text) {
    return !text.empty() && text.size() <= 16 &&
           std::all_of(text.begin(), text.end(), isAsciiDigitOrLetter);
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const size_t semicolon = line.find(';');
        fields.push_back(line.substr(0, semicolon));
        if (semicolon == std::string_view::npos) return fields;
        line.remove_prefix(semicolon + 1);
    }
}

}  // namespace

void countUnknownCode(UnknownCodes& codes, const std::string& code, std::time_t now,
                      uint32_t checker) {
    bool added = false;
    UnknownCode& entry = touchEntry(codes, code, &added);
    if (added) entry.first = now;
    ++entry.count;
    entry.last = now;
    entry.checker = checker;
}

std::string unknownCodesCsv(const std::vector<UnknownCodes::Entry>& codes,
                            LocalTimeCall localTime) {
    std::vector<const UnknownCodes::Entry*> rows;
    rows.reserve(codes.size());
    for (const auto& entry : codes) rows.push_back(&entry);
    std::sort(rows.begin(), rows.end(), [](const auto* a, const auto* b) {
        if (a->second.count != b->second.count) return a->second.count > b->second.count;
        if (a->second.last != b->second.last) return a->second.last > b->second.last;
        return a->first < b->first;
    });
    std::string text(kByteOrderMark);
    text += kUnknownCodesHeader;
    text += "\r\n";
    for (const auto* row : rows) {
        const UnknownCode& code = row->second;
        text += row->first + ";;;" + std::to_string(code.count) + ";" +
                timeText(code.first, localTime) + ";" + timeText(code.last, localTime) + ";" +
                dottedAddress(code.checker) + "\r\n";
    }
    return text;
}

size_t readUnknownCodesCsv(std::string_view text, UnknownCodes& codes) {
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    std::vector<UnknownCodes::Entry> rows;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        const std::vector<std::string_view> fields = splitFields(line);
        UnknownCode code;
        uint32_t checker = 0;
        if (fields.size() != kFields || !isCode(fields[0]) || !readCount(fields[3], code.count) ||
            !readTime(fields[4], code.first) || !readTime(fields[5], code.last)) {
            continue;
        }
        if (serverParseAddress(fields[6], &checker) == 0) code.checker = checker;
        rows.emplace_back(std::string(fields[0]), code);
    }
    // Touched in the order they were asked last, so the one asked longest
    // ago is still the first to go.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& a, const auto& b) { return a.second.last < b.second.last; });
    for (const auto& [code, read] : rows) touchEntry(codes, code) = read;
    return rows.size();
}
