// The prchk tool: CSV price lists in, PRCHK.DAT out and back, and the
// checks it makes on price files from anywhere.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "lookup/entry.h"
#include "lookup/polish_text.h"
#include "lookup/price_file.h"
#include "pricelist/pricelist.h"
#include "settings/settings.h"
#include "tests/support/fakes.h"
#include "tests/support/price_file_builder.h"

namespace {

const std::string header = std::string(kPrchkCsvHeader) + "\n";

std::string readBytes(const std::string& path) {
    std::string bytes;
    PrchkMessages ignored;
    readWholeFile(path, bytes, ignored);
    return bytes;
}

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string repeated(std::string_view text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

// Runs the built tool with `args` (already quoted), catching what it prints.
ToolRun runTool(const TempFolder& folder, const std::string& args) {
    const std::string outPath = folder.file("tool-stdout.txt");
    const std::string errPath = folder.file("tool-stderr.txt");
    const std::string command =
        quoted(LUMIVO_PRCHK_TOOL) + " " + args + " >" + quoted(outPath) + " 2>" + quoted(errPath);
    const int status = std::system(command.c_str());
    ToolRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = readBytes(outPath);
    run.err = readBytes(errPath);
    return run;
}

// The records of a CSV price list's bytes, read as `prchk build` reads them.
std::vector<PriceRecord> recordsOf(const std::string& csv, PrchkMessages& messages,
                                   CsvForm form = {}) {
    std::vector<PriceRecord> records;
    readPriceList(csv, form, records, messages);
    return records;
}

double unitsOf(const char* text) {
    double units = -12345;
    FieldProblem problem;
    EXPECT_GE(parsePrice(text, units, problem), 0) << text << ": " << problem.text;
    return units;
}

// Text as Excel saves "Tekst Unicode": UTF-16 after its byte-order mark.
std::string utf16Of(std::string_view utf8, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (size_t pos = 0; pos < utf8.size();) {
        char32_t c = 0;
        prchk::decodeUtf8(utf8, pos, c);
        const char high = static_cast<char>(c >> 8);
        const char low = static_cast<char>(c & 0xFF);
        out += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return out;
}

// --- Letters -----------------------------------------------------------------

TEST(PrchkLetters, PolishLettersBecomeTheProgramsMazoviaBytesAndComeBack) {
    const std::string letters = "ąćęłńóśźżĄĆĘŁŃÓŚŹŻ";
    std::string mazovia;
    FieldProblem problem;
    unsigned plainForms = 0;
    ASSERT_EQ(utf8ToMazovia("Zażółć " + letters, mazovia, problem, plainForms), 0);
    const std::string expected(mazoviaLetters.begin(), mazoviaLetters.end());
    EXPECT_EQ(mazovia.substr(7), expected);
    EXPECT_EQ(mazovia.substr(0, 7), "Za\xA7\xA2\x92\x8D ");
    EXPECT_EQ(mazoviaToUtf8(mazovia), "Zażółć " + letters);
}

TEST(PrchkLetters, EveryMazoviaByteHasItsOwnCharacter) {
    std::set<std::string> seen;
    for (int b = 0x80; b <= 0xFF; ++b) {
        const std::string utf8 = mazoviaToUtf8(std::string(1, static_cast<char>(b)));
        EXPECT_GE(utf8.size(), 2u) << b;
        seen.insert(utf8);
    }
    EXPECT_EQ(seen.size(), 128u);
    EXPECT_EQ(mazoviaToUtf8("\x82\x9B\xF8"), "é¢°");
}

TEST(PrchkLetters, RefusesWhatTheCheckerCannotShowAndBrokenUtf8) {
    for (const char* text : {"Caf\xC3\xA9", "5 \xE2\x82\xAC", "tab\there", "\xC0\x80", "\xC5",
                             "\xED\xA0\x80", "\xFF"}) {
        std::string mazovia;
        FieldProblem problem;
        unsigned plainForms = 0;
        EXPECT_EQ(utf8ToMazovia(text, mazovia, problem, plainForms), -1) << text;
        EXPECT_FALSE(problem.value.empty());
    }
}

TEST(PrchkLetters, Windows1250LettersAreTheProgramsPolishLetters) {
    std::string utf8;
    const LetterTable& page = win1250Letters;
    EXPECT_EQ(windows1250ToUtf8(std::string(page.begin(), page.end()), utf8), std::string::npos);
    EXPECT_EQ(utf8, mazoviaToUtf8(std::string(mazoviaLetters.begin(), mazoviaLetters.end())));
    size_t missing = 0;
    const std::string mazovia(mazoviaLetters.begin(), mazoviaLetters.end());
    EXPECT_EQ(mazoviaToWindows1250(mazovia + "\x82\xB0", missing),
              std::string(page.begin(), page.end()) + "\xE9?");
    EXPECT_EQ(missing, 1u);  // é is in both pages, a box-drawing shade only in Mazovia
}

// --- Prices ------------------------------------------------------------------

TEST(PrchkPrices, ReadsCurrencyUnitsIntoTenThousandthsRoundedHalfAway) {
    EXPECT_EQ(unitsOf("12.99"), 129900);
    EXPECT_EQ(unitsOf(" 3.1 "), 31000);
    EXPECT_EQ(unitsOf("7"), 70000);
    EXPECT_EQ(unitsOf(".5"), 5000);
    EXPECT_EQ(unitsOf("5."), 50000);
    EXPECT_EQ(unitsOf("-1.25"), -12500);
    EXPECT_EQ(unitsOf("1.23455"), 12346);
    EXPECT_EQ(unitsOf("1.234549999"), 12345);
    EXPECT_EQ(unitsOf("-0.00005"), -1);
    EXPECT_EQ(unitsOf("0.29"), 2900);  // 0.29 * 10000 is 2899.99... in a double
}

TEST(PrchkPrices, RefusesWhatIsNoNumberOrTooLarge) {
    for (const char* text : {"", "abc", "1e3", "nan", "inf", "1.2.3", "--1", "+", ".", "12 zl",
                             "zł", "12 zł 50", "999999999999", "0x10"}) {
        double units = 0;
        FieldProblem problem;
        EXPECT_EQ(parsePrice(text, units, problem), -1) << text;
    }
    double units = 0;
    FieldProblem problem;
    EXPECT_EQ(parsePrice("12,99", units, problem), -1);
    EXPECT_NE(problem.text.find("oddziela kropka (12.99)"), std::string::npos) << problem.text;
}

TEST(PrchkPrices, ReadsTheDecimalCommaAndThousandsGroupsOfASpreadsheet) {
    for (const auto& [text, units] :
         std::vector<std::pair<const char*, double>>{{"12,99", 129900},
                                                     {"1 299,00", 12990000},
                                                     {"1\xC2\xA0"
                                                      "299,5",
                                                      12995000},
                                                     {"-0,5", -5000},
                                                     {"12 345 678", 123456780000},
                                                     {",5", 5000}}) {
        double read = 0;
        FieldProblem problem;
        EXPECT_EQ(parsePrice(text, read, problem, ','), 0) << text << ": " << problem.text;
        EXPECT_EQ(read, units) << text;
    }
    for (const auto& [text, why] :
         std::vector<std::pair<const char*, const char*>>{{"12.99", "oddziela przecinek (12,99)"},
                                                          {"1,2,3", "dwa znaki dziesiętne"},
                                                          {"1 2999", "to nie liczba"},
                                                          {"12 99", "to nie liczba"},
                                                          {"1  299", "to nie liczba"}}) {
        double read = 0;
        FieldProblem problem;
        EXPECT_EQ(parsePrice(text, read, problem, ','), -1) << text;
        EXPECT_NE(problem.text.find(why), std::string::npos) << problem.text;
    }
    EXPECT_EQ(formatPrice(12990000, ','), "1299,00");
}

TEST(PrchkPrices, ZlotyMarksAndRoundingToGroszeFromTheWrittenDigits) {
    struct Case {
        const char* text;
        double units;
        int result;  // 1: rounded
    };
    for (const Case& c : std::vector<Case>{{"39,9873 zł", 399900, 1},
                                           {"1,005", 10100, 1},
                                           {"-1,005", -10100, 1},
                                           {"1,23449", 12300, 1},  // not 1,2345 and then 1,24
                                           {"0,225", 2300, 1},
                                           {"6,49\xC2\xA0zł", 64900, 0},
                                           {"PLN 3,10", 31000, 0},
                                           {"ZŁ1 299,50", 12995000, 0},
                                           {"1,2300", 12300, 0}}) {
        double units = 0;
        FieldProblem problem;
        EXPECT_EQ(parsePrice(c.text, units, problem, ',', kGroszDecimals), c.result) << c.text;
        EXPECT_EQ(units, c.units) << c.text;
    }
}

TEST(PrchkPrices, FormattedPricesReadBackToTheSameNumber) {
    EXPECT_EQ(formatPrice(129900), "12.99");
    EXPECT_EQ(formatPrice(249000), "24.90");
    EXPECT_EQ(formatPrice(12345), "1.2345");
    EXPECT_EQ(formatPrice(0), "0.00");
    EXPECT_EQ(formatPrice(-5), "-0.0005");
    EXPECT_EQ(formatPrice(NAN), "nan");
    const double large = static_cast<double>(kLargestPriceUnits);
    for (double units : {1.0, 9999.0, 10000.0, -123456789.0, 99999999999999.0, large, -large}) {
        double back = 0;
        FieldProblem problem;
        ASSERT_EQ(parsePrice(formatPrice(units), back, problem), 0) << formatPrice(units);
        EXPECT_EQ(back, units);
    }
}

// --- CSV ---------------------------------------------------------------------

TEST(PrchkCsv, QuotedFieldsBlankLinesBomAndLineNumbers) {
    const std::string text =
        "\xEF\xBB\xBF"
        "a,b\r\n\r\n\"x, \"\"y\"\"\",2,\n\"two\nlines\",3\nlast,4";
    std::vector<CsvRow> rows;
    PrchkMessages messages;
    ASSERT_EQ(parseCsv(text, rows, messages), 0);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].fields, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(rows[1].line, 3);
    EXPECT_EQ(rows[1].fields, (std::vector<std::string>{"x, \"y\"", "2", ""}));
    EXPECT_EQ(rows[2].line, 4);
    EXPECT_EQ(rows[2].fields[0], "two\nlines");
    EXPECT_EQ(rows[3].line, 6);

    rows.clear();
    ASSERT_EQ(parseCsv("a,b,", rows, messages), 0);  // an empty last field at the very end
    EXPECT_EQ(rows[0].fields, (std::vector<std::string>{"a", "b", ""}));
}

TEST(PrchkCsv, BrokenQuotingNamesItsLine) {
    for (const char* text : {"a,b\n\"open,1\n2\n", "a,b\n\"closed\"x,1\n"}) {
        std::vector<CsvRow> rows;
        PrchkMessages messages;
        EXPECT_EQ(parseCsv(text, rows, messages), -1) << text;
        ASSERT_EQ(messages.errors.size(), 1u);
        EXPECT_EQ(messages.errors[0].rfind("wiersz 2:", 0), 0u) << messages.errors[0];
    }
}

TEST(PrchkCsv, FieldsThatNeedQuotesAreQuoted) {
    std::string out;
    appendCsvField(out, "plain");
    appendCsvField(out, "a,b");
    appendCsvField(out, "say \"hi\"");
    appendCsvField(out, " lead");
    EXPECT_EQ(out, "plain\"a,b\"\"say \"\"hi\"\"\"\" lead\"");
}

// --- Building ----------------------------------------------------------------

TEST(PrchkBuild, RecordsAreLaidOutByteExactlyAndSortedAsUnsignedBytes) {
    PrchkMessages messages;
    const auto records = recordsOf(header +
                                       "2,Masło,12.99,1,2.5,,kg\n10,B,1,,,,\n1,C,1,,,,\n"
                                       "Z,D,1,,,,\na,E,1,,,,\n",
                                   messages);
    ASSERT_TRUE(messages.errors.empty()) << messages.errors[0];
    std::vector<std::string> codes;
    for (const PriceRecord& record : records) codes.push_back(record.code);
    EXPECT_EQ(codes, (std::vector<std::string>{"1", "10", "2", "Z", "a"}));

    const std::string bytes = serializeRecords(records);
    ASSERT_EQ(bytes.size(), 5u * 194);
    const char* masło = bytes.data() + 2 * 194;
    EXPECT_EQ(std::string(masło, 2), std::string("2\0", 2));
    EXPECT_EQ(std::string(masło + 17, 6), std::string("Mas\x92o\0", 6));
    double price = 0, gross2 = 0, net1 = 0, net2 = -1;
    std::memcpy(&price, masło + 138, 8);
    std::memcpy(&gross2, masło + 146, 8);
    std::memcpy(&net1, masło + 154, 8);
    std::memcpy(&net2, masło + 162, 8);
    EXPECT_EQ(price, 129900.0);
    EXPECT_EQ(gross2, 10000.0);
    EXPECT_EQ(net1, 25000.0);
    EXPECT_EQ(net2, 0.0);
    EXPECT_EQ(std::string(masło + 170, 9), std::string("\0\0\0\0\0\0kg\0", 9));

    const char high[17] = "\x80";
    EXPECT_GT(compareRecordCodes(high, "A"), 0);  // unsigned, as the lookup compares
    EXPECT_LT(compareRecordCodes("12", "123"), 0);
}

TEST(PrchkBuild, BuildDumpBuildGivesTheSameFile) {
    TempFolder folder;
    const std::string csv = folder.file("items.csv");
    ASSERT_TRUE(writeBytes(csv, header + "5901234123457,\"Kawa \"\"Mała\"\", 250 g\",16.99,0.5,,"
                                         "0.0001,szt\n2100012, Szynka z beczki ,39.99,,,,kg\n"
                                         "X1,ŻÓŁW,-1.5,,,,\n"));
    const std::string dat1 = folder.file("one.dat");
    const std::string dumped = folder.file("dump.csv");
    const std::string dat2 = folder.file("two.dat");
    // A back-office program's file may hold four decimals; the option keeps them.
    const std::string build = "build --keep-decimals ";
    ASSERT_EQ(runTool(folder, build + quoted(csv) + " " + quoted(dat1)).exitCode, 0);
    ASSERT_EQ(runTool(folder, "dump " + quoted(dat1) + " " + quoted(dumped)).exitCode, 0);
    const ToolRun rebuilt = runTool(folder, build + quoted(dumped) + " " + quoted(dat2));
    ASSERT_EQ(rebuilt.exitCode, 0) << rebuilt.err;
    EXPECT_EQ(rebuilt.err, "");
    EXPECT_EQ(readBytes(dat1), readBytes(dat2));
    EXPECT_EQ(readBytes(dat1).size(), 3u * 194);

    const std::string text = readBytes(dumped);
    EXPECT_EQ(text.rfind("\xEF\xBB\xBF" + header, 0), 0u);
    EXPECT_NE(text.find("\" Szynka z beczki \""), std::string::npos) << text;
    const ToolRun toScreen = runTool(folder, "dump " + quoted(dat1));
    EXPECT_EQ(toScreen.exitCode, 0);
    EXPECT_EQ(toScreen.out, text.substr(3));
}

struct BadCsv {
    const char* what;
    std::string body;  // after the header, which is line 1
    const char* expected;
};

TEST(PrchkBuild, BadInputNamesTheLineAndWritesNoFile) {
    const std::vector<BadCsv> cases = {
        {"code too long", "1,A,1,,,,\n12345678901234567,B,1,,,,\n",
         "wiersz 3, kolumna 1 (code): kod „12345678901234567” ma więcej niż 16 znaków"},
        {"name too long after recoding",
         "1,A,1,,,,\n2," + std::string(60, 'x') +
             [] {
                 std::string s;
                 for (int i = 0; i < 61; ++i) s += "ą";
                 return s;
             }() +
             ",1,,,,\n",
         "wiersz 3, kolumna 2 (name): tekst ma 121 znaków, a pole mieści najwyżej 120"},
        {"unit too long", "1,A,1,,,," + std::string(18, 'u') + "\n",
         "wiersz 2, kolumna 7 (unit): tekst ma 18 znaków, a pole mieści najwyżej 17"},
        {"duplicate code", "7,A,1,,,,\n8,B,1,,,,\n7,C,1,,,,\n7,D,1,,,,\n",
         "wiersze 4 i 5, kolumna 1 (code): kod „7” (pierwszy raz w wierszu 2) powtarza się"},
        {"duplicate of a faulty row", "7,A,x,,,,\n7,B,1,,,,\n",
         "wiersz 3, kolumna 1 (code): kod „7” (pierwszy raz w wierszu 2)"},
        {"price no number", "1,A,abc,,,,\n",
         "wiersz 2, kolumna 3 (price): „abc” to nie liczba; wpisz cenę cyframi, np. 12.99"},
        {"price not finite", "1,A,1,nan,,,\n", "wiersz 2, kolumna 4 (gross2): „nan” to nie"},
        {"letter Mazovia cannot hold", "1,Café,1,,,,\n",
         "wiersz 2, kolumna 2 (name): znak „é” (U+00E9) nie jest polską literą"},
        {"too many columns", "1,A,6,49,,,,\n",
         "wiersz 2: więcej pól (8) niż w nagłówku (7); zwykle to przecinek (np. dziesiętny) w "
         "polu bez cudzysłowu"},
        {"empty code", ",A,1,,,,\n", "wiersz 2, kolumna 1 (code): brak kodu"},
        {"missing price", "1,A,,,,,\n", "wiersz 2, kolumna 3 (price): brak ceny"},
    };
    TempFolder folder;
    const std::string csv = folder.file("bad.csv");
    const std::string out = folder.file("PRCHK.DAT");
    for (const BadCsv& bad : cases) {
        SCOPED_TRACE(bad.what);
        ASSERT_TRUE(writeBytes(csv, header + bad.body));
        std::filesystem::remove(out);
        ToolRun run = runTool(folder, "build " + quoted(csv) + " " + quoted(out));
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find(bad.expected), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("Nie zapisano pliku"), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(out));

        ASSERT_TRUE(writeBytes(out, "the file in use"));
        run = runTool(folder, "build " + quoted(csv) + " " + quoted(out));
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(readBytes(out), "the file in use");
        EXPECT_FALSE(std::filesystem::exists(out + ".tmp"));
    }
}

TEST(PrchkBuild, HeaderIsRequiredAndWarningsDoNotStopTheBuild) {
    PrchkMessages messages;
    recordsOf("1,A,1,,,,\n", messages);
    ASSERT_EQ(messages.errors.size(), 1u);
    EXPECT_EQ(messages.errors[0].rfind("wiersz 1: w pierwszych 20 niepustych wierszach nie ma "
                                       "nagłówka",
                                       0),
              0u)
        << messages.errors[0];

    messages = {};
    const auto records = recordsOf(
        " Code , NAME,price,gross2,net1,net2,unit\n"
        "12-3,A,1,,,,opakowanie\n12345678901234,B,1,,,,\n",
        messages);
    EXPECT_TRUE(messages.errors.empty());
    EXPECT_EQ(records.size(), 2u);
    ASSERT_EQ(messages.warnings.size(), 3u);  // "-" in a code, unit over 5, code over 13
}

// A move that another program refuses `heldMoves` times, as a checker in a
// lookup or a virus scanner refuses it, and the pauses taken meanwhile.
int heldMoves = 0;
int pausedMs = 0;

MoveResult moveOnceFree(const std::string& from, const std::string& to) {
    if (heldMoves-- > 0) return MoveResult::Held;
    return moveFileOver(from, to);
}

TEST(PrchkBuild, ReplacingWaitsForAHeldFileAndNeverRemovesTheOldOne) {
    TempFolder folder;
    const std::string path = folder.file("PRCHK.DAT");
    ASSERT_TRUE(writeBytes(path, "old"));
    const ReplaceCalls calls{moveOnceFree, [](int ms) { pausedMs += ms; }};
    struct Case {
        int held;
        int result;
        int paused;
        const char* left;
    };
    for (const Case& c : {Case{3, 0, 300, "new"}, Case{1000, -1, 2000, "new"}}) {
        heldMoves = c.held;
        pausedMs = 0;
        FileReplacement replacement;
        PrchkMessages messages;
        ASSERT_EQ(beginReplacing(path, replacement, messages), 0);
        std::fputs(c.result == 0 ? "new" : "newer", replacement.file);
        EXPECT_EQ(finishReplacing(replacement, true, messages, calls), c.result);
        EXPECT_EQ(pausedMs, c.paused);
        EXPECT_EQ(readBytes(path), c.left);
        EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
        if (c.result != 0) {
            EXPECT_EQ(messages.errors, std::vector<std::string>{
                                           path + ": nie można zastąpić pliku (czy trzyma go inny "
                                                  "program?); nic nie zapisano, stary plik jest "
                                                  "bez zmian"});
        }
    }
}

// Lists far longer than the piece the reader takes at a time, so rows, a
// quoted line break, CR LF and UTF-16 units stand across the pieces' ends.
TEST(PrchkBuild, ListsOfManyPiecesReadEveryRow) {
    TempFolder folder;
    std::string utf8 = "Kod;Nazwa;Cena\r\n";
    constexpr int kRows = 40000;
    for (int i = 0; i < kRows; ++i) {
        utf8 += numberedCode(i, 8) + ";\"Żółty ser\r\nnr " + std::to_string(i) + "\";" +
                std::to_string(i) + ",99\r\n";
    }
    std::string windows1250;
    for (size_t pos = 0; pos < utf8.size();) {
        char32_t c = 0;
        prchk::decodeUtf8(utf8, pos, c);
        windows1250 += c < 0x80    ? static_cast<char>(c)
                       : c == U'Ż' ? '\xAF'
                       : c == U'ó' ? '\xF3'
                                   : '\xB3';
    }
    for (const std::string& list : {windows1250, utf16Of(utf8, false)}) {
        const std::string csv = folder.file("duzy.csv");
        const std::string dat = folder.file("PRCHK.DAT");
        ASSERT_TRUE(writeBytes(csv, list));
        PrchkMessages messages;
        CsvForm form;
        size_t count = 0;
        ASSERT_EQ(buildPriceFile(csv, dat, form, count, messages), 0) << messages.errors[0];
        std::vector<PriceRecord> records;
        int64_t trailing = 0;
        ASSERT_EQ(readPriceFile(dat, records, trailing, messages), 0);
        ASSERT_EQ(records.size(), static_cast<size_t>(kRows));
        for (int i = 0; i < kRows; ++i) {
            ASSERT_EQ(records[i].code, numberedCode(i, 8));
            ASSERT_EQ(mazoviaToUtf8(records[i].name), "Żółty ser nr " + std::to_string(i));
            ASSERT_EQ(double{records[i].price}, i * 10000.0 + 9900);
        }
    }
}

TEST(PrchkBuild, UnwritableOutputIsTroubleNotBadInput) {
    TempFolder folder;
    const std::string csv = folder.file("items.csv");
    ASSERT_TRUE(writeBytes(csv, header + "1,A,1,,,,\n"));
    const ToolRun run = runTool(
        folder, "build " + quoted(csv) + " " + quoted(folder.file("no-such-folder/PRCHK.DAT")));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(runTool(folder, "build " + quoted(folder.file("missing.csv")) + " x").exitCode, 2);
    EXPECT_EQ(runTool(folder, "frobnicate").exitCode, 2);
}

// --- Spreadsheet CSV -----------------------------------------------------------

// One list in the forms a shop may save it: the header in another order with
// a column of the shop's own, quoted separators, quotes and line breaks, a
// thousands group, and a row of bare separators below the list.
const std::string plainList =
    header +
    "2100012,\"Szynka \"\"Wiejska\"\", kg\",1299,,,,kg\n5901234000017,Chleb żytni,6.49,,"
    "6.18,,szt\n";
const std::string cp1250List =
    "Cena ; JM;Uwagi;KOD;Nazwa;netto1\r\n"
    "\"1\xA0"
    "299,00\";kg;\"dostawca; \"\"Kowalski\"\"\r\nwtorki\";2100012;"
    "\"Szynka \"\"Wiejska\"\", kg\";\r\n6,49;szt;;5901234000017;Chleb \xBFytni;6,18\r\n;;;;;\r\n";

TEST(PrchkSpreadsheet, ReadsTheListInEveryFormAsTheSameRecords) {
    PrchkMessages messages;
    const std::string expected = serializeRecords(recordsOf(plainList, messages));
    std::string utf8List;
    ASSERT_EQ(windows1250ToUtf8(cp1250List, utf8List), std::string::npos);
    std::string tabbed = utf8List;
    std::replace(tabbed.begin(), tabbed.end(), ';', '\t');
    for (const std::string& list : {cp1250List, utf8List, "\xEF\xBB\xBF" + utf8List, tabbed}) {
        EXPECT_EQ(serializeRecords(recordsOf(list, messages)), expected) << list;
    }
    ASSERT_EQ(expected.size(), 2u * 194);
    EXPECT_TRUE(messages.errors.empty()) << messages.errors[0];
}

TEST(PrchkSpreadsheet, FindsTheFormUnlessTheUserSaysIt) {
    struct Case {
        std::string list;
        CsvForm forced;
        TextEncoding encoding;
        char separator, decimalMark;
    };
    const std::vector<Case> cases = {
        {plainList, {}, TextEncoding::Utf8, ',', '.'},
        {cp1250List, {}, TextEncoding::Windows1250, ';', ','},
        // "NÓŻ" in Windows-1250 is also valid UTF-8, but only as a Cyrillic letter.
        {"kod\tnazwa\tcena\n1\tN\xD3\xAF\t2,5\n", {}, TextEncoding::Windows1250, '\t', ','},
        {"kod;nazwa;cena\n1;A;2.5\n", {TextEncoding::Detect, 0, '.'}, TextEncoding::Utf8, ';', '.'},
    };
    for (const Case& c : cases) {
        PrchkMessages messages;
        CsvForm form = c.forced;
        std::vector<PriceRecord> records;
        EXPECT_EQ(readPriceList(c.list, form, records, messages), 0) << messages.errors[0];
        EXPECT_EQ(form.encoding, c.encoding) << c.list;
        EXPECT_EQ(form.separator, c.separator) << c.list;
        EXPECT_EQ(form.decimalMark, c.decimalMark) << c.list;
    }
}

TEST(PrchkSpreadsheet, BadRowsNameTheirLineAndColumnAndReadNothing) {
    const std::string head = "kod;nazwa;cena\r\n";
    const std::vector<std::pair<std::string, const char*>> cases = {
        {head + "1;A;1,2,3\r\n", "wiersz 2, kolumna 3 (cena): cena „1,2,3” ma dwa znaki"},
        {head + "1;A\r\n", "wiersz 2, kolumna 3 (cena): brak ceny; wpisz cenę, np. 12,99"},
        {head + "1;A;1;\r\n", "wiersz 2: więcej pól (4) niż w nagłówku (3); zwykle to średnik"},
        {"kod;nazwa;cena;uwagi\n1;A;1;\"two\nlines\"\n1;C;1;",
         "wiersz 4, kolumna 1 (kod): kod „1” (pierwszy raz w wierszu 2) powtarza się"},
        {head + "5,90123E+12;A;1", "wiersz 2, kolumna 1 (kod): kod „5,90123E+12” to liczba"},
        {"kod;nazwa;netto1\n1;A;1",
         "wiersz 1: nagłówka szukano w pierwszych 20 niepustych wierszach; ten nazywa "
         "najwięcej kolumn, ale brak w nim kolumny ceny („cena”, „cena brutto”"},
        {"Cennik\nKod;Nazwa;Cena;Cena sprzedaży\n1;A;1;2",
         "wiersz 2: kolumny 3 (Cena) i 4 (Cena sprzedaży) obie oznaczają cenę; zmień nazwę"},
        {"EAN;Nazwa;Cena;Towar\n1;A;1;2", "wiersz 1: kolumny 2 (Nazwa) i 4 (Towar) obie"},
        {head + ";;\r\n", "wiersz 1: pod nagłówkiem nie ma żadnego towaru"},
        {"\xEF\xBB\xBF\r\n;;\r\n", "wiersz 1: plik jest pusty"},
        {head + std::string("1;A;\0", 5), "wiersz 2: bajt zerowy – to nie jest plik tekstowy"},
        {head + "1;\x98;1", "wiersz 2: bajt 0x98 nie jest znakiem kodowania Windows-1250"},
        {head + "1;\"A;1\r\n", "wiersz 2: cudzysłów otwierający pole nie ma pary"},
        {repeated("Cennik\n\n", 20) + head + "1;A;1",
         "wiersze 1–39: w pierwszych 20 niepustych wierszach nie ma nagłówka"},
    };
    for (const auto& [list, expected] : cases) {
        PrchkMessages messages;
        EXPECT_TRUE(recordsOf(list, messages).empty()) << list;
        ASSERT_FALSE(messages.errors.empty()) << list;
        EXPECT_EQ(messages.errors[0].rfind(expected, 0), 0u) << messages.errors[0];
    }
    PrchkMessages messages;
    recordsOf(head + "1;\xB3;1", messages, {TextEncoding::Utf8});
    ASSERT_EQ(messages.errors.size(), 1u);
    EXPECT_EQ(messages.errors[0].rfind("wiersz 2: bajt 0xB3 nie jest poprawnym znakiem UTF-8", 0),
              0u);
    messages = {};
    CsvForm named;
    named.namedColumns = {{kPriceColumn, "Cena promocyjna"}};
    recordsOf(head + "1;A;1", messages, named);
    ASSERT_EQ(messages.errors.size(), 1u);
    EXPECT_EQ(messages.errors[0],
              "wiersz 1: opcja --column cena=Cena promocyjna: w nagłówku nie ma takiej kolumny");
}

TEST(PrchkSpreadsheet, ToolTakesTheFormFromItsOptions) {
    TempFolder folder;
    const std::string csv = folder.file("lista.csv");
    const std::string dat = folder.file("PRCHK.DAT");
    ASSERT_TRUE(writeBytes(csv, "kod\tnazwa\tcena\n1\tA\t1.5\n"));
    ToolRun run = runTool(folder, "build " + quoted(csv) + " " + quoted(dat));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("odczytano jako: tekst UTF-8, pola rozdzielone tabulatorem, znak "
                           "dziesiętny „,”; opcje --encoding, --separator i --decimal"),
              std::string::npos)
        << run.err;
    run = runTool(folder, "build --decimal . --separator tab --encoding UTF-8 " + quoted(csv) +
                              " " + quoted(dat));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, dat + ": zapisano 1 towar\n");
    for (const std::string& wrong : {"--decimal " + quoted(";"), std::string("--column cena"),
                                     std::string("--column waga=Waga")}) {
        run = runTool(folder, "build " + wrong + " " + quoted(csv) + " " + quoted(dat));
        EXPECT_EQ(run.exitCode, 2) << wrong;
        EXPECT_NE(run.err.find("nie jest tu opcją"), std::string::npos) << run.err;
    }
    EXPECT_EQ(runTool(folder, "dump --decimal , " + quoted(dat)).exitCode, 2);
}

