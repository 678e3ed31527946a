// Reading a price list. Every complaint names the rows and the column it is
// about, so a shop can mend the list in one go; nothing is written until the
// whole list reads cleanly. The list is read as a stream: only the records
// and one key per record stay in memory.
#include "pricelist/price_list.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "lookup/check_state.h"
#include "pricelist/columns.h"
#include "pricelist/price_text.h"
#include "pricelist/records.h"

namespace {

using prchk::formatText;
using prchk::quotedText;

// One row being read, and where its complaints go.
struct RowReading {
    const CsvRow& row;
    const ColumnMap& columns;
    const CsvForm& form;
    PrchkMessages& messages;
    std::string& scratch;  // reused for each name, so a row costs no allocation
};

void complain(const RowReading& r, PriceColumn column, const FieldProblem& problem) {
    prchk::addRowError(r.messages, r.row.line, r.columns.field[column] + 1, r.columns.label[column],
                       problem);
}

void warn(const RowReading& r, PriceColumn column, const FieldProblem& problem) {
    prchk::addRowWarning(r.messages, r.row.line, r.columns.field[column] + 1,
                         r.columns.label[column], problem);
}

// A column's field in the row; empty when the header has no such column or
// the row ends before it (a spreadsheet leaves trailing empty cells out).
const std::string& fieldOf(const RowReading& r, PriceColumn column) {
    static const std::string missing;
    const int field = r.columns.field[column];
    return field < 0 || static_cast<size_t>(field) >= r.row.fields.size() ? missing
                                                                          : r.row.fields[field];
}

bool quotedAt(const RowReading& r, PriceColumn column) {
    const int field = r.columns.field[column];
    return field >= 0 && static_cast<size_t>(field) < r.row.quoted.size() && r.row.quoted[field];
}

// Copies text that is known to fit into a zeroed field.
void storeText(char* field, std::string_view text) {
    std::memcpy(field, text.data(), text.size());
}

bool allDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), isAsciiDigit);
}

// A spreadsheet that shows a 13-digit code in a column of numbers writes it
// as "5,90123E+12": its digits are gone, whatever the list says after.
bool isShortenedNumber(std::string_view code) {
    const size_t e = code.find_first_of("Ee");
    if (e == std::string_view::npos || e == 0 || e + 1 >= code.size()) return false;
    const auto digitsOrMark = [](std::string_view part, const char* allowed) {
        return !part.empty() && part.find_first_not_of(allowed) == std::string_view::npos;
    };
    std::string_view exponent = code.substr(e + 1);
    if (exponent[0] == '+' || exponent[0] == '-') exponent.remove_prefix(1);
    return digitsOrMark(code.substr(0, e), "0123456789.,") && digitsOrMark(exponent, "0123456789");
}

bool hasEan13CheckDigit(std::string_view code) {
    int sum = 0;
    for (size_t i = 0; i < 12; ++i) sum += (code[i] - '0') * (i % 2 == 0 ? 1 : 3);
    return (10 - sum % 10) % 10 == code[12] - '0';
}

// The checker cuts what it receives at 13 characters and at the first
// character that is neither digit nor letter, so such records can never be
// found. A spreadsheet that took a code for a number dropped its leading
// zeros ("0012345678905" became "12345678905") or rounded it: what is left
// is seldom a code of a standard length or with a right check digit.
void warnOfCode(const RowReading& r, std::string_view code) {
    const FieldProblem problem{"", quotedText(code)};
    const auto warnThat = [&](const char* text) { warn(r, kCodeColumn, {text, problem.value}); };
    if (!std::all_of(code.begin(), code.end(), isAsciiDigitOrLetter)) {
        warnThat("kod {} ma znak inny niż litera i cyfra; sprawdzarka nigdy go nie znajdzie");
    } else if (code.size() > kLookedUpCodeLength) {
        warnThat("kod {} ma więcej niż 13 znaków; sprawdzarka nigdy go nie znajdzie");
    } else if (allDigits(code) && code.size() >= 9 && code.size() <= 11) {
        warnThat(
            "kod {} ma 9–11 cyfr: arkusz mógł zgubić zera na początku kodu; sformatuj "
            "kolumnę kodów jako tekst i wpisz kody z zerami");
    } else if (allDigits(code) && code.size() == 13 && !hasEan13CheckDigit(code)) {
        warnThat(
            "kod {} ma złą cyfrę kontrolną EAN-13: arkusz mógł zaokrąglić kod albo zgubić "
            "zera na jego początku; sformatuj kolumnę kodów jako tekst i wpisz kody jeszcze "
            "raz");
    }
}

