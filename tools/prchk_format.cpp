// Building, dumping and checking PRCHK.DAT files for shops that have no
// back-office program at hand, and for testers who need files with known
// contents.
#include "tools/prchk_format.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include "lookup/polish_text.h"

static_assert(std::endian::native == std::endian::little,
              "PRCHK.DAT holds little-endian numbers; records are copied byte for byte");

namespace {

// --- Small helpers ---------------------------------------------------------

std::string formatText(const char* format, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

void addLineError(PrchkMessages& messages, int line, const std::string& text)
{
    messages.errors.push_back(formatText("line %d: %s", line, text.c_str()));
}

void addLineWarning(PrchkMessages& messages, int line, const std::string& text)
{
    messages.warnings.push_back(formatText("line %d: %s", line, text.c_str()));
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

FileHandle openFile(const std::string& path, const char* mode)
{
    return FileHandle(std::fopen(path.c_str(), mode));
}

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Field bytes for a message: printable ASCII as it is, anything else as \xNN,
// so a damaged file cannot garble the terminal.
std::string printableField(const char* field, size_t width)
{
    std::string out;
    const size_t length = fieldLength(field, width);
    for (size_t i = 0; i < length; ++i) {
        const auto b = static_cast<unsigned char>(field[i]);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += static_cast<char>(b);
        } else {
            out += formatText("\\x%02X", b);
        }
    }
    return out;
}

std::string recordPlace(int64_t index)
{
    return formatText("record %lld (offset %lld)", static_cast<long long>(index + 1),
                      static_cast<long long>(index * kPriceRecordSize));
}

// --- UTF-8 -----------------------------------------------------------------

// The Polish letters in the order of the program's letter tables:
// ą ć ę ł ń ó ś ź ż Ą Ć Ę Ł Ń Ó Ś Ź Ż.
constexpr std::array<char32_t, 18> polishLetters = {
    0x0105, 0x0107, 0x0119, 0x0142, 0x0144, 0x00F3, 0x015B, 0x017A, 0x017C,
    0x0104, 0x0106, 0x0118, 0x0141, 0x0143, 0x00D3, 0x015A, 0x0179, 0x017B};

// The upper half of the Mazovia page: the PC's original page with the
// Polish letters in place of some of its accented letters and symbols.
constexpr std::array<char32_t, 128> mazoviaUpperHalf = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x0105, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x0107, 0x00C4, 0x0104,  // 88
    0x0118, 0x0119, 0x0142, 0x00F4, 0x00F6, 0x0106, 0x00FB, 0x00F9,  // 90
    0x015A, 0x00D6, 0x00DC, 0x00A2, 0x0141, 0x00A5, 0x015B, 0x0192,  // 98
    0x0179, 0x017B, 0x00F3, 0x00D3, 0x0144, 0x0143, 0x017A, 0x017C,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // F8
};

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one character at `pos`, advancing it. Overlong forms, surrogates
// and cut-off sequences are refused: returns false.
bool decodeUtf8(std::string_view text, size_t& pos, char32_t& c)
{
    const auto lead = static_cast<unsigned char>(text[pos]);
    int extra = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        c = lead;
        ++pos;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        c = lead & 0x1F, extra = 1, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        c = lead & 0x0F, extra = 2, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        c = lead & 0x07, extra = 3, minimum = 0x10000;
    } else {
        return false;
    }
    if (text.size() - pos <= static_cast<size_t>(extra)) return false;
    for (int k = 1; k <= extra; ++k) {
        const auto next = static_cast<unsigned char>(text[pos + k]);
        if ((next & 0xC0) != 0x80) return false;
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    pos += extra + 1;
    return true;
}

// --- Records ---------------------------------------------------------------

// Copies text that is known to fit into a zeroed field.
void storeText(char* field, std::string_view text)
{
    std::memcpy(field, text.data(), text.size());
}

bool fieldHasZero(const char* field, size_t width)
{
    return std::memchr(field, 0, width) != nullptr;
}

bool isCodeCharacter(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The code column: ASCII only, as scanners and keyboards deliver it.
bool readCode(const CsvRow& row, PriceRecord& record, PrchkMessages& messages)
{
    const std::string& code = row.fields[0];
    if (code.empty()) {
        addLineError(messages, row.line, "code is empty");
        return false;
    }
    for (char c : code) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b >= 0x7F) {
            addLineError(messages, row.line,
                         formatText("code \"%s\" holds a character other than printable ASCII",
                                    printableField(code.c_str(), code.size()).c_str()));
            return false;
        }
    }
    if (code.size() > static_cast<size_t>(kMaxCodeLength)) {
        addLineError(messages, row.line,
                     formatText("code \"%s\" is %zu characters long; the field holds at most %d",
                                code.c_str(), code.size(), kMaxCodeLength));
        return false;
    }
    // The checker cuts what it receives at 13 characters and at the first
    // character that is neither digit nor letter; such records are written,
    // but the shop should know that nobody can ever find them.
    if (!std::all_of(code.begin(), code.end(), isCodeCharacter)) {
        addLineWarning(messages, row.line,
                       formatText("code \"%s\" holds a character other than a digit or a letter; "
                                  "the checker can never find it",
                                  code.c_str()));
    } else if (code.size() > static_cast<size_t>(kLongestEnteredCode)) {
        addLineWarning(messages, row.line,
                       formatText("code \"%s\" is longer than %d characters; the checker can "
                                  "never find it",
                                  code.c_str(), kLongestEnteredCode));
    }
    storeText(record.code, code);
    return true;
}