TEST(PrchkSpreadsheet, ReadsListsAsShopsTypeThemAsTheirPlainForm) {
    struct Case {
        std::string list;
        std::string plain;  // the same items after the plain header
        std::vector<NamedColumn> named;
        const char* note = "";
    };
    const std::string excelUnicode =
        "Kod towaru\tNazwa\tCena zł\r\n5901234123457\tŻółw „Mały”\t12,50\r\n";
    const std::vector<Case> cases = {
        {"Cennik 2026\r\nSklep „Pod Lipą”; 10.12.2026\r\n;;;;\r\nKod EAN;Nazwa produktu;"
         "Cena detaliczna;Netto 1;Brutto 2;Netto2;J.m.\r\n 5901234123457 ;Masło;6,49 zł;"
         "5,28;6,00;5,00;szt\r\n",
         "5901234123457,Masło,6.49,6.00,5.28,5.00,szt\n",
         {},
         "nagłówek jest w wierszu 4; wiersze nad nim pominięto"},
        {"Kod\xC2\xA0;Towar;Cena;Brutto;Jednostka miary;Dostawca\r\n0042;Chleb;9,99;6,49;szt;X\r\n",
         "0042,Chleb,6.49,,,,szt\n",
         {},
         "pominięte kolumny: 3 (Cena – cenę wzięto z kolumny 4), 6 (Dostawca)"},
        {"EAN-13,Nazwa towaru,Cena sprzedaży,Cena netto\n5901234123457,\"Mleko 3,2%\",\"6,49\","
         "\"5,28\"\n",
         "5901234123457,\"Mleko 3,2%\",6.49,,5.28,,\n"},
        {"kod;nazwa;cena;jm;netto\r\n1;A;2,50\r\n2;B;1;kg\r\n", "1,A,2.50,,,,\n2,B,1,,,,kg\n"},
        {utf16Of(excelUnicode, false), "5901234123457,\"Żółw \"\"Mały\"\"\",12.50,,,,\n"},
        {utf16Of(excelUnicode, true), "5901234123457,\"Żółw \"\"Mały\"\"\",12.50,,,,\n"},
        {"Indeks;Opis;Cena promocyjna;Cena\r\n1;A;2,00;3,00\r\n",
         "1,A,2.00,,,,\n",
         {{kCodeColumn, "indeks"}, {kNameColumn, "Opis"}, {kPriceColumn, "CENA PROMOCYJNA"}},
         "pominięte kolumny: 4 (Cena – cenę wzięto z kolumny 3)"},
        {"kod;nazwa;cena\n1;\"Sok – 1½ l × 6 „Jabłko” ‘x’… "
         "10m²\xC2\xA0x\";1\n2;\"Linia\r\nDruga\";1\n",
         "1,\"Sok - 1 1/2 l x 6 \"\"Jabłko\"\" 'x'... 10m2 x\",1,,,,\n2,Linia Druga,1,,,,\n"},
    };
    for (const Case& c : cases) {
        PrchkMessages plainMessages;
        const auto expected = serializeRecords(recordsOf(header + c.plain, plainMessages));
        ASSERT_TRUE(plainMessages.errors.empty()) << c.plain << plainMessages.errors[0];
        PrchkMessages messages;
        CsvForm form;
        form.namedColumns = c.named;
        EXPECT_EQ(serializeRecords(recordsOf(c.list, messages, form)), expected) << c.list;
        EXPECT_TRUE(messages.errors.empty()) << messages.errors[0];
        const std::string notes = messages.notes.empty() ? "" : messages.notes[0];
        EXPECT_EQ(notes, c.note);
    }
}

