// Verifying a price file. The lookup bisects, so a file out of order makes
// it miss records without a word; this is where such files are caught.
#include "pricelist/verify.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/cleanup.h"
#include "lookup/price_file.h"
#include "pricelist/file_calls.h"
#include "pricelist/files.h"
#include "pricelist/records.h"

namespace {

using prchk::formatText;
using prchk::recordPlace;

constexpr int kFindingsShownPerKind = 10;

enum FindingKind { SortOrder, DuplicateCode, MissingZero, NonFinitePrice, FileSize, kKinds };

struct FindingLog {
    VerifyReport& report;
    std::array<int64_t, kKinds> perKind{};
};

void addFinding(FindingLog& log, FindingKind kind, const std::string& text) {
    ++log.report.findingCount;
    if (++log.perKind[kind] <= kFindingsShownPerKind) log.report.findings.push_back(text);
}

void checkTerminated(FindingLog& log, const char* field, size_t width, const char* what,
                     int64_t index) {
    if (fieldLength(field, width) == width) {
        addFinding(log, MissingZero,
                   formatText("%s: pole „%s” nie ma bajtu zerowego na końcu",
                              recordPlace(index).c_str(), what));
    }
}

void checkFinite(FindingLog& log, double value, const char* what, int64_t index) {
    if (!std::isfinite(value)) {
        addFinding(log, NonFinitePrice,
                   formatText("%s: pole „%s” %s", recordPlace(index).c_str(), what,
                              std::isnan(value) ? "nie jest liczbą (NaN)" : "jest nieskończone"));
    }
}

void checkRecordFields(FindingLog& log, const PriceRecord& record, int64_t index) {
    checkTerminated(log, record.code, sizeof record.code, "kod", index);
    checkTerminated(log, record.name, sizeof record.name, "nazwa", index);
    checkTerminated(log, record.unit, sizeof record.unit, "jednostka", index);
    checkFinite(log, record.price, "cena", index);
    checkFinite(log, record.gross2, "brutto2", index);
    checkFinite(log, record.net1, "netto1", index);
    checkFinite(log, record.net2, "netto2", index);
}

constexpr size_t kCodeWidth = sizeof(PriceRecord::code);
using CodeField = std::array<char, kCodeWidth>;

std::string printableCode(const char* code) {
    return prchk::printableText(std::string_view(code, fieldLength(code, kCodeWidth)));
}

std::string duplicateFinding(int64_t index, const char* code, int64_t firstIndex) {
    return formatText("%s: kod „%s” ma też rekord %lld", recordPlace(index).c_str(),
                      printableCode(code).c_str(), static_cast<long long>(firstIndex + 1));
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

void checkOrder(FindingLog& log, OrderCheck& order, const PriceRecord& record, int64_t index) {
    const int comparison = index > 0 ? compareRecordCodes(order.previous.code, record.code) : -1;
    if (comparison > 0) {
        order.outOfOrder = true;
        addFinding(log, SortOrder,
                   formatText("%s: kod „%s” powinien stać przed kodem „%s” z rekordu przed nim; "
                              "sprawdzarka może nie znaleźć części towarów",
                              recordPlace(index).c_str(), printableCode(record.code).c_str(),
                              printableCode(order.previous.code).c_str()));
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
int reportScatteredDuplicates(const std::string& path, FindingLog& log, PrchkMessages& messages) {
    const auto file = ownFile(openFileNamed(path, "rb"));
    if (!file.holds()) {
        messages.errors.push_back(
            formatText("%s: nie można ponownie odczytać pliku", path.c_str()));
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
        return compareRecordCodes(a.code.data(), b.code.data()) < 0;
    });
    for (size_t i = 1; i < codes.size(); ++i) {
        if (compareRecordCodes(codes[i - 1].code.data(), codes[i].code.data()) == 0) {
            addFinding(log, DuplicateCode,
                       duplicateFinding(codes[i].index, codes[i].code.data(), codes[i - 1].index));
        }
    }
    return 0;
}

// What only the end of the pass can tell: a cut-off last record, no record
// at all, and the duplicates.
int addEndFindings(const std::string& path, FindingLog& log, const OrderCheck& order,
                   PrchkMessages& messages) {
    const VerifyReport& report = log.report;
    if (report.trailingBytes > 0) {
        addFinding(
            log, FileSize,
            formatText("%s za ostatnim pełnym rekordem: długość pliku nie jest "
                       "wielokrotnością %d",
                       prchk::countOf(report.trailingBytes, "bajt", "bajty", "bajtów").c_str(),
                       kPriceRecordSize));
    }
    if (report.records == 0) addFinding(log, FileSize, "plik nie ma ani jednego pełnego rekordu");
    if (order.outOfOrder) return reportScatteredDuplicates(path, log, messages);
    for (const std::string& text : order.adjacentDuplicates) addFinding(log, DuplicateCode, text);
    const auto listed = static_cast<int64_t>(order.adjacentDuplicates.size());
    log.report.findingCount += order.adjacentDuplicateCount - listed;
    return 0;
}

// The pass over the records: each record's fields, and their order.
int checkEveryRecord(const std::string& path, FindingLog& log, OrderCheck& order,
                     PrchkMessages& messages) {
    const auto file = openForReading(path, messages);
    if (!file.holds()) return -1;
    PriceRecord record;
    size_t got = 0;
    int64_t index = 0;
    for (; (got = std::fread(&record, 1, sizeof record, file.get())) == sizeof record; ++index) {
        checkRecordFields(log, record, index);
        checkOrder(log, order, record, index);
    }
    if (std::ferror(file.get())) {
        messages.errors.push_back(formatText("%s: błąd odczytu", path.c_str()));
        return -1;
    }
    log.report.records = index;
    log.report.trailingBytes = static_cast<int64_t>(got);
    return 0;
}

}  // namespace

int verifyPriceFile(const std::string& path, VerifyReport& report, PrchkMessages& messages) {
    report = VerifyReport{};
    FindingLog log{report};
    OrderCheck order;
    if (checkEveryRecord(path, log, order, messages) != 0) return -1;
    if (addEndFindings(path, log, order, messages) != 0) return -1;
    return report.findingCount == 0 ? 0 : 1;
}