// A name or unit column, recoded to Mazovia and checked against its width.
bool readText(const CsvRow& row, int column, const char* what, size_t maxLength, bool required,
              char* field, PrchkMessages& messages)
{
    std::string mazovia;
    std::string problem;
    if (utf8ToMazovia(row.fields[column], mazovia, problem) != 0) {
        addLineError(messages, row.line, formatText("%s: %s", what, problem.c_str()));
        return false;
    }
    if (required && mazovia.empty()) {
        addLineError(messages, row.line, formatText("%s is empty", what));
        return false;
    }
    if (mazovia.size() > maxLength) {
        addLineError(messages, row.line,
                     formatText("%s is %zu characters long; the field holds at most %zu", what,
                                mazovia.size(), maxLength));
        return false;
    }
    storeText(field, mazovia);
    return true;
}

bool readPriceColumn(const CsvRow& row, int column, const char* what, bool required,
                     double& units, PrchkMessages& messages)
{
    const std::string& text = row.fields[column];
    if (trimBlanks(text).empty()) {
        if (required) {
            addLineError(messages, row.line, formatText("%s is empty", what));
            return false;
        }
        units = 0.0;
        return true;
    }
    std::string problem;
    if (parsePrice(text, units, problem) != 0) {
        addLineError(messages, row.line, formatText("%s %s", what, problem.c_str()));
        return false;
    }
    return true;
}

// One CSV row into one record; every problem of the row is reported.
bool readRow(const CsvRow& row, PriceRecord& record, PrchkMessages& messages)
{
    std::memset(&record, 0, sizeof record);
    if (row.fields.size() != static_cast<size_t>(kPrchkCsvColumns)) {
        addLineError(messages, row.line,
                     formatText("%d columns expected (%s), found %zu", kPrchkCsvColumns,
                                kPrchkCsvHeader, row.fields.size()));
        return false;
    }
    bool sound = readCode(row, record, messages);
    sound &= readText(row, 1, "name", kMaxNameLength, true, record.name, messages);
    // The record is packed: its doubles are filled by value, never through
    // a reference to a misaligned member.
    double price = 0, gross2 = 0, net1 = 0, net2 = 0;
    sound &= readPriceColumn(row, 2, "price", true, price, messages);
    sound &= readPriceColumn(row, 3, "gross2", false, gross2, messages);
    sound &= readPriceColumn(row, 4, "net1", false, net1, messages);
    sound &= readPriceColumn(row, 5, "net2", false, net2, messages);
    record.price = price;
    record.gross2 = gross2;
    record.net1 = net1;
    record.net2 = net2;
    sound &= readText(row, 6, "unit", kMaxUnitLength, false, record.unit, messages);
    if (sound && std::strlen(record.unit) > static_cast<size_t>(kShownUnitLength)) {
        addLineWarning(messages, row.line,
                       formatText("unit \"%s\" is longer than %d characters; the checker shows "
                                  "only its first %d",
                                  row.fields[6].c_str(), kShownUnitLength, kShownUnitLength));
    }
    return sound;
}

