// prchk: builds a PRCHK.DAT from a CSV price list, dumps one back to CSV,
// and verifies one before it is put on a price checker.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/prchk_format.h"

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
        "  prchk build <items.csv> <PRCHK.DAT>   make a price file from a CSV price list\n"
        "  prchk dump <PRCHK.DAT> [items.csv]    write a price file as CSV (to the screen\n"
        "                                        when no CSV file is named)\n"
        "  prchk verify <PRCHK.DAT>              check a price file\n"
        "\n"
        "The CSV is UTF-8 text (a BOM is allowed) whose first line is the header\n"
        "  %s\n"
        "one line per item after it:\n"
        "  code    up to %d characters: EAN-13, EAN-8, or the 7- or 6-character item\n"
        "          code of in-store weight and value codes\n"
        "  name    up to %d characters; ASCII and the Polish letters only\n"
        "  price   selling price in currency units with a decimal point (12.99);\n"
        "          for goods sold by weight, the price of one kilogram\n"
        "  gross2, net1, net2   further prices, may be empty (0)\n"
        "  unit    up to %d characters, may be empty; the checker shows the first %d\n"
        "Fields holding commas or quotes are quoted (\"a, b\"), a quote inside one doubled.\n"
        "Names and units are stored in the Mazovia code page, records sorted by code.\n"
        "A CSV with any error writes no file; every error names its line.\n"
        "\n"
        "Exit codes: 0 done; 1 errors in the CSV, or findings of verify;\n"
        "            2 wrong use, or a file that cannot be read or written.\n",
        kPrchkCsvHeader, kMaxRecordCodeLength, kMaxRecordNameLength, kMaxRecordUnitLength,
        kShownUnitLength);
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

int runBuild(const std::string& csvPath, const std::string& outPath) {
    PrchkMessages messages;
    size_t count = 0;
    const int result = buildPriceFile(csvPath, outPath, count, messages);
    printMessages(messages);
    if (result != 0) {
        std::fprintf(stderr, "%s was not written.\n", outPath.c_str());
        return result > 0 ? kExitFindings : kExitTrouble;
    }
    std::printf("%s: %zu records written\n", outPath.c_str(), count);
    return kExitDone;
}

int runDumpToFile(const std::string& datPath, const std::string& csvPath) {
    PrchkMessages messages;
    size_t count = 0;
    const int result = dumpPriceFile(datPath, csvPath, count, messages);
    printMessages(messages);
    if (result != 0) return kExitTrouble;
    std::printf("%s: %zu records written\n", csvPath.c_str(), count);
    return kExitDone;
}

int runDumpToScreen(const std::string& datPath) {
    PrchkMessages messages;
    std::vector<PriceRecord> records;
    int64_t trailingBytes = 0;
    if (readPriceFile(datPath, records, trailingBytes, messages) != 0) {
        printMessages(messages);
        return kExitTrouble;
    }
    const std::string csv = recordsToCsv(records, messages);
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

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "build" && argc == 4) return runBuild(argv[2], argv[3]);
    if (command == "dump" && argc == 3) return runDumpToScreen(argv[2]);
    if (command == "dump" && argc == 4) return runDumpToFile(argv[2], argv[3]);
    if (command == "verify" && argc == 3) return runVerify(argv[2]);
    printUsage();
    const bool askedForHelp = command == "help" || command == "--help" || command == "-h";
    return askedForHelp ? kExitDone : kExitTrouble;
}
