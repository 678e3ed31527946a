// Reading and writing the tool's files with the C library throughout, so a
// path with Polish letters means the same file to fopen, remove and rename.
#include "pricelist/files.h"

#include <cstdio>

#include "base/cleanup.h"

using prchk::formatText;

Owned<std::FILE*> openForReading(const std::string& path, PrchkMessages& messages) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        messages.errors.push_back(formatText("%s: cannot be opened for reading", path.c_str()));
    }
    return ownFile(file);
}

int readWholeFile(const std::string& path, std::string& bytes, PrchkMessages& messages) {
    const auto file = openForReading(path, messages);
    if (!file.holds()) return -1;
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

int writeFileReplacing(const std::string& path, std::string_view bytes, PrchkMessages& messages) {
    const std::string temporary = path + ".tmp";
    {
        auto file = ownFile(std::fopen(temporary.c_str(), "wb"));
        if (!file.holds()) {
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
    // first.
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const bool replaced =
            std::remove(path.c_str()) == 0 && std::rename(temporary.c_str(), path.c_str()) == 0;
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
                  int64_t& trailingBytes, PrchkMessages& messages) {
    records.clear();
    trailingBytes = 0;
    const auto file = openForReading(path, messages);
    if (!file.holds()) return -1;
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

int buildPriceFile(const std::string& csvPath, const std::string& outPath, CsvForm& form,
                   size_t& recordCount, PrchkMessages& messages) {
    recordCount = 0;
    std::string bytes;
    if (readWholeFile(csvPath, bytes, messages) != 0) return -1;
    std::vector<PriceRecord> records;
    if (readPriceList(bytes, form, records, messages) != 0) return 1;
    if (writeFileReplacing(outPath, serializeRecords(records), messages) != 0) return -1;
    recordCount = records.size();
    return 0;
}

int dumpPriceFile(const std::string& datPath, const std::string& csvPath, DumpForm form,
                  size_t& recordCount, PrchkMessages& messages) {
    recordCount = 0;
    std::vector<PriceRecord> records;
    int64_t trailingBytes = 0;
    if (readPriceFile(datPath, records, trailingBytes, messages) != 0) return -1;
    if (trailingBytes > 0) {
        messages.warnings.push_back(
            formatText("%s: %lld bytes after the last whole record are left out", datPath.c_str(),
                       static_cast<long long>(trailingBytes)));
    }
    // Windows-1250 has no BOM; the spreadsheet reads it as the PC's own page.
    const char* bom = form == DumpForm::Plain ? "\xEF\xBB\xBF" : "";
    const std::string csv = bom + recordsToCsv(records, messages, form);
    if (writeFileReplacing(csvPath, csv, messages) != 0) return -1;
    recordCount = records.size();
    return 0;
}