// One shop's list (a title, a hidden row, its own header words, codes as
// text and as numbers, currency cells, a formula's price, typographic
// characters, a line break in a cell) as LibreOffice Calc exports it in a
// Polish locale: every form gives the same items. Its Windows-1250 export
// saved "½" and "²" as "?", which is said.
TEST(PrchkSpreadsheet, RealSpreadsheetExportsGiveTheSameItems) {
    const std::string seeds = std::string(LUMIVO_SOURCE_DIR) + "/tests/fuzz/corpus/fuzz_prchk_csv/";
    std::string expected;
    for (const char* name :
         {"libreoffice_semicolon_utf8_shown.csv", "libreoffice_comma_utf8_raw.csv",
          "libreoffice_tab_utf16_shown.txt", "libreoffice_semicolon_cp1250_raw.csv"}) {
        PrchkMessages messages;
        const auto records = recordsOf(readBytes(seeds + name), messages);
        ASSERT_EQ(records.size(), 4u) << name << messages.errors[0];
        std::string items;
        for (const PriceRecord& record : records) {
            items += std::string(record.code) + "|" + mazoviaToUtf8(record.name) + "|" +
                     formatPrice(record.price) + "|" + formatPrice(record.net1) + "|" +
                     record.unit + "\n";
        }
        if (expected.empty()) expected = items;
        if (std::string(name).find("cp1250") == std::string::npos) {
            EXPECT_EQ(items, expected) << name;
        } else {
            const std::string saved = std::regex_replace(expected, std::regex("1/2"), "?");
            EXPECT_EQ(items, std::regex_replace(saved, std::regex("m2"), "m?"));
        }
    }
    EXPECT_EQ(expected,
              "0012345678905|Mleko \"Łaciate\" 3,2% - 1 l|6.49|5.28|szt\n"
              "12345678912|Szynka wiejska z beczki|39.99|37.03|kg\n"
              "2100012|Płytki 30x30 cm, 1 m2 karton|49.99|40.64|m2\n"
              "5901234123457|Ser żółty 1/2 kg x 2|1299.00|20.50|szt\n");
}