bool headerMatches(const CsvRow& row)
{
    std::string joined;
    for (size_t i = 0; i < row.fields.size(); ++i) {
        if (i > 0) joined += ',';
        for (char c : trimBlanks(row.fields[i])) {
            joined += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }
    }
    return joined == kPrchkCsvHeader;
}

struct NumberedRecord {
    PriceRecord record;
    int line;
};

bool codeSortsFirst(const NumberedRecord& a, const NumberedRecord& b)
{
    return compareCodes(a.record.code, b.record.code) < 0;
}

// A price that the CSV text carries back to exactly the stored number.
bool priceSurvivesCsv(double units)
{
    double readBack = 0.0;
    std::string problem;
    return std::isfinite(units) && parsePrice(formatPrice(units), readBack, problem) == 0 &&
           readBack == units;
}

void checkDumpedText(const char* field, size_t width, const char* what, int64_t index,
                     PrchkMessages& messages)
{
    const std::string place = recordPlace(index);
    if (!fieldHasZero(field, width)) {
        messages.warnings.push_back(formatText(
            "%s: the %s field has no terminating zero byte; all %zu bytes are written",
            place.c_str(), what, width));
    }
    const size_t length = fieldLength(field, width);
    for (size_t i = 0; i < length; ++i) {
        const auto b = static_cast<unsigned char>(field[i]);
        if (b < 0x20 || b == 0x7F) {
            messages.warnings.push_back(
                formatText("%s: the %s holds control character 0x%02X", place.c_str(), what, b));
            return;
        }
    }
}

void appendPriceField(std::string& out, double units, const char* what, int64_t index,
                      PrchkMessages& messages)
{
    out += ',';
    const std::string text = formatPrice(units);
    appendCsvField(out, text);
    if (!priceSurvivesCsv(units)) {
        messages.warnings.push_back(formatText("%s: %s %s cannot be carried exactly by the CSV",
                                               recordPlace(index).c_str(), what, text.c_str()));
    }
}

void appendTextField(std::string& out, const char* field, size_t width)
{
    appendCsvField(out, mazoviaToUtf8(std::string_view(field, fieldLength(field, width))));
}

// --- Verification ----------------------------------------------------------

constexpr int kFindingsShownPerKind = 10;

enum FindingKind { SortOrder, DuplicateCode, MissingZero, NonFinitePrice, FileSize, kKinds };

struct FindingLog {
    VerifyReport& report;
    std::array<int64_t, kKinds> perKind{};
};

void addFinding(FindingLog& log, FindingKind kind, const std::string& text)
{
    ++log.report.findingCount;
    if (++log.perKind[kind] <= kFindingsShownPerKind) log.report.findings.push_back(text);
}

void checkTerminated(FindingLog& log, const char* field, size_t width, const char* what,
                     int64_t index)
{
    if (!fieldHasZero(field, width)) {
        addFinding(log, MissingZero,
                   formatText("%s: the %s field has no terminating zero byte",
                              recordPlace(index).c_str(), what));
    }
}

void checkFinite(FindingLog& log, double value, const char* what, int64_t index)
{
    if (!std::isfinite(value)) {
        addFinding(log, NonFinitePrice,
                   formatText("%s: %s is %s", recordPlace(index).c_str(), what,
                              std::isnan(value) ? "not a number (NaN)" : "infinite"));
    }
}

