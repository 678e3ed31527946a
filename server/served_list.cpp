#include "server/served_list.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "base/cleanup.h"
#include "base/text.h"
#include "pricelist/pricelist.h"

namespace {

constexpr size_t kRecordsPerRead = 1024;

ServedItem* addServedItem(ServedList& list) {
    const auto index = static_cast<size_t>(list.count);
    if (index % kServedItemsPerBlock == 0) {
        ServedItem* block = new (std::nothrow) ServedItem[kServedItemsPerBlock];
        if (block == nullptr) return nullptr;
        list.blocks.emplace_back(block);
    }
    ++list.count;
    return &list.blocks.back()[index % kServedItemsPerBlock];
}

const ServedItem& servedItemAt(const ServedList& list, int64_t index) {
    const auto at = static_cast<size_t>(index);
    return list.blocks[at / kServedItemsPerBlock][at % kServedItemsPerBlock];
}

bool addRecord(ServedList& list, const PriceRecord& record) {
    ServedItem* item = addServedItem(list);
    if (item == nullptr) return false;
    std::memcpy(item->code, record.code, sizeof item->code);
    std::memset(item->name, 0, sizeof item->name);
    std::memcpy(item->name, record.name, fieldLength(record.name, sizeof item->name));
    item->sound = std::isfinite(record.price) && std::isfinite(record.gross2) &&
                  std::isfinite(record.net1) && std::isfinite(record.net2);
    item->price = record.price;
    return true;
}

int loadPriceFile(std::FILE* file, ServedList& list, std::string& error) {
    std::vector<PriceRecord> records(kRecordsPerRead);
    size_t got = 0;
    while ((got = std::fread(records.data(), 1, records.size() * sizeof(PriceRecord), file)) > 0) {
        const size_t whole = got / sizeof(PriceRecord);
        for (size_t i = 0; i < whole; ++i) {
            if (!addRecord(list, records[i])) {
                error = "not enough memory";
                return -1;
            }
        }
        list.trailingBytes = static_cast<int64_t>(got % sizeof(PriceRecord));
    }
    if (std::ferror(file)) {
        error = "read error";
        return -1;
    }
    if (list.count == 0) {
        error = "no whole record in the file (a copy cut short?)";
        return -1;
    }
    return 0;
}

int loadCsv(std::FILE* file, ServedList& list, std::string& error) {
    ByteSource source{file};
    CsvForm form;
    PriceTable table;
    PrchkMessages messages;
    const int read = readPriceTable(source, form, table, messages);
    if (source.failed) {
        error = "read error";
        return -1;
    }
    if (read != 0) {
        error = messages.errors.empty() ? "not a price list" : messages.errors.front();
        if (messages.errors.size() > 1)
            error += " (and " + std::to_string(messages.errors.size() - 1) + " more faults)";
        return -1;
    }
    for (const RecordKey& key : table.order) {
        if (!addRecord(list, recordAt(table.records, key.index))) {
            error = "not enough memory";
            return -1;
        }
    }
    return 0;
}

// The cascade's finder: the checker's bisection over the items. Of the
// record it fills only what an answer reads (the code, the first 20 bytes
// of the name, the price, and a damaged price as a net1 that is no number);
// the rest stays as the caller zeroed it. It runs for every probe of every
// request, so it copies no more.
bool readServedRecord(const void* source, int64_t index, PriceRecord* record) {
    const auto& list = *static_cast<const ServedList*>(source);
    if (index < 0 || index >= list.count) return false;
    const ServedItem& item = servedItemAt(list, index);
    std::memcpy(record->code, item.code, sizeof item.code);
    std::memcpy(record->name, item.name, sizeof item.name);
    record->price = item.price;
    record->net1 = item.sound ? 0.0 : std::numeric_limits<double>::quiet_NaN();
    return true;
}

// The length of a key that may fill its field without a zero byte.
size_t keyLength(const char (&code)[17]) {
    return fieldLength(code, sizeof code);
}

uint32_t hashOfCode(const char* code, size_t length) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (size_t i = 0; i < length; ++i)
        hash = (hash ^ static_cast<unsigned char>(code[i])) * 16777619u;
    return hash;
}

// Fills codeSlots when the codes stand in strict order and their count fits.
void indexCodes(ServedList& list) {
    if (list.count >= INT32_MAX / 4) return;
    for (int64_t i = 1; i < list.count; ++i) {
        if (compareRecordCodes(servedItemAt(list, i - 1).code, servedItemAt(list, i).code) >= 0)
            return;
    }
    size_t size = 16;
    while (size < static_cast<size_t>(list.count) * 2) size *= 2;
    list.codeSlots.assign(size, 0);
    for (int64_t i = 0; i < list.count; ++i) {
        const ServedItem& item = servedItemAt(list, i);
        size_t slot = hashOfCode(item.code, keyLength(item.code)) & (size - 1);
        while (list.codeSlots[slot] != 0) slot = (slot + 1) & (size - 1);
        list.codeSlots[slot] = static_cast<uint32_t>(i + 1);
    }
}

// The item whose key is `code` by the table of hashes, or -1.
int64_t findIndexed(const ServedList& list, const char* code) {
    const size_t length = strnlen(code, sizeof(ServedItem::code) + 1);
    const size_t mask = list.codeSlots.size() - 1;
    for (size_t slot = hashOfCode(code, length) & mask; list.codeSlots[slot] != 0;
         slot = (slot + 1) & mask) {
        const int64_t index = list.codeSlots[slot] - 1;
        const ServedItem& item = servedItemAt(list, index);
        if (keyLength(item.code) == length && std::memcmp(item.code, code, length) == 0)
            return index;
    }
    return -1;
}

bool findServedRecord(const void* source, const char* code, PriceRecord* record) {
    const auto& list = *static_cast<const ServedList*>(source);
    if (list.codeSlots.empty())
        return bisectRecords(list.count, code, readServedRecord, source, record) >= 0;
    const int64_t index = findIndexed(list, code);
    return index >= 0 && readServedRecord(source, index, record);
}

}  // namespace

int loadServedList(const std::string& path, ListForm form, ServedList& list, std::string& error) {
    list = ServedList{};
    const auto file = ownFile(openFileNamed(path, "rb"));
    if (!file.holds()) {
        error = "cannot open the file";
        return -1;
    }
    const int result = form == ListForm::Csv ? loadCsv(file.get(), list, error)
                                             : loadPriceFile(file.get(), list, error);
    if (result != 0) {
        list = ServedList{};
        return result;
    }
    indexCodes(list);
    return 0;
}

CodeLookup lookupServedCode(const ServedList& list, const char* code) {
    return lookupCode(code, {findServedRecord, &list});
}
