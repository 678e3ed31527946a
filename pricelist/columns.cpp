// Column names. A shop's spreadsheet may carry columns of its own (a
// supplier, a shelf, a net price the checker does not show); only the words
// below mean anything to the checker.
#include "pricelist/columns.h"

#include "base/text.h"
#include "base/utf8.h"
#include "lookup/polish_text.h"
#include "pricelist/encodings.h"

namespace {

using prchk::formatText;

// What a header word claims: a column, and how strongly. A column named by
// hand beats every word; a gross price beats a plain "Cena" beside it.
constexpr int kPlainWord = 1;
constexpr int kGrossWord = 2;
constexpr int kNamedByHand = 3;

struct HeaderWord {
    std::string_view folded;  // as foldHeaderWord leaves it
    PriceColumn column;
    int rank;
};

constexpr std::array<HeaderWord, 36> kHeaderWords = {{
    {"kod", kCodeColumn, kPlainWord},
    {"kodkreskowy", kCodeColumn, kPlainWord},
    {"kodean", kCodeColumn, kPlainWord},
    {"ean", kCodeColumn, kPlainWord},
    {"ean13", kCodeColumn, kPlainWord},
    {"ean-13", kCodeColumn, kPlainWord},
    {"kodtowaru", kCodeColumn, kPlainWord},
    {"code", kCodeColumn, kPlainWord},
    {"barcode", kCodeColumn, kPlainWord},
    {"nazwa", kNameColumn, kPlainWord},
    {"nazwatowaru", kNameColumn, kPlainWord},
    {"nazwaproduktu", kNameColumn, kPlainWord},
    {"towar", kNameColumn, kPlainWord},
    {"name", kNameColumn, kPlainWord},
    {"cena", kPriceColumn, kPlainWord},
    {"cenabrutto", kPriceColumn, kGrossWord},
    {"brutto", kPriceColumn, kGrossWord},
    {"brutto1", kPriceColumn, kGrossWord},
    {"cenasprzedaży", kPriceColumn, kPlainWord},
    {"cenadetaliczna", kPriceColumn, kPlainWord},
    {"cenazł", kPriceColumn, kPlainWord},
    {"price", kPriceColumn, kPlainWord},
    {"netto", kNet1Column, kPlainWord},
    {"netto1", kNet1Column, kPlainWord},
    {"cenanetto", kNet1Column, kPlainWord},
    {"net1", kNet1Column, kPlainWord},
    {"brutto2", kGross2Column, kPlainWord},
    {"gross2", kGross2Column, kPlainWord},
    {"netto2", kNet2Column, kPlainWord},
    {"net2", kNet2Column, kPlainWord},
    {"jednostka", kUnitColumn, kPlainWord},
    {"jednostkamiary", kUnitColumn, kPlainWord},
    {"jm", kUnitColumn, kPlainWord},
    {"jedn", kUnitColumn, kPlainWord},
    {"miara", kUnitColumn, kPlainWord},
    {"unit", kUnitColumn, kPlainWord},
}};

// How the user and the messages call each field.
struct FieldWords {
    const char* polish;      // the --column name, and the spreadsheet dump's header
    const char* english;     // the other --column name, and the plain dump's header
    const char* genitive;    // "brak kolumny ceny"
    const char* accusative;  // "obie oznaczają cenę"
    const char* examples;    // words the column answers to
};

constexpr std::array<FieldWords, kPriceColumnCount> kFieldWords = {{
    {"kod", "code", "kodu", "kod", "„kod”, „kod kreskowy”, „EAN”, „kod towaru”"},
    {"nazwa", "name", "nazwy", "nazwę", "„nazwa”, „nazwa towaru”, „towar”"},
    {"cena", "price", "ceny", "cenę", "„cena”, „cena brutto”, „brutto”, „cena sprzedaży”"},
    {"brutto2", "gross2", "ceny brutto 2", "cenę brutto 2", "„brutto 2”"},
    {"netto1", "net1", "ceny netto 1", "cenę netto 1", "„netto”, „cena netto”, „netto 1”"},
    {"netto2", "net2", "ceny netto 2", "cenę netto 2", "„netto 2”"},
    {"jednostka", "unit", "jednostki", "jednostkę", "„jednostka”, „j.m.”, „miara”"},
}};

// Whether `header` lists the Polish (false) or English (true) names in
// column order, as a dump writes them.
constexpr bool headerNamesColumns(std::string_view header, bool english, char separator) {
    for (size_t column = 0; column < kFieldWords.size(); ++column) {
        const std::string_view name =
            english ? kFieldWords[column].english : kFieldWords[column].polish;
        if (!header.starts_with(name)) return false;
        header.remove_prefix(name.size());
        if (column + 1 < kFieldWords.size()) {
            if (!header.starts_with(separator)) return false;
            header.remove_prefix(1);
        }
    }
    return header.empty();
}
static_assert(headerNamesColumns(kPrchkCsvHeader, true, ','));
static_assert(headerNamesColumns(kSpreadsheetCsvHeader, false, ';'));

// The Polish capital's small letter; any other character as it is.
char32_t polishLower(char32_t c) {
    constexpr size_t kSmallLetters = 9;  // the tables hold ą…ż, then Ą…Ż
    for (size_t j = kSmallLetters; j < mazoviaLetters.size(); ++j) {
        if (mazoviaByteToUnicode(mazoviaLetters[j]) == c) {
            return mazoviaByteToUnicode(mazoviaLetters[j - kSmallLetters]);
        }
    }
    return c;
}

// A header's name without case, blanks (a no-break space too), dots and
// brackets: "J.m.", "Cena [zł]" and "Kod\u00A0" become "jm", "cenazł", "kod".
std::string foldHeaderWord(std::string_view label) {
    constexpr std::u32string_view kDropped = U" \t\u00A0\u202F.()[]";
    std::string folded;
    size_t pos = 0;
    while (pos < label.size()) {
        char32_t c = 0;
        if (!prchk::decodeUtf8(label, pos, c)) {
            folded += label[pos++];
            continue;
        }
        if (kDropped.find(c) != std::u32string_view::npos) continue;
        appendUtf8(folded, c < 0x80 ? static_cast<char32_t>(toAsciiLower(static_cast<char>(c)))
                                    : polishLower(c));
    }
    return folded;
}

struct Claim {
    int column = -1;
    int rank = 0;
};

Claim claimOf(std::string_view label, const std::vector<NamedColumn>& named) {
    const std::string folded = foldHeaderWord(label);
    for (const NamedColumn& byHand : named) {
        if (folded == foldHeaderWord(byHand.header)) return {byHand.column, kNamedByHand};
    }
    for (const HeaderWord& word : kHeaderWords) {
        if (folded == word.folded) return {word.column, word.rank};
    }
    return {};
}

std::vector<Claim> claimsOf(const CsvRow& row, const std::vector<NamedColumn>& named) {
    std::vector<Claim> claims;
    for (const std::string& field : row.fields) claims.push_back(claimOf(field, named));
    return claims;
}

std::string labelOf(const CsvRow& header, size_t field) {
    return std::string(prchk::trimBlanks(header.fields[field]));
}

// Gives each column the field that claims it most strongly; two equally
// strong claims are an error naming both.
bool assignColumns(const CsvRow& header, const std::vector<Claim>& claims, ColumnMap& columns,
                   PrchkMessages& messages) {
    bool sound = true;
    for (int column = 0; column < kPriceColumnCount; ++column) {
        int best = -1;
        bool clash = false;
        for (size_t i = 0; i < claims.size(); ++i) {
            if (claims[i].column != column) continue;
            if (best < 0 || claims[i].rank > claims[best].rank) {
                best = static_cast<int>(i);
            } else if (claims[i].rank == claims[best].rank && !clash) {
                clash = true;
                prchk::addLineError(
                    messages, header.line,
                    formatText("kolumny %d (%s) i %zu (%s) obie oznaczają %s; zmień nazwę jednej "
                               "z nich w arkuszu albo wskaż właściwą opcją --column %s=NAGŁÓWEK",
                               best + 1, labelOf(header, best).c_str(), i + 1,
                               labelOf(header, i).c_str(), kFieldWords[column].accusative,
                               kFieldWords[column].polish));
                sound = false;
            }
        }
        columns.field[column] = best;
        if (best >= 0) columns.label[column] = labelOf(header, best);
    }
    return sound;
}

// One line of every column the list carries that the checker does not use.
void noteIgnoredColumns(const CsvRow& header, const std::vector<Claim>& claims,
                        const ColumnMap& columns, PrchkMessages& messages) {
    std::string named;
    int unnamed = 0;
    for (size_t i = 0; i < claims.size(); ++i) {
        const int column = claims[i].column;
        if (column >= 0 && columns.field[column] == static_cast<int>(i)) continue;
        const std::string label = labelOf(header, i);
        if (label.empty()) {
            ++unnamed;
            continue;
        }
        named += formatText("%s%zu (%s", named.empty() ? "" : ", ", i + 1, label.c_str());
        if (column >= 0) {
            named += formatText(" – %s wzięto z kolumny %d", kFieldWords[column].accusative,
                                columns.field[column] + 1);
        }
        named += ")";
    }
    if (unnamed > 0) {
        named += formatText("%s%s bez nazwy", named.empty() ? "" : "; ",
                            prchk::countOf(unnamed, "kolumna", "kolumny", "kolumn").c_str());
    }
    if (!named.empty()) messages.notes.push_back("pominięte kolumny: " + named);
}

// "kolumny ceny („cena”, ...)" for each required column the row lacks.
std::string missingColumns(const std::array<int, kPriceColumnCount>& field) {
    std::string text;
    for (int column : {kCodeColumn, kNameColumn, kPriceColumn}) {
        if (field[column] >= 0) continue;
        text += formatText("%skolumny %s (%s…)", text.empty() ? "" : " ani ",
                           kFieldWords[column].genitive, kFieldWords[column].examples);
    }
    return text;
}

}  // namespace

