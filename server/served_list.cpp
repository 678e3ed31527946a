#include "server/served_list.h"

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

// The cascade's finder: the checker's bisection over the items. The record
// it fills holds what an answer needs; a damaged price shows in net1.
bool readServedRecord(const void* source, int64_t index, PriceRecord* record) {
    const auto& list = *static_cast<const ServedList*>(source);
    if (index < 0 || index >= list.count) return false;
    const ServedItem& item = servedItemAt(list, index);
    std::memset(record, 0, sizeof *record);
    std::memcpy(record->code, item.code, sizeof item.code);
    std::memcpy(record->name, item.name, sizeof item.name);
    record->price = item.price;
    if (!item.sound) record->net1 = std::numeric_limits<double>::quiet_NaN();
    return true;
}

bool findServedRecord(const void* source, const char* code, PriceRecord* record) {
    const auto& list = *static_cast<const ServedList*>(source);
    return bisectRecords(list.count, code, readServedRecord, source, record) >= 0;
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
    if (result != 0) list = ServedList{};
    return result;
}

CodeLookup lookupServedCode(const ServedList& list, const char* code) {
    return lookupCode(code, {findServedRecord, &list});
}
