// The prchk tool: CSV price lists in, PRCHK.DAT out and back, and the
// checks it makes on price files from anywhere.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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
    std::string problem;
    EXPECT_EQ(parsePrice(text, units, problem), 0) << text << ": " << problem;
    return units;
}

// --- Letters -----------------------------------------------------------------

TEST(PrchkLetters, PolishLettersBecomeTheProgramsMazoviaBytesAndComeBack) {
    const std::string letters = "ąćęłńóśźżĄĆĘŁŃÓŚŹŻ";
    std::string mazovia;
    std::string problem;
    ASSERT_EQ(utf8ToMazovia("Zażółć " + letters, mazovia, problem), 0) << problem;
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
        std::string problem;
        EXPECT_EQ(utf8ToMazovia(text, mazovia, problem), -1) << text;
        EXPECT_FALSE(problem.empty());
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
                             "999999999999", "0x10"}) {
        double units = 0;
        std::string problem;
        EXPECT_EQ(parsePrice(text, units, problem), -1) << text;
    }
    double units = 0;
    std::string problem;
    EXPECT_EQ(parsePrice("12,99", units, problem), -1);
    EXPECT_NE(problem.find("decimal point"), std::string::npos) << problem;
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
        std::string problem;
        EXPECT_EQ(parsePrice(text, read, problem, ','), 0) << text << ": " << problem;
        EXPECT_EQ(read, units) << text;
    }
    for (const auto& [text, why] : std::vector<std::pair<const char*, const char*>>{
             {"12.99", "write the decimal comma as \",\""},
             {"1,2,3", "two decimal marks"},
             {"1 2999", "no number"},
             {"12 99", "no number"},
             {"1  299", "no number"}}) {
        double read = 0;
        std::string problem;
        EXPECT_EQ(parsePrice(text, read, problem, ','), -1) << text;
        EXPECT_NE(problem.find(why), std::string::npos) << problem;
    }
    EXPECT_EQ(formatPrice(12990000, ','), "1299,00");
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
        std::string problem;
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
        EXPECT_EQ(messages.errors[0].rfind("line 2:", 0), 0u) << messages.errors[0];
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
    ASSERT_EQ(runTool(folder, "build " + quoted(csv) + " " + quoted(dat1)).exitCode, 0);
    ASSERT_EQ(runTool(folder, "dump " + quoted(dat1) + " " + quoted(dumped)).exitCode, 0);
    const ToolRun rebuilt = runTool(folder, "build " + quoted(dumped) + " " + quoted(dat2));
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
         "line 3, column 1 (code): \"12345678901234567\" is 17"},
        {"name too long after recoding",
         "1,A,1,,,,\n2," + std::string(60, 'x') +
             [] {
                 std::string s;
                 for (int i = 0; i < 61; ++i) s += "ą";
                 return s;
             }() +
             ",1,,,,\n",
         "line 3, column 2 (name): 121 characters"},
        {"unit too long", "1,A,1,,,," + std::string(18, 'u') + "\n",
         "line 2, column 7 (unit): 18 characters"},
        {"duplicate code", "7,A,1,,,,\n8,B,1,,,,\n7,C,1,,,,\n",
         "line 4, column 1 (code): code \"7\" is already on line 2"},
        {"duplicate of a faulty row", "7,A,x,,,,\n7,B,1,,,,\n",
         "line 3, column 1 (code): code \"7\" is already on line 2"},
        {"price no number", "1,A,abc,,,,\n", "line 2, column 3 (price): \"abc\" is no number"},
        {"decimal comma", "1,A,\"12,99\",,,,\n",
         "line 2, column 3 (price): \"12,99\" is no number"},
        {"price not finite", "1,A,1,nan,,,\n", "line 2, column 4 (gross2): \"nan\""},
        {"letter Mazovia cannot hold", "1,Café,1,,,,\n", "line 2, column 2 (name): \"é\""},
        {"too few columns", "1,A,1,,,\n", "line 2: 7 columns expected"},
        {"too many columns", "1,A,1,,,,,\n", "line 2: 7 columns expected"},
        {"empty code", ",A,1,,,,\n", "line 2, column 1 (code): empty"},
        {"missing price", "1,A,,,,,\n", "line 2, column 3 (price): empty"},
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
    EXPECT_NE(messages.errors[0].find("line 1: the header names no column \"kod\" or \"code\""),
              std::string::npos);

    messages = {};
    const auto records = recordsOf(
        " Code , NAME,price,gross2,net1,net2,unit\n"
        "12-3,A,1,,,,opakowanie\n12345678901234,B,1,,,,\n",
        messages);
    EXPECT_TRUE(messages.errors.empty());
    EXPECT_EQ(records.size(), 2u);
    ASSERT_EQ(messages.warnings.size(), 3u);  // "-" in a code, unit over 5, code over 13
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
        {head + "1;A;1,2,3\r\n", "line 2, column 3 (cena): \"1,2,3\" has two decimal marks"},
        {head + "1;A\r\n", "line 2: 3 columns expected (as in the header), found 2"},
        {head + "1;A;1;\r\n", "line 2: 3 columns expected (as in the header), found 4"},
        {"kod;nazwa;cena;uwagi\n1;A;1;\"two\nlines\"\n1;C;1;",
         "line 4, column 1 (kod): code \"1\" is"},
        {head + "1;" + std::string(121, 'x') + ";1", "line 2, column 2 (nazwa): 121 characters"},
        {head + "1;Caf\xE9;1", "line 2, column 2 (nazwa): \"\xC3\xA9\" (U+00E9) is neither"},
        {head + "5,90123E+12;A;1", "line 2, column 1 (kod): \"5,90123E+12\" is a number"},
        {"kod;nazwa;netto1\n1;A;1", "line 1: the header names no column \"cena\", \"brutto\""},
        {"kod;nazwa;cena;Brutto\n1;A;1;2", "line 1, column 4 (Brutto): a second column for what"},
        {head + ";;\r\n", "line 1: no item follows the header"},
        {"\xEF\xBB\xBF\r\n", "line 1: the file is empty"},
        {head + std::string("1;A;\0", 5), "line 2: a zero byte: this is no text file"},
        {std::string("\xFF\xFEk\0", 4), "line 1: the file is UTF-16 text"},
        {head + "1;\x98;1", "line 2: byte 0x98 is no character of Windows-1250"},
    };
    for (const auto& [list, expected] : cases) {
        PrchkMessages messages;
        EXPECT_TRUE(recordsOf(list, messages).empty()) << list;
        ASSERT_FALSE(messages.errors.empty()) << list;
        EXPECT_EQ(messages.errors[0].rfind(expected, 0), 0u) << messages.errors[0];
    }
    PrchkMessages messages;
    recordsOf(head + "1;\xB3;1", messages, {TextEncoding::Utf8, 0, 0});
    ASSERT_EQ(messages.errors.size(), 1u);
    EXPECT_EQ(messages.errors[0],
              "line 2: byte 0xB3 is not valid UTF-8 (is the file in Windows-1250?)");
}

