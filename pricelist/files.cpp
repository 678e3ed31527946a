// Reading and writing the tool's files through the calls of file_calls.h,
// so a path with Polish letters means the same file to every step.
#include "pricelist/files.h"

#include <cstdio>

#include "base/cleanup.h"

using prchk::formatText;

namespace {

constexpr size_t kWriteBufferSize = size_t{1} << 20;

// Moves the temporary file over the old one, trying again while it is held.
bool moveOverHeldFile(const FileReplacement& replacement, const ReplaceCalls& calls) {
    for (int attempt = 1;; ++attempt) {
        const MoveResult result = calls.move(replacement.temporary, replacement.path);
        if (result == MoveResult::Moved) return true;
        if (result == MoveResult::Failed || attempt == kReplaceTries) return false;
        calls.pause(kReplacePauseMs);
    }
}

// Writes the records in the order of their codes, straight from the table.
bool writeRecordsInOrder(std::FILE* file, const PriceTable& table) {
    for (const RecordKey& key : table.order) {
        const PriceRecord& record = recordAt(table.records, key.index);
        if (std::fwrite(&record, sizeof record, 1, file) != 1) return false;
    }
    return true;
}

}  // namespace

Owned<std::FILE*> openForReading(const std::string& path, PrchkMessages& messages) {
    std::FILE* file = openFileNamed(path, "rb");
    if (file == nullptr) {
        messages.errors.push_back(
            formatText("%s: nie można otworzyć pliku do odczytu", path.c_str()));
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
        messages.errors.push_back(formatText("%s: błąd odczytu", path.c_str()));
        return -1;
    }
    return 0;
}

int beginReplacing(const std::string& path, FileReplacement& replacement, PrchkMessages& messages) {
    replacement.path = path;
    replacement.temporary = path + ".tmp";
    replacement.file = openFileNamed(replacement.temporary, "wb");
    if (replacement.file == nullptr) {
        messages.errors.push_back(formatText("%s: nie można utworzyć pliku; nic nie zapisano",
                                             replacement.temporary.c_str()));
        return -1;
    }
    std::setvbuf(replacement.file, nullptr, _IOFBF, kWriteBufferSize);
    return 0;
}

int finishReplacing(FileReplacement& replacement, bool written, PrchkMessages& messages,
                    const ReplaceCalls& calls) {
    const bool flushed = written && flushToDisk(replacement.file);
    const bool closed = std::fclose(replacement.file) == 0;
    replacement.file = nullptr;
    if (!flushed || !closed) {
        removeFileNamed(replacement.temporary);
        messages.errors.push_back(formatText("%s: błąd zapisu (pełny dysk?); nic nie zapisano",
                                             replacement.path.c_str()));
        return -1;
    }
    if (!moveOverHeldFile(replacement, calls)) {
        removeFileNamed(replacement.temporary);
        messages.errors.push_back(formatText(
            "%s: nie można zastąpić pliku (czy trzyma go inny program?); nic nie zapisano, "
            "stary plik jest bez zmian",
            replacement.path.c_str()));
        return -1;
    }
    return 0;
}

int writeFileReplacing(const std::string& path, std::string_view bytes, PrchkMessages& messages) {
    FileReplacement replacement;
    if (beginReplacing(path, replacement, messages) != 0) return -1;
    const bool written =
        std::fwrite(bytes.data(), 1, bytes.size(), replacement.file) == bytes.size();
    return finishReplacing(replacement, written, messages);
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
        messages.errors.push_back(formatText("%s: błąd odczytu", path.c_str()));
        return -1;
    }
    trailingBytes = static_cast<int64_t>(got);
    return 0;
}

int buildPriceFile(const std::string& csvPath, const std::string& outPath, CsvForm& form,
                   size_t& recordCount, PrchkMessages& messages) {
    recordCount = 0;
    const auto csv = openForReading(csvPath, messages);
    if (!csv.holds()) return -1;
    ByteSource source{csv.get()};
    PriceTable table;
    const int read = readPriceTable(source, form, table, messages);
    if (source.failed) {
        messages.errors.push_back(formatText("%s: błąd odczytu", csvPath.c_str()));
        return -1;
    }
    if (read != 0) return 1;
    FileReplacement replacement;
    if (beginReplacing(outPath, replacement, messages) != 0) return -1;
    const bool written = writeRecordsInOrder(replacement.file, table);
    if (finishReplacing(replacement, written, messages) != 0) return -1;
    recordCount = table.order.size();
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
            formatText("%s: %s za ostatnim pełnym rekordem pominięto", datPath.c_str(),
                       prchk::countOf(trailingBytes, "bajt", "bajty", "bajtów").c_str()));
    }
    // Windows-1250 has no BOM; the spreadsheet reads it as the PC's own page.
    const char* bom = form == DumpForm::Plain ? "\xEF\xBB\xBF" : "";
    const std::string csv = bom + recordsToCsv(records, messages, form);
    if (writeFileReplacing(csvPath, csv, messages) != 0) return -1;
    recordCount = records.size();
    return 0;
}
