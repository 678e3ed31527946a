// prchk: builds a PRCHK.DAT from a CSV price list (a back-office program's,
// or a spreadsheet's in the Polish form), dumps one back to CSV in either
// form, and verifies one before it is put on a price checker.
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"
#include "lookup/check_state.h"
#include "pricelist/pricelist.h"

namespace {

// Exit codes: 0 done, 1 bad input or findings, 2 wrong use or an unreadable
// or unwritable file.
constexpr int kExitDone = 0;
constexpr int kExitFindings = 1;
constexpr int kExitTrouble = 2;

// More errors than this are counted, not listed: a wrong file gives one per line.
constexpr size_t kErrorsListed = 50;

void printUsage() {
    std::fprintf(
        stderr,
        "Usage:\n"
        "  prchk build [options] <items.csv> <PRCHK.DAT>\n"
        "                              make a price file from a CSV price list\n"
        "  prchk dump [--spreadsheet] <PRCHK.DAT> [items.csv]\n"
        "                              write a price file as CSV (to the screen when no\n"
        "                              CSV file is named)\n"
        "  prchk verify <PRCHK.DAT>    check a price file\n"
        "\n"
        "The CSV's first line names its columns, in any order, in Polish or English,\n"
        "case and blanks around them aside; other columns are left out:\n"
        "  kod, code           up to %d characters: EAN-13, EAN-8, or the 7- or\n"
        "                      6-character item code of in-store weight and value codes\n"
        "  nazwa, name         up to %d characters; ASCII and the Polish letters only\n"
        "  cena, brutto, brutto1, price\n"
        "                      selling price in currency units (12.99 or 12,99); for\n"
        "                      goods sold by weight, the price of one kilogram\n"
        "  brutto2/gross2, netto1/net1, netto2/net2\n"
        "                      further prices; may be left out or empty (0)\n"
        "  jednostka, jm, unit up to %d characters; may be left out or empty; the\n"
        "                      checker shows the first %zu\n"
        "Fields are split by \";\", \",\" or tabs: the first of them on the header line.\n"
        "Fields holding the separator, quotes or line breaks are quoted (\"a; b\"), a\n"
        "quote inside one doubled. The decimal mark is \".\" when fields are split by\n"
        "\",\", else \",\"; blanks may group the thousands (1 299,00). The file is read\n"
        "as UTF-8 when it is valid UTF-8 (a BOM is allowed), else as Windows-1250.\n"
        "Build options, to say otherwise:\n"
        "  --separator ';'|','|tab   --decimal ,|.   --encoding utf-8|windows-1250\n"
        "Names and units are stored in the Mazovia code page, records sorted by code.\n"
        "A CSV with any error writes no file; every error names its line and column.\n"
        "A spreadsheet shortens long codes in a column of numbers (5,90123E+12) and\n"
        "drops leading zeros: format the code column as text before saving.\n"
        "\n"
        "dump writes UTF-8 with \",\" and \".\"; with --spreadsheet it writes what a Polish\n"
        "spreadsheet opens directly: Windows-1250, \";\", \",\" and the Polish header\n"
        "  %s\n"
        "\n"
        "Exit codes: 0 done; 1 errors in the CSV, or findings of verify;\n"
        "            2 wrong use, or a file that cannot be read or written.\n",
        kMaxRecordCodeLength, kMaxRecordNameLength, kMaxRecordUnitLength, kUnitShownLength,
        kSpreadsheetCsvHeader);
}

void printMessages(const PrchkMessages& messages) {
    for (const std::string& warning : messages.warnings) {
        std::fprintf(stderr, "warning: %s\n", warning.c_str());
    }
    for (size_t i = 0; i < messages.errors.size() && i < kErrorsListed; ++i) {
        std::fprintf(stderr, "%s\n", messages.errors[i].c_str());
    }
    if (messages.errors.size() > kErrorsListed) {
        std::fprintf(stderr, "... and %zu more errors\n", messages.errors.size() - kErrorsListed);
    }
}

int runBuild(const std::string& csvPath, const std::string& outPath, CsvForm form) {
    PrchkMessages messages;
    size_t count = 0;
    const int result = buildPriceFile(csvPath, outPath, form, count, messages);
    printMessages(messages);
    if (result > 0 && form.separator != 0) {
        std::fprintf(stderr,
                     "%s was read as %s; --encoding, --separator and --decimal can say "
                     "otherwise.\n",
                     csvPath.c_str(), describeCsvForm(form).c_str());
    }
    if (result != 0) {
        std::fprintf(stderr, "%s was not written.\n", outPath.c_str());
        return result > 0 ? kExitFindings : kExitTrouble;
    }
    std::printf("%s: %zu records written\n", outPath.c_str(), count);
    return kExitDone;
}

int runDumpToFile(const std::string& datPath, const std::string& csvPath, DumpForm form) {
    PrchkMessages messages;
    size_t count = 0;
    const int result = dumpPriceFile(datPath, csvPath, form, count, messages);
    printMessages(messages);
    if (result != 0) return kExitTrouble;
    std::printf("%s: %zu records written\n", csvPath.c_str(), count);
    return kExitDone;
}

int runDumpToScreen(const std::string& datPath, DumpForm form) {
    PrchkMessages messages;
    std::vector<PriceRecord> records;
    int64_t trailingBytes = 0;
    if (readPriceFile(datPath, records, trailingBytes, messages) != 0) {
        printMessages(messages);
        return kExitTrouble;
    }
    const std::string csv = recordsToCsv(records, messages, form);
    std::fwrite(csv.data(), 1, csv.size(), stdout);
    if (trailingBytes > 0) {
        messages.warnings.push_back(std::to_string(trailingBytes) +
                                    " bytes after the last whole record are left out");
    }
    printMessages(messages);
    return std::fflush(stdout) == 0 ? kExitDone : kExitTrouble;
}

int runVerify(const std::string& datPath) {
    PrchkMessages messages;
    VerifyReport report;
    const int result = verifyPriceFile(datPath, report, messages);
    if (result < 0) {
        printMessages(messages);
        return kExitTrouble;
    }
    std::printf("%s: %lld records\n", datPath.c_str(), static_cast<long long>(report.records));
    for (const std::string& finding : report.findings) std::printf("  %s\n", finding.c_str());
    const auto listed = static_cast<int64_t>(report.findings.size());
    if (report.findingCount > listed) {
        std::printf("  ... and %lld more\n", static_cast<long long>(report.findingCount - listed));
    }
    if (result == 0) {
        std::printf("no problems found\n");
        return kExitDone;
    }
    std::printf("%lld problem%s found\n", static_cast<long long>(report.findingCount),
                report.findingCount == 1 ? "" : "s");
    return kExitFindings;
}

// The words the build options take.
struct OptionValue {
    const char* option;
    const char* value;
    int meaning;  // a character, or a TextEncoding
};

constexpr std::array<OptionValue, 10> kOptionValues = {{
    {"--separator", ";", ';'},
    {"--separator", ",", ','},
    {"--separator", "tab", '\t'},
    {"--separator", "\t", '\t'},
    {"--decimal", ",", ','},
    {"--decimal", ".", '.'},
    {"--encoding", "utf-8", static_cast<int>(TextEncoding::Utf8)},
    {"--encoding", "utf8", static_cast<int>(TextEncoding::Utf8)},
    {"--encoding", "windows-1250", static_cast<int>(TextEncoding::Windows1250)},
    {"--encoding", "cp1250", static_cast<int>(TextEncoding::Windows1250)},
}};

// Sets what one build option says; the value's case does not matter.
// Returns 0, or -1 for an option or value it does not know.
int applyBuildOption(const std::string& option, std::string value, CsvForm& form) {
    for (char& c : value) c = toAsciiLower(c);
    for (const OptionValue& known : kOptionValues) {
        if (option != known.option || value != known.value) continue;
        if (option == "--separator") form.separator = static_cast<char>(known.meaning);
        if (option == "--decimal") form.decimalMark = static_cast<char>(known.meaning);
        if (option == "--encoding") form.encoding = static_cast<TextEncoding>(known.meaning);
        return 0;
    }
    return -1;
}

// What the command line asks for.
struct Command {
    std::string name;
    std::vector<std::string> paths;
    CsvForm form;
    DumpForm dumpForm = DumpForm::Plain;
};

// Returns 0, or -1 with the argument that is wrong in `wrong`.
int readCommandLine(int argc, char** argv, Command& command, std::string& wrong) {
    command.name = argc > 1 ? argv[1] : "";
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (command.name == "dump" && arg == "--spreadsheet") {
            command.dumpForm = DumpForm::Spreadsheet;
        } else if (command.name == "build" && arg.starts_with("--")) {
            const std::string value = i + 1 < argc ? argv[++i] : "";
            if (applyBuildOption(arg, value, command.form) != 0) {
                wrong = arg + " " + value;
                return -1;
            }
        } else if (arg.starts_with("--")) {
            wrong = arg;
            return -1;
        } else {
            command.paths.push_back(arg);
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Command command;
    std::string wrong;
    if (readCommandLine(argc, argv, command, wrong) != 0) {
        std::fprintf(stderr, "prchk: \"%s\" is no option here\n\n", wrong.c_str());
        printUsage();
        return kExitTrouble;
    }
    const std::string& name = command.name;
    const std::vector<std::string>& paths = command.paths;
    if (name == "build" && paths.size() == 2) return runBuild(paths[0], paths[1], command.form);
    if (name == "dump" && paths.size() == 1) return runDumpToScreen(paths[0], command.dumpForm);
    if (name == "dump" && paths.size() == 2) {
        return runDumpToFile(paths[0], paths[1], command.dumpForm);
    }
    if (name == "verify" && paths.size() == 1) return runVerify(paths[0]);
    printUsage();
    const bool askedForHelp = name == "help" || name == "--help" || name == "-h";
    return askedForHelp ? kExitDone : kExitTrouble;
}