TEST(PrchkSpreadsheet, WarnsOfWhatASpreadsheetMayHaveDamagedAndStillBuilds) {
    // Excel's CSV in Windows-1250: a "?" for a "½" it could not save.
    const std::string list =
        "kod;nazwa;cena\r\n12345678905;Ser \xBF\xF3\xB3ty ? kg;39,9873\r\n5901234123458;"
        "\x84Z\x94 \x96 A;1,005\r\n";
    PrchkMessages messages;
    const auto records = recordsOf(list, messages);
    ASSERT_EQ(records.size(), 2u) << messages.errors[0];
    EXPECT_EQ(double{records[0].price}, 399900);  // by value: the record is packed
    EXPECT_EQ(double{records[1].price}, 10100);
    const std::vector<std::string> expected = {
        "wiersz 2, kolumna 1 (kod): kod „12345678905” ma 9–11 cyfr: arkusz mógł zgubić zera na "
        "początku kodu; sformatuj kolumnę kodów jako tekst i wpisz kody z zerami",
        "wiersz 2, kolumna 2 (nazwa): znak „?”: arkusz zapisujący plik w Windows-1250 wstawia go "
        "w miejsce znaku, którego to kodowanie nie ma (np. ½ albo ²); sprawdź tekst w arkuszu "
        "albo zapisz cennik jako „CSV UTF-8”",
        "wiersze 2 i 3, kolumna 3 (cena): ceny z więcej niż dwoma miejscami po przecinku "
        "zaokrąglono do pełnych groszy, np. „39,9873” → 39,99; jeśli to wynik formuły, "
        "zaokrąglij go w arkuszu (funkcja ZAOKR)",
        "wiersz 3, kolumna 1 (kod): kod „5901234123458” ma złą cyfrę kontrolną EAN-13: arkusz "
        "mógł zaokrąglić kod albo zgubić zera na jego początku; sformatuj kolumnę kodów jako "
        "tekst i wpisz kody jeszcze raz",
        "wiersz 3, kolumna 2 (nazwa): cudzysłowy drukarskie („ ” “ « ») zapisano jako \"",
        "wiersz 3, kolumna 2 (nazwa): półpauzy, pauzy i minusy (– — −) zapisano jako -",
    };
    EXPECT_EQ(messages.warnings, expected);
}