// The code column: printable ASCII, as scanners and keyboards deliver it,
// without the blanks a spreadsheet may leave around it.
bool readCode(const RowReading& r, PriceRecord& record) {
    const std::string_view code = prchk::trimBlanks(fieldOf(r, kCodeColumn));
    const auto notPrintable = [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b >= 0x7F;
    };
    if (code.empty()) {
        complain(r, kCodeColumn,
                 {"brak kodu; każdy towar musi mieć kod – wpisz go albo usuń wiersz", ""});
    } else if (std::any_of(code.begin(), code.end(), notPrintable)) {
        complain(r, kCodeColumn,
                 {"kod {} ma znak, którego czytnik nie wysyła (dozwolone są litery, cyfry i znaki "
                  "ASCII); popraw kod",
                  quotedText(code)});
    } else if (isShortenedNumber(code)) {
        complain(r, kCodeColumn,
                 {"kod {} to liczba skrócona przez arkusz i jego cyfry przepadły; sformatuj "
                  "kolumnę kodów jako tekst, wpisz kody jeszcze raz i ponownie zapisz plik",
                  quotedText(code)});
    } else if (code.size() > static_cast<size_t>(kMaxRecordCodeLength)) {
        complain(r, kCodeColumn,
                 {formatText("kod {} ma więcej niż %d znaków; skróć go", kMaxRecordCodeLength),
                  quotedText(code)});
    } else {
        warnOfCode(r, code);
        storeText(record.code, code);
        return true;
    }
    return false;
}

void warnOfPlainForms(const RowReading& r, PriceColumn column, unsigned plainForms) {
    for (unsigned bit = 0; bit < kPlainFormKinds; ++bit) {
        if ((plainForms & (1u << bit)) != 0) {
            warn(r, column, {std::string(plainFormNote(1u << bit)), ""});
        }
    }
}

// A name or unit column, recoded to Mazovia and checked against its width.
bool readText(const RowReading& r, PriceColumn column, size_t maxLength, bool required,
              char* field) {
    const std::string& text = fieldOf(r, column);
    std::string& mazovia = r.scratch;
    FieldProblem problem;
    unsigned plainForms = 0;
    if (utf8ToMazovia(text, mazovia, problem, plainForms) != 0) {
        complain(r, column, problem);
        return false;
    }
    warnOfPlainForms(r, column, plainForms);
    // Excel saves in Windows-1250 whatever that page lacks as "?".
    if (r.form.encoding == TextEncoding::Windows1250 && text.find('?') != std::string::npos) {
        warn(r, column,
             {"znak „?”: arkusz zapisujący plik w Windows-1250 wstawia go w miejsce znaku, "
              "którego to kodowanie nie ma (np. ½ albo ²); sprawdź tekst w arkuszu albo zapisz "
              "cennik jako „CSV UTF-8”",
              ""});
    }
    if (required && mazovia.empty()) {
        complain(r, column, {"brak nazwy; wpisz nazwę towaru", ""});
        return false;
    }
    if (mazovia.size() > maxLength) {
        complain(r, column,
                 {formatText("tekst ma {}, a pole mieści najwyżej %zu; skróć go", maxLength),
                  prchk::countOf(static_cast<int64_t>(mazovia.size()), "znak", "znaki", "znaków")});
        return false;
    }
    storeText(field, mazovia);
    return true;
}

