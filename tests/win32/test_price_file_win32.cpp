// The price file as Windows opens it: shared with a back-office program
// that holds it open for writing, and read past 2 GB, where a 32-bit file
// offset would wrap.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "lookup/price_file.h"
#include "settings/settings.h"

namespace {

PriceRecord recordWithCode(const char* code) {
    PriceRecord record;
    std::memset(&record, 0, sizeof record);
    std::snprintf(record.code, sizeof record.code, "%s", code);
    std::snprintf(record.name, sizeof record.name, "Towar %s", code);
    record.price = 10000;
    return record;
}

// A file of its own in the temporary folder, deleted at the end.
struct TempPriceFile {
    std::string path;
    TempPriceFile() {
        char folder[MAX_PATH] = {};
        char name[MAX_PATH] = {};
        GetTempPathA(sizeof folder, folder);
        GetTempFileNameA(folder, "prc", 0, name);
        path = name;
        std::snprintf(settings.priceFilePath, sizeof settings.priceFilePath, "%s", name);
    }
    ~TempPriceFile() { DeleteFileA(path.c_str()); }
};

bool writeAt(HANDLE file, LONGLONG offset, const PriceRecord& record) {
    LARGE_INTEGER position;
    position.QuadPart = offset;
    DWORD written = 0;
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) &&
           WriteFile(file, &record, sizeof record, &written, nullptr) && written == sizeof record;
}

TEST(PriceFileOnWindows, IsReadWhileTheBackOfficeHoldsItOpenForWriting) {
    TempPriceFile temp;
    HANDLE writer =
        CreateFileA(temp.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(writeAt(writer, 0, recordWithCode("100")));
    ASSERT_TRUE(writeAt(writer, 194, recordWithCode("200")));
    ASSERT_TRUE(writeAt(writer, 388, recordWithCode("300")));
    FlushFileBuffers(writer);

    EXPECT_EQ(lookupPriceRecord("100"), 0);
    EXPECT_EQ(lookupPriceRecord("300"), 2);
    EXPECT_EQ(lookupPriceRecord("250"), -1);
    // The lookup closed its handle: the writer can still replace the content.
    ASSERT_TRUE(writeAt(writer, 194, recordWithCode("250")));
    FlushFileBuffers(writer);
    EXPECT_EQ(lookupPriceRecord("250"), 1);
    CloseHandle(writer);
    EXPECT_TRUE(DeleteFileA(temp.path.c_str()));  // nothing of ours keeps it open
}

TEST(PriceFileOnWindows, RecordsBeyondTwoGigabytesAreFound) {
    TempPriceFile temp;
    constexpr LONGLONG kRecords = 12000000;  // 2.3 GB; the gaps are empty codes
    HANDLE writer = CreateFileA(temp.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = kRecords * 194;
    ASSERT_TRUE(SetFilePointerEx(writer, end, nullptr, FILE_BEGIN) && SetEndOfFile(writer));
    ASSERT_TRUE(writeAt(writer, (kRecords - 1) * 194, recordWithCode("9")));
    CloseHandle(writer);

    EXPECT_EQ(lookupPriceRecord("9"), kRecords - 1);
    EXPECT_STREQ(recordBuffer.name, "Towar 9");
    EXPECT_EQ(lookupPriceRecord("8"), -1);
}

}  // namespace