TEST(PrchkMessages, LikeFaultsOfManyRowsAreOneLineWithPolishPlurals) {
    for (const auto& [count, form] :
         std::vector<std::pair<int64_t, std::string>>{{0, "wierszy"},
                                                      {1, "wiersz"},
                                                      {2, "wiersze"},
                                                      {4, "wiersze"},
                                                      {5, "wierszy"},
                                                      {12, "wierszy"},
                                                      {14, "wierszy"},
                                                      {21, "wierszy"},
                                                      {22, "wiersze"},
                                                      {112, "wierszy"},
                                                      {1003, "wiersze"}}) {
        EXPECT_EQ(prchk::pluralForm(count, "wiersz", "wiersze", "wierszy"), form) << count;
    }
    std::string list = "kod;nazwa;cena\n";
    for (int line = 2; line <= 760; ++line) {
        list += std::to_string(line) + ";A;" + (line % 16 == 1 ? "x" : "1") + "\n";
    }
    list += "800;Aé;1\n801;Bé;1\n802;Cé;1\n803;Dé;1\n";
    PrchkMessages messages;
    recordsOf(list, messages);
    ASSERT_EQ(messages.errors.size(), 2u);
    EXPECT_EQ(messages.errors[0],
              "wiersze 17, 33, 49 i 44 innych, kolumna 3 (cena): „x” to nie liczba; wpisz cenę "
              "cyframi, np. 12,99 (może mieć „zł” i odstępy między tysiącami)");
    EXPECT_EQ(messages.errors[1].rfind("wiersze 761, 762, 763 i 764, kolumna 2 (nazwa): znak "
                                       "„é” (U+00E9) nie jest polską literą",
                                       0),
              0u)
        << messages.errors[1];
}