// A ","-separated file from a Polish spreadsheet quotes its decimal commas
// ("6,49"): such a field, with one comma and no point, is a Polish number.
char decimalMarkOf(const RowReading& r, PriceColumn column) {
    if (r.form.separator != ',' || r.form.decimalMark != '.' || !quotedAt(r, column)) {
        return r.form.decimalMark;
    }
    const std::string& text = fieldOf(r, column);
    const bool polish =
        std::count(text.begin(), text.end(), ',') == 1 && text.find('.') == std::string::npos;
    return polish ? ',' : '.';
}

bool readPriceColumn(const RowReading& r, PriceColumn column, bool required, double& units) {
    const std::string& text = fieldOf(r, column);
    units = 0.0;
    if (prchk::trimBlanks(text).empty()) {
        const char* example = r.form.decimalMark == ',' ? "brak ceny; wpisz cenę, np. 12,99"
                                                        : "brak ceny; wpisz cenę, np. 12.99";
        if (required) complain(r, column, {example, ""});
        return !required;
    }
    FieldProblem problem;
    const char mark = decimalMarkOf(r, column);
    const int kept = r.form.keepFourDecimals ? kPriceFileDecimals : kGroszDecimals;
    const int read = parsePrice(text, units, problem, mark, kept);
    if (read < 0) {
        complain(r, column, problem);
        return false;
    }
    if (read > 0 && kept == kGroszDecimals) {
        warn(r, column,
             {"ceny z więcej niż dwoma miejscami po przecinku zaokrąglono do pełnych groszy, np. "
              "{}; jeśli to wynik formuły, zaokrąglij go w arkuszu (funkcja ZAOKR)",
              problem.value + " → " + formatPrice(units, mark)});
    }
    return true;
}

const char* separatorName(char separator) {
    if (separator == ';') return "średnik";
    return separator == ',' ? "przecinek (np. dziesiętny)" : "tabulator";
}

// One CSV row into one record; every problem of the row is reported.
bool readRecord(const RowReading& r, PriceRecord& record) {
    if (r.row.fields.size() > r.columns.fieldCount) {
        prchk::addRowError(
            r.messages, r.row.line, 0, {},
            {formatText("więcej pól ({}) niż w nagłówku (%zu); zwykle to %s w polu bez "
                        "cudzysłowu – ujmij takie pole w cudzysłów albo usuń zbędny separator",
                        r.columns.fieldCount, separatorName(r.form.separator)),
             std::to_string(r.row.fields.size())});
        return false;
    }
    bool sound = readCode(r, record);
    sound &= readText(r, kNameColumn, kMaxRecordNameLength, true, record.name);
    // The record is packed: its doubles are filled by value, never through
    // a reference to a misaligned member.
    double price = 0, gross2 = 0, net1 = 0, net2 = 0;
    sound &= readPriceColumn(r, kPriceColumn, true, price);
    sound &= readPriceColumn(r, kGross2Column, false, gross2);
    sound &= readPriceColumn(r, kNet1Column, false, net1);
    sound &= readPriceColumn(r, kNet2Column, false, net2);
    record.price = price;
    record.gross2 = gross2;
    record.net1 = net1;
    record.net2 = net2;
    sound &= readText(r, kUnitColumn, kMaxRecordUnitLength, false, record.unit);
    if (sound && std::strlen(record.unit) > kUnitShownLength) {
        warn(r, kUnitColumn,
             {formatText("jednostka {} ma więcej niż %zu znaków; sprawdzarka pokaże tylko "
                         "pierwsze %zu",
                         kUnitShownLength, kUnitShownLength),
              quotedText(fieldOf(r, kUnitColumn))});
    }
    return sound;
}

// Reads the next row, bringing in more text as the reader needs it. With
// `drop`, text already read is let go, so only a piece of the list is held.
int nextRow(TextStream& stream, CsvCursor& in, CsvRow& row, PrchkMessages& messages, bool drop) {
    for (;;) {
        in.text = stream.text;
        in.final = stream.ended;
        const int got = readCsvRow(in, row, messages);
        if (got != 0 || stream.ended) return got;
        if (drop && in.pos > 0) {
            dropText(stream, in.pos);
            in.pos = 0;
        }
        readMoreText(stream);
    }
}

