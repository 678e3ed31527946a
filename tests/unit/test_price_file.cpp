#include <dirent.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "lookup/price_file.h"
#include "settings/settings.h"
#include "tests/support/price_file_builder.h"

namespace {

class PriceFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(&settings, 0, sizeof settings);
        settings.standaloneMode = 1;
        path = folder.file("PRCHK.DAT");
        std::snprintf(settings.priceFilePath, sizeof settings.priceFilePath, "%s", path.c_str());
    }

    void write(const std::vector<PriceRecord>& records, std::string_view trailing = {}) {
        ASSERT_TRUE(writePriceFile(path, records, trailing));
    }

    TempFolder folder;
    std::string path;
};

int maxReadsFor(long n) {
    return static_cast<int>(std::floor(std::log2(n))) + 2;
}

int openDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) ++count;
        closedir(dir);
    }
    return count;
}

TEST_F(PriceFile, MissingEmptyOrTooShortFileFindsNothing) {
    EXPECT_EQ(lookupPriceRecord("5901234123457"), -1);  // no file yet
    ASSERT_TRUE(writeBytes(path, ""));
    EXPECT_EQ(lookupPriceRecord(""), -1);
    const PriceRecord one = makePriceRecord("123");
    ASSERT_TRUE(writeBytes(path, std::string_view(reinterpret_cast<const char*>(&one), 193)));
    EXPECT_EQ(lookupPriceRecord("123"), -1);
}

TEST_F(PriceFile, OneAndTwoRecordFilesFindExactlyTheirRecords) {
    write({makePriceRecord("5")});
    EXPECT_EQ(lookupPriceRecord("5"), 0);
    EXPECT_EQ(lookupPriceRecord("4"), -1);
    EXPECT_EQ(lookupPriceRecord("6"), -1);
    EXPECT_EQ(lookupPriceRecord("55"), -1);
    EXPECT_EQ(lookupPriceRecord(""), -1);

    write({makePriceRecord("5"), makePriceRecord("7")});
    EXPECT_EQ(lookupPriceRecord("5"), 0);
    EXPECT_EQ(lookupPriceRecord("7"), 1);
    for (const char* missing : {"", "4", "6", "8", "50"}) EXPECT_EQ(lookupPriceRecord(missing), -1);
}

TEST_F(PriceFile, FoundRecordIsLeftInTheBuffer) {
    write({makePriceRecord("100", "Chleb", 4.5, "szt", 4.2, 4.17, 3.89),
           makePriceRecord("200", "Mas\x92o", 7.99, "kg")});
    ASSERT_EQ(lookupPriceRecord("200"), 1);
    // The record is packed: its doubles are copied before gtest takes a reference.
    EXPECT_STREQ(recordBuffer.code, "200");
    EXPECT_STREQ(recordBuffer.name, "Mas\x92o");
    EXPECT_EQ(double{recordBuffer.price}, 79900);
    ASSERT_EQ(lookupPriceRecord("100"), 0);
    EXPECT_EQ(double{recordBuffer.gross2}, 42000);
    EXPECT_EQ(double{recordBuffer.net1}, 41700);
    EXPECT_EQ(double{recordBuffer.net2}, 38900);
    EXPECT_STREQ(recordBuffer.unit, "szt");
}

TEST_F(PriceFile, TrailingBytesAfterTheLastRecordAreIgnored) {
    write(numberedPriceRecords(5), std::string(193, '\xFF'));
    for (long i = 0; i < 5; ++i) EXPECT_EQ(lookupPriceRecord(numberedCode(2 * i).c_str()), i);
    EXPECT_EQ(lookupPriceRecord("9999999"), -1);
}

TEST_F(PriceFile, EveryRecordOfSortedFilesIsFoundWithinTheReadBound) {
    std::vector<long> sizes;
    for (long n = 1; n <= 70; ++n) sizes.push_back(n);
    for (long n : {127, 128, 129, 255, 256, 257, 1000, 1023, 1024, 1025, 2999}) sizes.push_back(n);
    for (long n : sizes) {
        write(numberedPriceRecords(n));
        for (long i = 0; i < n; ++i) {
            ASSERT_EQ(lookupPriceRecord(numberedCode(2 * i).c_str()), i) << "n=" << n;
            ASSERT_LE(lastLookupReads, maxReadsFor(n)) << "n=" << n;
        }
        // Before every record, between any two, after all.
        for (long i = -1; i < n; ++i) {
            const std::string missing = i < 0 ? "" : numberedCode(2 * i + 1);
            ASSERT_EQ(lookupPriceRecord(missing.c_str()), -1) << "n=" << n;
            ASSERT_LE(lastLookupReads, maxReadsFor(n)) << "n=" << n;
        }
        if (n < 3000) {
            EXPECT_EQ(lookupPriceRecord("9999999"), -1);
            EXPECT_LE(lastLookupReads, 12);
        }
    }
}