// --- Verifying ---------------------------------------------------------------

struct Verified {
    int result;
    VerifyReport report;
    std::string all;  // the findings, one per line
};

Verified verifyRecords(const TempFolder& folder, const std::vector<PriceRecord>& records,
                       std::string_view trailing = {}) {
    const std::string path = folder.file("check.dat");
    EXPECT_TRUE(writePriceFile(path, records, trailing));
    Verified verified;
    PrchkMessages messages;
    verified.result = verifyPriceFile(path, verified.report, messages);
    for (const std::string& finding : verified.report.findings) verified.all += finding + "\n";
    return verified;
}

TEST(PrchkVerify, CleanFileHasNoFindings) {
    TempFolder folder;
    const Verified clean = verifyRecords(folder, numberedPriceRecords(50));
    EXPECT_EQ(clean.result, 0) << clean.all;
    EXPECT_EQ(clean.report.records, 50);
    const ToolRun run = runTool(folder, "verify " + quoted(folder.file("check.dat")));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, folder.file("check.dat") + ": 50 rekordów\nnie znaleziono problemów\n");
}

TEST(PrchkVerify, FindsOrderDuplicatesAndTrailingBytes) {
    TempFolder folder;
    Verified v = verifyRecords(
        folder, {makePriceRecord("1"), makePriceRecord("1"), makePriceRecord("2")}, "xyz");
    EXPECT_EQ(v.result, 1);
    EXPECT_EQ(v.report.findingCount, 2) << v.all;
    EXPECT_NE(v.all.find("rekord 2 (przesunięcie 194): kod „1” ma też rekord 1"), std::string::npos)
        << v.all;
    EXPECT_NE(v.all.find("3 bajty za ostatnim pełnym rekordem"), std::string::npos);

    // Unsorted: equal codes far apart are still found, each reported once.
    v = verifyRecords(folder, {makePriceRecord("5"), makePriceRecord("3"), makePriceRecord("4"),
                               makePriceRecord("5"), makePriceRecord("5")});
    EXPECT_EQ(v.result, 1);
    EXPECT_NE(v.all.find("rekord 2 (przesunięcie 194): kod „3” powinien stać przed kodem „5”"),
              std::string::npos)
        << v.all;
    EXPECT_EQ(v.report.findingCount, 3) << v.all;  // one order, two duplicates

    v = verifyRecords(folder, {}, "short");
    EXPECT_EQ(v.result, 1);
    EXPECT_NE(v.all.find("ani jednego pełnego rekordu"), std::string::npos);
}