// Where the header row starts, and the separator that makes it one.
struct HeaderSearch {
    bool found = false;
    size_t pos = 0;
    int line = 1;
    char separator = 0;
    bool anyRow = false;  // a non-blank row was seen
    int lastLine = 1;
    CsvRow best;  // the row that names the most required columns
    int bestCount = 0;
};

// A row of bare separators is blank whichever separator splits it, so a
// list's empty rows count alike while separators are tried.
bool holdsNoText(const CsvRow& row) {
    return std::all_of(row.fields.begin(), row.fields.end(), [](const std::string& field) {
        return prchk::trimBlanks(field).find_first_not_of(";,\t") == std::string_view::npos;
    });
}

// Looks for the header among the first non-blank rows split by `separator`.
void searchHeader(TextStream& stream, char separator, const std::vector<NamedColumn>& named,
                  HeaderSearch& search) {
    CsvCursor in{{}, separator};
    CsvRow row;
    PrchkMessages ignored;  // a wrong separator meets broken quotes; the right one reports them
    for (int rows = 0; rows < kHeaderSearchRows;) {
        const size_t start = in.pos;
        if (nextRow(stream, in, row, ignored, false) != 1) return;
        search.lastLine = std::max(search.lastLine, row.line);
        if (holdsNoText(row)) continue;
        ++rows;
        search.anyRow = true;
        const int count = requiredColumnsNamed(row, named);
        if (count == 3) {
            if (!search.found || row.line < search.line) {
                search = HeaderSearch{true, start, row.line, separator, true, search.lastLine};
            }
            return;
        }
        if (count > search.bestCount) {
            search.bestCount = count;
            search.best = row;
        }
    }
}

int findHeader(TextStream& stream, const CsvForm& form, HeaderSearch& search,
               PrchkMessages& messages) {
    if (stream.text.empty()) readMoreText(stream);
    const std::string separators =
        form.separator != 0 ? std::string(1, form.separator) : separatorsToTry(stream.text);
    for (char separator : separators) searchHeader(stream, separator, form.namedColumns, search);
    if (search.found) return 0;
    if (!search.anyRow) {
        prchk::addLineError(messages, 1,
                            formatText("plik jest pusty; cennik zaczyna się od wiersza z nazwami "
                                       "kolumn, np. „%s”",
                                       kSpreadsheetCsvHeader));
    } else {
        reportNoHeader(search.bestCount > 0 ? &search.best : nullptr, form.namedColumns,
                       search.lastLine, messages);
    }
    return -1;
}

bool codeSortsFirst(const RecordKey& a, const RecordKey& b) {
    const int order = std::memcmp(a.code, b.code, sizeof a.code);
    return order != 0 ? order < 0 : a.index < b.index;
}

// Sorts the keys and reports every code that stands twice, on the rows
// after its first.
bool checkCodes(PriceTable& table, const ColumnMap& columns, PrchkMessages& messages) {
    std::sort(table.order.begin(), table.order.end(), codeSortsFirst);
    bool sound = true;
    size_t first = 0;
    for (size_t i = 1; i < table.order.size(); ++i) {
        const RecordKey& key = table.order[i];
        if (std::memcmp(key.code, table.order[i - 1].code, sizeof key.code) != 0) {
            first = i;
            continue;
        }
        prchk::addRowError(
            messages, key.line, columns.field[kCodeColumn] + 1, columns.label[kCodeColumn],
            {"kod {} powtarza się; każdy towar musi mieć inny kod – usuń albo "
             "popraw powtórzony wiersz",
             formatText("„%s” (pierwszy raz w wierszu %d)", key.code, table.order[first].line)});
        sound = false;
    }
    return sound;
}