// The probe positions are fixed by the file's size: on an unsorted file they
// decide which records can be found, so the same file must give the same
// answers and the same number of reads on every checker and every run.
struct Probe {
    int32_t index;
    int reads;
};

Probe modelLookup(const std::vector<std::string>& codes, const std::string& code) {
    const long n = static_cast<long>(codes.size());
    long half = n / 2;
    long pos = n / 2;
    for (int reads = 1;; ++reads) {
        if (pos >= n) return {-1, reads};
        const int order = code.compare(codes[pos]);
        if (order == 0) return {static_cast<int32_t>(pos), reads};
        pos += order < 0 ? -(half + 1) / 2 : (half + 1) / 2;
        if (half == 0) return {-1, reads};
        half /= 2;
        pos = std::clamp(pos, 0L, n - 1);
    }
}

TEST_F(PriceFile, UnsortedFilesAreProbedAtTheKnownPositions) {
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        const long n = 1 + static_cast<long>(random() % 300);
        std::vector<PriceRecord> records;
        std::vector<std::string> codes;
        for (long i = 0; i < n; ++i) {
            codes.push_back(std::to_string(random() % 1000));
            records.push_back(makePriceRecord(codes.back()));
        }
        write(records);
        for (int k = 0; k < 1000; ++k) {
            const std::string code = std::to_string(k);
            const Probe expected = modelLookup(codes, code);
            ASSERT_EQ(lookupPriceRecord(code.c_str()), expected.index) << code;
            ASSERT_EQ(lastLookupReads, expected.reads) << code;
        }
    }
}

TEST_F(PriceFile, CodesCompareAsUnsignedBytesAndPrefixesSortFirst) {
    write({makePriceRecord("12"), makePriceRecord("123"), makePriceRecord("12\x7F"),
           makePriceRecord("12\x80"), makePriceRecord("12\xFF")});
    EXPECT_EQ(lookupPriceRecord("12"), 0);
    EXPECT_EQ(lookupPriceRecord("123"), 1);
    EXPECT_EQ(lookupPriceRecord("12\x7F"), 2);
    EXPECT_EQ(lookupPriceRecord("12\x80"), 3);
    EXPECT_EQ(lookupPriceRecord("12\xFF"), 4);
}

TEST_F(PriceFile, EmptyCodeIsFoundOnlyInARecordWithAnEmptyCode) {
    write({makePriceRecord("1"), makePriceRecord("2")});
    EXPECT_EQ(lookupPriceRecord(""), -1);
    write({makePriceRecord(""), makePriceRecord("1"), makePriceRecord("2")});
    EXPECT_EQ(lookupPriceRecord(""), 0);
}

TEST_F(PriceFile, CodeFieldWithoutZeroEndsAtItsSeventeenthByte) {
    // The name right behind the code has no zero either: a comparison that
    // ran past the code field would read it as part of the code.
    PriceRecord full = makePriceRecord("12345678901234567", std::string(121, 'N'));
    write({makePriceRecord("1"), full, makePriceRecord("9")});
    EXPECT_EQ(lookupPriceRecord("12345678901234567"), 1);
    EXPECT_EQ(lookupPriceRecord("1234567890123456"), -1);
    EXPECT_EQ(lookupPriceRecord("12345678901234567N"), -1);
    EXPECT_EQ(lookupPriceRecord("9"), 2);
}

TEST_F(PriceFile, EachLookupReadsTheFileAfresh) {
    write({makePriceRecord("1", "Stary")});
    ASSERT_EQ(lookupPriceRecord("1"), 0);
    EXPECT_STREQ(recordBuffer.name, "Stary");
    write({makePriceRecord("0"), makePriceRecord("1", "Nowy")});
    ASSERT_EQ(lookupPriceRecord("1"), 1);
    EXPECT_STREQ(recordBuffer.name, "Nowy");
}

TEST_F(PriceFile, TheFileIsClosedOnEveryPath) {
    write(numberedPriceRecords(10));
    const int before = openDescriptors();
    lookupPriceRecord("0000004");  // found
    lookupPriceRecord("0000005");  // not found
    ASSERT_TRUE(writeBytes(path, "short"));
    lookupPriceRecord("0000004");  // read fails
    std::snprintf(settings.priceFilePath, sizeof settings.priceFilePath, "%s",
                  folder.path().c_str());
    lookupPriceRecord("0000004");  // a folder: opens on POSIX, reads fail
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(PriceFile, UnterminatedPathIsCutAtItsField) {
    std::memset(settings.priceFilePath, 'x', sizeof settings.priceFilePath);
    EXPECT_EQ(lookupPriceRecord("1"), -1);
}

}  // namespace