void checkRecordFields(FindingLog& log, const PriceRecord& record, int64_t index)
{
    checkTerminated(log, record.code, sizeof record.code, "code", index);
    checkTerminated(log, record.name, sizeof record.name, "name", index);
    checkTerminated(log, record.unit, sizeof record.unit, "unit", index);
    checkFinite(log, record.price, "price", index);
    checkFinite(log, record.gross2, "gross2", index);
    checkFinite(log, record.net1, "net1", index);
    checkFinite(log, record.net2, "net2", index);
}

constexpr size_t kCodeWidth = sizeof(PriceRecord::code);
using CodeField = std::array<char, kCodeWidth>;

std::string duplicateFinding(int64_t index, const char* code, int64_t firstIndex)
{
    return formatText("%s: code \"%s\" is also the code of record %lld",
                      recordPlace(index).c_str(), printableField(code, kCodeWidth).c_str(),
                      static_cast<long long>(firstIndex + 1));
}

// What the pass over the records knows about their order.
struct OrderCheck {
    PriceRecord previous;
    bool outOfOrder = false;
    // Equal neighbours are held back: in an unsorted file a second pass finds
    // every duplicate, wherever it stands.
    std::vector<std::string> adjacentDuplicates;
    int64_t adjacentDuplicateCount = 0;
};

void checkOrder(FindingLog& log, OrderCheck& order, const PriceRecord& record, int64_t index)
{
    const int comparison = index > 0 ? compareCodes(order.previous.code, record.code) : -1;
    if (comparison > 0) {
        order.outOfOrder = true;
        addFinding(log, SortOrder,
                   formatText("%s: code \"%s\" sorts before the code \"%s\" of the record before "
                              "it; lookups can miss records",
                              recordPlace(index).c_str(),
                              printableField(record.code, kCodeWidth).c_str(),
                              printableField(order.previous.code, kCodeWidth).c_str()));
    } else if (comparison == 0 && ++order.adjacentDuplicateCount <= kFindingsShownPerKind) {
        order.adjacentDuplicates.push_back(duplicateFinding(index, record.code, index - 1));
    }
    order.previous = record;
}

struct IndexedCode {
    CodeField code;
    int64_t index;
};

// In an unsorted file equal codes need not stand side by side: a second pass
// sorts all codes to find every duplicate.
int reportScatteredDuplicates(const std::string& path, FindingLog& log, PrchkMessages& messages)
{
    FileHandle file = openFile(path, "rb");
    if (!file) {
        messages.errors.push_back(formatText("%s: cannot be read again", path.c_str()));
        return -1;
    }
    std::vector<IndexedCode> codes;
    PriceRecord record;
    for (int64_t index = 0; std::fread(&record, 1, sizeof record, file.get()) == sizeof record;
         ++index) {
        IndexedCode entry;
        std::memcpy(entry.code.data(), record.code, entry.code.size());
        entry.index = index;
        codes.push_back(entry);
    }
    std::stable_sort(codes.begin(), codes.end(), [](const IndexedCode& a, const IndexedCode& b) {
        return compareCodes(a.code.data(), b.code.data()) < 0;
    });
    for (size_t i = 1; i < codes.size(); ++i) {
        if (compareCodes(codes[i - 1].code.data(), codes[i].code.data()) == 0) {
            addFinding(log, DuplicateCode,
                       duplicateFinding(codes[i].index, codes[i].code.data(), codes[i - 1].index));
        }
    }
    return 0;
}

}  // namespace

// --- CSV -------------------------------------------------------------------