// The rows below the header into records and their keys. A row with other
// faults still takes part in the duplicate check, so one run reports all
// there is to mend.
bool readRows(TextStream& stream, CsvCursor& in, const ColumnMap& columns, const CsvForm& form,
              PriceTable& table, PrchkMessages& messages) {
    CsvRow row;
    std::string scratch;
    bool sound = true;
    int got = 0;
    while ((got = nextRow(stream, in, row, messages, true)) == 1) {
        if (isBlankRow(row)) continue;
        PriceRecord* record = addRecord(table.records);
        if (record == nullptr) {
            prchk::addLineError(messages, row.line,
                                formatText("za mało pamięci na więcej towarów (wczytano %zu); "
                                           "zamknij inne programy i spróbuj jeszcze raz",
                                           table.records.count));
            return false;
        }
        sound &= readRecord(RowReading{row, columns, form, messages, scratch}, *record);
        if (record->code[0] == 0) continue;
        RecordKey& key = table.order.emplace_back();
        std::memcpy(key.code, record->code, sizeof key.code);
        key.line = row.line;
        key.index = static_cast<uint32_t>(table.records.count - 1);
    }
    return got == 0 && sound;
}

// Everything below the header: the columns, the rows, the codes.
int readBelowHeader(TextStream& stream, const HeaderSearch& search, CsvForm& form,
                    PriceTable& table, PrchkMessages& messages) {
    CsvCursor in{{}, form.separator, search.pos, search.line};
    CsvRow header;
    nextRow(stream, in, header, messages, false);
    if (search.line > 1) {
        messages.notes.push_back(
            formatText("nagłówek jest w wierszu %d; wiersze nad nim pominięto", search.line));
    }
    ColumnMap columns;
    if (mapColumns(header, form.namedColumns, columns, messages) != 0) return -1;
    bool sound = readRows(stream, in, columns, form, table, messages);
    sound &= checkCodes(table, columns, messages);
    prchk::finishRowFaults(messages);
    // A list of no items would make a price file in which nothing is found.
    if (sound && table.order.empty()) {
        prchk::addLineError(messages, header.line,
                            "pod nagłówkiem nie ma żadnego towaru; plik cen bez towarów niczego "
                            "nie znajdzie");
        return -1;
    }
    return sound && messages.errors.empty() ? 0 : -1;
}

}  // namespace

int readPriceTable(ByteSource& source, CsvForm& form, PriceTable& table, PrchkMessages& messages) {
    table = PriceTable{};
    int64_t lineCount = 0;
    if (scanPriceListBytes(source, form.encoding, lineCount, messages) != 0) return -1;
    TextStream stream;
    stream.source = &source;
    stream.encoding = form.encoding;
    HeaderSearch search;
    if (findHeader(stream, form, search, messages) != 0) return -1;
    form.separator = search.separator;
    if (form.decimalMark == 0) form.decimalMark = form.separator == ',' ? '.' : ',';
    table.order.reserve(static_cast<size_t>(lineCount));
    const int read = readBelowHeader(stream, search, form, table, messages);
    if (read != 0) table = PriceTable{};
    return read;
}

int readPriceList(std::string_view bytes, CsvForm& form, std::vector<PriceRecord>& records,
                  PrchkMessages& messages) {
    records.clear();
    ByteSource source{nullptr, bytes};
    PriceTable table;
    if (readPriceTable(source, form, table, messages) != 0) return -1;
    records.reserve(table.order.size());
    for (const RecordKey& key : table.order) records.push_back(recordAt(table.records, key.index));
    return 0;
}

std::string describeCsvForm(const CsvForm& form) {
    const char* encoding = form.encoding == TextEncoding::Windows1250 ? "Windows-1250"
                           : form.encoding == TextEncoding::Utf16     ? "UTF-16"
                                                                      : "UTF-8";
    const std::string separator =
        form.separator == '\t' ? "tabulatorem" : formatText("„%c”", form.separator);
    return formatText("tekst %s, pola rozdzielone %s, znak dziesiętny „%c”", encoding,
                      separator.c_str(), form.decimalMark);
}