int columnOfFieldName(std::string_view name) {
    const std::string folded = foldHeaderWord(name);
    for (size_t column = 0; column < kFieldWords.size(); ++column) {
        if (folded == kFieldWords[column].polish || folded == kFieldWords[column].english) {
            return static_cast<int>(column);
        }
    }
    return -1;
}

int requiredColumnsNamed(const CsvRow& row, const std::vector<NamedColumn>& named) {
    std::array<bool, kPriceColumnCount> seen{};
    for (const Claim& claim : claimsOf(row, named)) {
        if (claim.column >= 0) seen[claim.column] = true;
    }
    return seen[kCodeColumn] + seen[kNameColumn] + seen[kPriceColumn];
}

int mapColumns(const CsvRow& header, const std::vector<NamedColumn>& named, ColumnMap& columns,
               PrchkMessages& messages) {
    columns = ColumnMap{};
    columns.fieldCount = header.fields.size();
    const std::vector<Claim> claims = claimsOf(header, named);
    bool sound = assignColumns(header, claims, columns, messages);
    for (const NamedColumn& byHand : named) {
        if (columns.field[byHand.column] >= 0 &&
            foldHeaderWord(columns.label[byHand.column]) == foldHeaderWord(byHand.header)) {
            continue;
        }
        prchk::addLineError(messages, header.line,
                            formatText("opcja --column %s=%s: w nagłówku nie ma takiej kolumny",
                                       kFieldWords[byHand.column].polish, byHand.header.c_str()));
        sound = false;
    }
    const std::string missing = missingColumns(columns.field);
    if (!missing.empty()) {
        prchk::addLineError(messages, header.line,
                            "w nagłówku brak " + missing +
                                "; nazwij tak kolumnę w arkuszu albo wskaż ją opcją --column");
        sound = false;
    }
    if (sound) noteIgnoredColumns(header, claims, columns, messages);
    return sound ? 0 : -1;
}

void reportNoHeader(const CsvRow* best, const std::vector<NamedColumn>& named, int lastLine,
                    PrchkMessages& messages) {
    if (best == nullptr) {
        const std::string rows =
            lastLine <= 1 ? std::string("wiersz 1") : formatText("wiersze 1–%d", lastLine);
        messages.errors.push_back(
            formatText("%s: w pierwszych %d niepustych wierszach nie ma nagłówka, czyli wiersza "
                       "z nazwami kolumn kodu, nazwy i ceny; dopisz go nad towarami, np. „%s”",
                       rows.c_str(), kHeaderSearchRows, kSpreadsheetCsvHeader));
        return;
    }
    std::array<int, kPriceColumnCount> field;
    field.fill(-1);
    for (const Claim& claim : claimsOf(*best, named)) {
        if (claim.column >= 0) field[claim.column] = 0;
    }
    prchk::addLineError(
        messages, best->line,
        formatText("nagłówka szukano w pierwszych %d niepustych wierszach; ten nazywa najwięcej "
                   "kolumn, ale brak w nim %s; nazwij tak kolumnę w arkuszu albo wskaż ją opcją "
                   "--column",
                   kHeaderSearchRows, missingColumns(field).c_str()));
}
