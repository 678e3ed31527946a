// Files the prchk tool reads and writes: CSV price lists and price files.
// A price file is only ever replaced whole, in one step, so a checker never
// reads one half written and never finds none.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/cleanup.h"
#include "lookup/price_file.h"
#include "pricelist/file_calls.h"
#include "pricelist/messages.h"
#include "pricelist/price_list.h"
#include "pricelist/records.h"

// Opens a file for binary reading; when it cannot be opened, the guard holds
// nothing and an error names the file.
Owned<std::FILE*> openForReading(const std::string& path, PrchkMessages& messages);

// Reads a whole file. Returns 0, or -1 with an error.
int readWholeFile(const std::string& path, std::string& bytes, PrchkMessages& messages);

// A file being written beside the one it is to replace.
struct FileReplacement {
    std::string path;
    std::string temporary;
    std::FILE* file = nullptr;
};

// The calls a replace repeats while another program holds the file: the
// platform's own, or a test's that holds it as a checker would.
struct ReplaceCalls {
    MoveResult (*move)(const std::string& from, const std::string& to) = moveFileOver;
    void (*pause)(int milliseconds) = pauseMilliseconds;
};

// A held file is tried again for about two seconds: a checker holds
// PRCHK.DAT for a few milliseconds per lookup, a virus scanner a new file
// for longer.
inline constexpr int kReplaceTries = 21;
inline constexpr int kReplacePauseMs = 100;

// Creates the temporary file beside `path`. Returns 0, or -1 with an error.
int beginReplacing(const std::string& path, FileReplacement& replacement, PrchkMessages& messages);

// Flushes the temporary file to the disk and moves it over the old file in
// one step, trying again while the old file is held. `written` says whether
// every write succeeded. On any failure the temporary file is removed, the
// old file keeps its bytes and an error says that nothing was written.
// Returns 0, or -1.
int finishReplacing(FileReplacement& replacement, bool written, PrchkMessages& messages,
                    const ReplaceCalls& calls = {});

// Replaces `path` with `bytes` in this way.
int writeFileReplacing(const std::string& path, std::string_view bytes, PrchkMessages& messages);

// Reads the whole records of a price file; `trailingBytes` gets the bytes of
// an incomplete last record. Returns 0, or -1 with an error.
int readPriceFile(const std::string& path, std::vector<PriceRecord>& records,
                  int64_t& trailingBytes, PrchkMessages& messages);

// CSV file in, price file out. Writes nothing unless the whole list is sound.
// `form` says how the CSV is written where the user said so; the rest is
// found from the file and filled in. Returns 0 when written, 1 when the CSV
// has errors, -1 when a file cannot be read or written. `recordCount` gets
// the number of records written.
int buildPriceFile(const std::string& csvPath, const std::string& outPath, CsvForm& form,
                   size_t& recordCount, PrchkMessages& messages);

// Price file in, CSV out: the plain form as UTF-8 with a BOM, so spreadsheets
// read the Polish letters too, or the spreadsheet form. Returns 0, or -1 when
// the file cannot be read or written. `recordCount` gets the number of
// records written.
int dumpPriceFile(const std::string& datPath, const std::string& csvPath, DumpForm form,
                  size_t& recordCount, PrchkMessages& messages);