TEST(PrchkSpreadsheet, ToolTakesTheFormFromItsOptions) {
    TempFolder folder;
    const std::string csv = folder.file("lista.csv");
    const std::string dat = folder.file("PRCHK.DAT");
    ASSERT_TRUE(writeBytes(csv, "kod\tnazwa\tcena\n1\tA\t1.5\n"));
    ToolRun run = runTool(folder, "build " + quoted(csv) + " " + quoted(dat));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("was read as UTF-8 text, tabs between fields, \",\" as the decimal "
                           "mark; --encoding, --separator and --decimal"),
              std::string::npos)
        << run.err;
    run = runTool(folder, "build --decimal . --separator tab --encoding UTF-8 " + quoted(csv) +
                              " " + quoted(dat));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(
        runTool(folder, "build --decimal " + quoted(";") + " " + quoted(csv) + " " + quoted(dat))
            .exitCode,
        2);
    EXPECT_EQ(runTool(folder, "dump --decimal , " + quoted(dat)).exitCode, 2);
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
    EXPECT_NE(run.out.find("50 records"), std::string::npos) << run.out;
}

TEST(PrchkVerify, FindsOrderDuplicatesAndTrailingBytes) {
    TempFolder folder;
    Verified v = verifyRecords(
        folder, {makePriceRecord("1"), makePriceRecord("1"), makePriceRecord("2")}, "xyz");
    EXPECT_EQ(v.result, 1);
    EXPECT_EQ(v.report.findingCount, 2) << v.all;
    EXPECT_NE(v.all.find("record 2 (offset 194): code \"1\" is also the code of record 1"),
              std::string::npos)
        << v.all;
    EXPECT_NE(v.all.find("3 bytes after the last whole record"), std::string::npos);

    // Unsorted: equal codes far apart are still found, each reported once.
    v = verifyRecords(folder, {makePriceRecord("5"), makePriceRecord("3"), makePriceRecord("4"),
                               makePriceRecord("5"), makePriceRecord("5")});
    EXPECT_EQ(v.result, 1);
    EXPECT_NE(v.all.find("record 2 (offset 194): code \"3\" sorts before the code \"5\""),
              std::string::npos)
        << v.all;
    EXPECT_EQ(v.report.findingCount, 3) << v.all;  // one order, two duplicates

    v = verifyRecords(folder, {}, "short");
    EXPECT_EQ(v.result, 1);
    EXPECT_NE(v.all.find("no whole record"), std::string::npos);
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
    for (const char* field : {"code", "name", "unit"}) {
        EXPECT_NE(v.all.find(std::string("record 1 (offset 0): the ") + field +
                             " field has no terminating zero"),
                  std::string::npos)
            << field;
    }
    EXPECT_NE(v.all.find("record 2 (offset 194): price is not a number"), std::string::npos);
    EXPECT_NE(v.all.find("net2 is infinite"), std::string::npos);

    const ToolRun run = runTool(folder, "verify " + quoted(folder.file("check.dat")));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("5 problems found"), std::string::npos) << run.out;

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