TEST(PrchkVerify, FindsFieldsWithoutZeroAndPricesThatAreNoNumber) {
    TempFolder folder;
    PriceRecord full =
        makePriceRecord("12345678901234567", std::string(121, 'n'), 1.0, std::string(18, 'u'));
    PriceRecord nan = makePriceRecord("2");
    nan.price = NAN;
    nan.net2 = -INFINITY;
    const Verified v = verifyRecords(folder, {full, nan});
    EXPECT_EQ(v.result, 1);
    EXPECT_EQ(v.report.findingCount, 5) << v.all;
    for (const char* field : {"kod", "nazwa", "jednostka"}) {
        EXPECT_NE(v.all.find(std::string("rekord 1 (przesunięcie 0): pole „") + field +
                             "” nie ma bajtu zerowego"),
                  std::string::npos)
            << field;
    }
    EXPECT_NE(v.all.find("rekord 2 (przesunięcie 194): pole „cena” nie jest liczbą"),
              std::string::npos);
    EXPECT_NE(v.all.find("pole „netto2” jest nieskończone"), std::string::npos);

    const ToolRun run = runTool(folder, "verify " + quoted(folder.file("check.dat")));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("znaleziono 5 problemów"), std::string::npos) << run.out;

    // The dump stays within the fields and says what the CSV cannot carry.
    PrchkMessages messages;
    const std::string csv = recordsToCsv({full, nan}, messages);
    EXPECT_NE(csv.find("12345678901234567," + std::string(121, 'n') + ","), std::string::npos);
    EXPECT_EQ(messages.warnings.size(), 5u);

    messages = {};
    recordsToCsv({makePriceRecord("1", "=\xB0")}, messages, DumpForm::Spreadsheet);
    EXPECT_EQ(messages.warnings.size(), 2u);  // a shade Windows-1250 lacks, a formula's "="
}