int parseCsv(std::string_view text, std::vector<CsvRow>& rows, PrchkMessages& messages)
{
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    size_t pos = 0;
    int line = 1;
    auto isLineEnd = [&](size_t at) { return text[at] == '\r' || text[at] == '\n'; };
    while (pos < text.size()) {
        CsvRow row;
        row.line = line;
        bool quotedAny = false;
        for (;;) {
            std::string field;
            if (pos < text.size() && text[pos] == '"') {
                quotedAny = true;
                ++pos;
                for (;;) {
                    if (pos >= text.size()) {
                        addLineError(messages, row.line, "a quoted field is never closed");
                        return -1;
                    }
                    const char c = text[pos];
                    if (c == '"') {
                        if (pos + 1 < text.size() && text[pos + 1] == '"') {
                            field += '"';
                            pos += 2;
                            continue;
                        }
                        ++pos;
                        break;
                    }
                    const bool crlf = c == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n';
                    if (c == '\n' || (c == '\r' && !crlf)) ++line;
                    field += c;
                    ++pos;
                }
                if (pos < text.size() && text[pos] != ',' && !isLineEnd(pos)) {
                    addLineError(messages, line, "text follows a closing quote");
                    return -1;
                }
            } else {
                while (pos < text.size() && text[pos] != ',' && !isLineEnd(pos)) {
                    field += text[pos++];
                }
            }
            row.fields.push_back(std::move(field));
            if (pos >= text.size()) break;
            if (text[pos] == ',') {
                ++pos;
                continue;
            }
            pos += (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ? 2 : 1;
            ++line;
            break;
        }
        const bool emptyLine = row.fields.size() == 1 && row.fields[0].empty() && !quotedAny;
        if (!emptyLine) rows.push_back(std::move(row));
    }
    return 0;
}

void appendCsvField(std::string& out, std::string_view field)
{
    const bool needsQuotes = field.find_first_of(",\"\r\n") != std::string_view::npos ||
                             (!field.empty() && (field.front() == ' ' || field.front() == '\t' ||
                                                 field.back() == ' ' || field.back() == '\t'));
    if (!needsQuotes) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

// --- Text ------------------------------------------------------------------

int utf8ToMazovia(std::string_view utf8, std::string& mazovia, std::string& problem)
{
    mazovia.clear();
    size_t pos = 0;
    while (pos < utf8.size()) {
        const size_t start = pos;
        char32_t c = 0;
        if (!decodeUtf8(utf8, pos, c)) {
            problem = formatText("byte 0x%02X at position %zu is not valid UTF-8",
                                 static_cast<unsigned char>(utf8[start]), start + 1);
            return -1;
        }
        if (c >= 0x20 && c < 0x7F) {
            mazovia += static_cast<char>(c);
            continue;
        }
        if (c < 0x20 || c == 0x7F) {
            problem = formatText("control character 0x%02X is not allowed",
                                 static_cast<unsigned>(c));
            return -1;
        }
        const auto letter = std::find(polishLetters.begin(), polishLetters.end(), c);
        if (letter == polishLetters.end()) {
            problem = formatText("\"%.*s\" (U+%04X) is neither ASCII nor a Polish letter; the "
                                 "price checker cannot show it",
                                 static_cast<int>(pos - start), utf8.data() + start,
                                 static_cast<unsigned>(c));
            return -1;
        }
        mazovia += static_cast<char>(mazoviaLetters[letter - polishLetters.begin()]);
    }
    return 0;
}

char32_t mazoviaByteToUnicode(unsigned char byte)
{
    return byte < 0x80 ? byte : mazoviaUpperHalf[byte - 0x80];
}

std::string mazoviaToUtf8(std::string_view mazovia)
{
    std::string out;
    for (char c : mazovia) appendUtf8(out, mazoviaByteToUnicode(static_cast<unsigned char>(c)));
    return out;
}

// --- Prices ----------------------------------------------------------------

int parsePrice(std::string_view text, double& units, std::string& problem)
{
    const std::string_view number = trimBlanks(text);
    const std::string shown(number.substr(0, 40));
    size_t pos = 0;
    bool negative = false;
    if (pos < number.size() && (number[pos] == '-' || number[pos] == '+')) {
        negative = number[pos] == '-';
        ++pos;
    }
    auto isDigit = [&](size_t at) {
        return at < number.size() && number[at] >= '0' && number[at] <= '9';
    };
    int64_t whole = 0;
    bool tooLarge = false;
    int digits = 0;
    for (; isDigit(pos); ++pos, ++digits) {
        if (!tooLarge) whole = whole * 10 + (number[pos] - '0');
        tooLarge = tooLarge || whole > kLargestPriceUnits / 10000;
    }
    int64_t fraction = 0;  // the first four decimals, in 1/10000 units
    bool roundUp = false;  // the fifth decimal is 5 or more: half away from zero
    if (pos < number.size() && number[pos] == '.') {
        ++pos;
        for (int place = 0; place < 4; ++place) {
            fraction *= 10;
            if (isDigit(pos)) fraction += number[pos++] - '0', ++digits;
        }
        if (isDigit(pos)) roundUp = number[pos] >= '5';
        while (isDigit(pos)) ++pos, ++digits;
    }
    if (digits == 0 || pos != number.size()) {
        if (number.find(',') != std::string_view::npos) {
            problem = formatText("\"%s\" is no number: write the decimal point as \".\", not \",\"",
                                 shown.c_str());
        } else {
            problem = formatText("\"%s\" is no number", shown.c_str());
        }
        return -1;
    }
    const int64_t total = tooLarge ? 0 : whole * 10000 + fraction + (roundUp ? 1 : 0);
    if (tooLarge || total > kLargestPriceUnits) {
        problem = formatText("\"%s\" is too large", shown.c_str());
        return -1;
    }
    units = static_cast<double>(negative ? -total : total);
    return 0;
}

std::string formatPrice(double units)
{
    if (std::isnan(units)) return "nan";
    if (std::isinf(units)) return units < 0 ? "-inf" : "inf";
    const double magnitude = std::fabs(units);
    const bool wholeUnits = magnitude == std::floor(magnitude);
    if (wholeUnits && magnitude <= static_cast<double>(kLargestPriceUnits)) {
        const auto whole = static_cast<int64_t>(magnitude);
        std::string text = formatText("%s%lld.%04lld", units < 0 ? "-" : "",
                                      static_cast<long long>(whole / 10000),
                                      static_cast<long long>(whole % 10000));
        while (text.size() - text.find('.') > 3 && text.back() == '0') text.pop_back();
        return text;
    }
    // Only files from elsewhere hold fractions of 1/10000 or numbers this
    // large; show them as closely as the text allows.
    return formatText("%.6f", units / 10000.0);
}

// --- Records ---------------------------------------------------------------

int compareCodes(const char* a, const char* b)
{
    for (size_t i = 0; i < sizeof(PriceRecord::code); ++i) {
        const auto ua = static_cast<unsigned char>(a[i]);
        const auto ub = static_cast<unsigned char>(b[i]);
        if (ua != ub) return ua < ub ? -1 : 1;
        if (ua == 0) return 0;
    }
    return 0;
}

size_t fieldLength(const char* field, size_t width)
{
    const void* zero = std::memchr(field, 0, width);
    return zero ? static_cast<size_t>(static_cast<const char*>(zero) - field) : width;
}

int buildRecords(const std::vector<CsvRow>& rows, std::vector<PriceRecord>& records,
                 PrchkMessages& messages)
{
    records.clear();
    if (rows.empty()) {
        messages.errors.push_back(
            formatText("the file is empty; its first line must be the header \"%s\"",
                       kPrchkCsvHeader));
        return -1;
    }
    if (!headerMatches(rows[0])) {
        addLineError(messages, rows[0].line,
                     formatText("the first line must be the header \"%s\"", kPrchkCsvHeader));
        return -1;
    }
    std::vector<NumberedRecord> numbered;
    numbered.reserve(rows.size() - 1);
    bool sound = true;
    for (size_t i = 1; i < rows.size(); ++i) {
        NumberedRecord item;
        item.line = rows[i].line;
        sound &= readRow(rows[i], item.record, messages);
        // A row with other faults still takes part in the duplicate check,
        // so one run reports all there is to mend.
        if (item.record.code[0] != 0) numbered.push_back(item);
    }
    std::stable_sort(numbered.begin(), numbered.end(), codeSortsFirst);
    for (size_t i = 1; i < numbered.size(); ++i) {
        if (compareCodes(numbered[i - 1].record.code, numbered[i].record.code) == 0) {
            addLineError(messages, numbered[i].line,
                         formatText("code \"%s\" is already on line %d", numbered[i].record.code,
                                    numbered[i - 1].line));
            sound = false;
        }
    }
    if (!sound) return -1;
    records.reserve(numbered.size());
    for (const NumberedRecord& item : numbered) records.push_back(item.record);
    return 0;
}

void sortRecords(std::vector<PriceRecord>& records)
{
    std::stable_sort(records.begin(), records.end(),
                     [](const PriceRecord& a, const PriceRecord& b) {
                         return compareCodes(a.code, b.code) < 0;
                     });
}

std::string serializeRecords(const std::vector<PriceRecord>& records)
{
    std::string bytes(records.size() * sizeof(PriceRecord), '\0');
    if (!records.empty()) std::memcpy(bytes.data(), records.data(), bytes.size());
    return bytes;
}

std::string recordsToCsv(const std::vector<PriceRecord>& records, PrchkMessages& messages)
{
    std::string out = kPrchkCsvHeader;
    out += '\n';
    for (size_t i = 0; i < records.size(); ++i) {
        const PriceRecord& record = records[i];
        const auto index = static_cast<int64_t>(i);
        checkDumpedText(record.code, sizeof record.code, "code", index, messages);
        checkDumpedText(record.name, sizeof record.name, "name", index, messages);
        checkDumpedText(record.unit, sizeof record.unit, "unit", index, messages);
        appendTextField(out, record.code, sizeof record.code);
        out += ',';
        appendTextField(out, record.name, sizeof record.name);
        appendPriceField(out, record.price, "price", index, messages);
        appendPriceField(out, record.gross2, "gross2", index, messages);
        appendPriceField(out, record.net1, "net1", index, messages);
        appendPriceField(out, record.net2, "net2", index, messages);
        out += ',';
        appendTextField(out, record.unit, sizeof record.unit);
        out += '\n';
    }
    return out;
}

// --- Files -----------------------------------------------------------------

int readWholeFile(const std::string& path, std::string& bytes, PrchkMessages& messages)
{
    FileHandle file = openFile(path, "rb");
    if (!file) {
        messages.errors.push_back(formatText("%s: cannot be opened for reading", path.c_str()));
        return -1;
    }
    bytes.clear();
    char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.append(chunk, got);
    if (std::ferror(file.get())) {
        messages.errors.push_back(formatText("%s: read error", path.c_str()));
        return -1;
    }
    return 0;
}

int writeFileReplacing(const std::string& path, std::string_view bytes, PrchkMessages& messages)
{
    const std::string temporary = path + ".tmp";
    {
        FileHandle file = openFile(temporary, "wb");
        if (!file) {
            messages.errors.push_back(
                formatText("%s: cannot be created; nothing was written", temporary.c_str()));
            return -1;
        }
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
        const bool flushed = std::fflush(file.get()) == 0;
        const bool closed = std::fclose(file.release()) == 0;
        if (!written || !flushed || !closed) {
            std::remove(temporary.c_str());
            messages.errors.push_back(
                formatText("%s: write error (disk full?); nothing was written", path.c_str()));
            return -1;
        }
    }
    // POSIX rename replaces the old file in one step. The Windows C library
    // refuses to rename over an existing file, so there the old file goes
    // first; the C library's functions are used throughout so that a path
    // with Polish letters means the same file to fopen, remove and rename.
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const bool replaced = std::remove(path.c_str()) == 0 &&
                              std::rename(temporary.c_str(), path.c_str()) == 0;
        if (!replaced) {
            std::remove(temporary.c_str());
            messages.errors.push_back(formatText(
                "%s: cannot be replaced (is it in use?); nothing was written", path.c_str()));
            return -1;
        }
    }
    return 0;
}

int readPriceFile(const std::string& path, std::vector<PriceRecord>& records,
                  int64_t& trailingBytes, PrchkMessages& messages)
{
    records.clear();
    trailingBytes = 0;
    FileHandle file = openFile(path, "rb");
    if (!file) {
        messages.errors.push_back(formatText("%s: cannot be opened for reading", path.c_str()));
        return -1;
    }
    PriceRecord record;
    size_t got = 0;
    while ((got = std::fread(&record, 1, sizeof record, file.get())) == sizeof record) {
        records.push_back(record);
    }
    if (std::ferror(file.get())) {
        messages.errors.push_back(formatText("%s: read error", path.c_str()));
        return -1;
    }
    trailingBytes = static_cast<int64_t>(got);
    return 0;
}

int buildPriceFile(const std::string& csvPath, const std::string& outPath, size_t& recordCount,
                   PrchkMessages& messages)
{
    recordCount = 0;
    std::string text;
    if (readWholeFile(csvPath, text, messages) != 0) return -1;
    std::vector<CsvRow> rows;
    std::vector<PriceRecord> records;
    if (parseCsv(text, rows, messages) != 0 || buildRecords(rows, records, messages) != 0) {
        return 1;
    }
    if (writeFileReplacing(outPath, serializeRecords(records), messages) != 0) return -1;
    recordCount = records.size();
    return 0;
}

int dumpPriceFile(const std::string& datPath, const std::string& csvPath, size_t& recordCount,
                  PrchkMessages& messages)
{
    recordCount = 0;
    std::vector<PriceRecord> records;
    int64_t trailingBytes = 0;
    if (readPriceFile(datPath, records, trailingBytes, messages) != 0) return -1;
    if (trailingBytes > 0) {
        messages.warnings.push_back(
            formatText("%s: %lld bytes after the last whole record are left out", datPath.c_str(),
                       static_cast<long long>(trailingBytes)));
    }
    const std::string csv = "\xEF\xBB\xBF" + recordsToCsv(records, messages);
    if (writeFileReplacing(csvPath, csv, messages) != 0) return -1;
    recordCount = records.size();
    return 0;
}

int verifyPriceFile(const std::string& path, VerifyReport& report, PrchkMessages& messages)
{
    report = VerifyReport{};
    FileHandle file = openFile(path, "rb");
    if (!file) {
        messages.errors.push_back(formatText("%s: cannot be opened for reading", path.c_str()));
        return -1;
    }
    FindingLog log{report};
    OrderCheck order;
    PriceRecord record;
    size_t got = 0;
    int64_t index = 0;
    for (; (got = std::fread(&record, 1, sizeof record, file.get())) == sizeof record; ++index) {
        checkRecordFields(log, record, index);
        checkOrder(log, order, record, index);
    }
    if (std::ferror(file.get())) {
        messages.errors.push_back(formatText("%s: read error", path.c_str()));
        return -1;
    }
    file.reset();
    report.records = index;
    report.trailingBytes = static_cast<int64_t>(got);
    if (got > 0) {
        addFinding(log, FileSize,
                   formatText("%zu bytes after the last whole record: the file length is not a "
                              "multiple of %d",
                              got, kPriceRecordSize));
    }
    if (index == 0) addFinding(log, FileSize, "the file holds no whole record");
    if (order.outOfOrder) {
        if (reportScatteredDuplicates(path, log, messages) != 0) return -1;
    } else {
        for (const std::string& text : order.adjacentDuplicates) {
            addFinding(log, DuplicateCode, text);
        }
        const auto listed = static_cast<int64_t>(order.adjacentDuplicates.size());
        report.findingCount += order.adjacentDuplicateCount - listed;
    }
    return report.findingCount == 0 ? 0 : 1;
}