TEST(PrchkVerify, ManyFindingsAreCountedButListedBriefly) {
    TempFolder folder;
    std::vector<PriceRecord> records(100, makePriceRecord("same"));
    const Verified v = verifyRecords(folder, records);
    EXPECT_EQ(v.report.findingCount, 99);
    EXPECT_LE(v.report.findings.size(), 10u);
}

// --- Demo data ---------------------------------------------------------------

class PrchkDemo : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(&settings, 0, sizeof settings);
        settings.standaloneMode = 1;
        std::snprintf(settings.priceFilePath, sizeof settings.priceFilePath, "%s", dat.c_str());
        size_t count = 0;
        const std::string demo = std::string(LUMIVO_SOURCE_DIR) + "/tools/demo/demo_items.csv";
        CsvForm form;
        ASSERT_EQ(buildPriceFile(demo, dat, form, count, messages), 0);
        records = count;
        clearCheckState();
        entryPos = 0;
        resetFakeWindow();
    }

    void type(const char* code) {
        for (const char* c = code; *c; ++c) handleEntryChar(*c);
        handleEntryChar('\r');
    }

    TempFolder folder;
    std::string dat = folder.file("PRCHK.DAT");
    PrchkMessages messages;
    size_t records = 0;
};

TEST_F(PrchkDemo, BuildsCleanlyAndEveryItemIsFound) {
    EXPECT_TRUE(messages.warnings.empty()) << messages.warnings[0];
    EXPECT_GE(records, 25u);
    std::vector<PriceRecord> stored;
    int64_t trailing = 0;
    ASSERT_EQ(readPriceFile(dat, stored, trailing, messages), 0);
    size_t longestName = 0;
    for (size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(lookupPriceRecord(stored[i].code), static_cast<int32_t>(i)) << stored[i].code;
        longestName = std::max(longestName, std::strlen(stored[i].name));
    }
    EXPECT_GT(longestName, 80u);
    VerifyReport report;
    EXPECT_EQ(verifyPriceFile(dat, report, messages), 0);
}

TEST_F(PrchkDemo, SpreadsheetFormOfTheDemoIsItsDumpAndBuildsTheSameFile) {
    const std::string shipped =
        std::string(LUMIVO_SOURCE_DIR) + "/tools/demo/demo_items_arkusz.csv";
    const std::string dumped = folder.file("arkusz.csv");
    const std::string& price = dat;
    const ToolRun dump =
        runTool(folder, "dump --spreadsheet " + quoted(price) + " " + quoted(dumped));
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    EXPECT_EQ(dump.err, "");
    EXPECT_EQ(readBytes(dumped), readBytes(shipped));
    EXPECT_EQ(readBytes(dumped).rfind(std::string(kSpreadsheetCsvHeader) + "\r\n", 0), 0u);

    const std::string rebuilt = folder.file("again.dat");
    CsvForm form;
    size_t count = 0;
    ASSERT_EQ(buildPriceFile(shipped, rebuilt, form, count, messages), 0);
    EXPECT_EQ(form.encoding, TextEncoding::Windows1250);
    EXPECT_EQ(readBytes(rebuilt), readBytes(dat));
}

TEST_F(PrchkDemo, CodesInTheDemoReadmeShowWhatItSays) {
    std::memcpy(settings.weightPrefixes[0], "21", 3);
    std::memcpy(settings.valuePrefixes[0], "22", 3);
    type("012345678905");  // UPC-A, stored with a leading zero
    EXPECT_EQ(checkState.price, 89900);
    type("59012344");  // EAN-8
    EXPECT_EQ(checkState.price, 29900);
    type("2100012012348");  // 1.234 kg of ham at 39.99/kg
    EXPECT_EQ(checkState.weight, 1.234);
    EXPECT_EQ(std::round(checkState.price / 100), 4935);
    EXPECT_EQ(checkState.unitPrice, 399900);
    type("2200017012500");  // cheesecake labelled 12.50
    EXPECT_EQ(checkState.price, 125000);
    type("2100012012349");  // wrong check digit: an ordinary code nobody has
    EXPECT_STREQ(checkState.itemName, kUnknownItemText);
    clearCheckState();
    type("5901234000017");
    type("5901234000024");
    EXPECT_EQ(checkState.total, 64900 + 79900);

    settings.shortItemCode = 1;
    type("2100060012505");  // 1.25 kg of cucumbers at 9.99/kg
    EXPECT_EQ(std::round(checkState.price / 100), 1249);
    type("2200020008996");  // yeast cake labelled 8.99
    EXPECT_EQ(checkState.price, 89900);
}

}  // namespace
