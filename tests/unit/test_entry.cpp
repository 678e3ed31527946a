#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "lookup/entry.h"
#include "lookup/price_file.h"
#include "settings/settings.h"
#include "tests/support/fakes.h"
#include "tests/support/price_file_builder.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::vector<PriceRecord> shopRecords() {
    std::vector<PriceRecord> records = {
        makePriceRecord("5901234123457", "Mleko 3,2% 1l", 3.49, "opakowanie", 3.29, 3.23, 3.05),
        makePriceRecord("0036000291452", "Baton orzechowy", 2.99, "szt"),
        makePriceRecord("01234567", "Zapa\x92ki", 0.5, "szt"),
        makePriceRecord("2112345", "Szynka", 39.90, "kg", 38.0, 36.94, 35.19),
        makePriceRecord("2100012", "Szynka tania", 2.20, "kg"),
        makePriceRecord("211234",
                        "Ser \x92"
                        "agodny",
                        25.00, "kg"),
        makePriceRecord("2212345",
                        "Ciasto dro\xA7"
                        "d\xA7"
                        "owe",
                        30.00, "kg"),
        makePriceRecord("2212345999996", "Etykieta w pliku", 5.55, "szt"),
        makePriceRecord("LONG", std::string(121, 'N'), 1.0, std::string(18, 'U')),
        makePriceRecord("NAN1", "Uszkodzony", 1.0),
        makePriceRecord("NAN2", "Uszkodzony", 1.0),
        makePriceRecord("INF1", "Uszkodzony", 1.0),
        makePriceRecord("MAX", "Drogi", 1.0),
        makePriceRecord("2199999", "Bardzo drogi", 1.0, "kg"),
    };
    for (PriceRecord& record : records) {
        if (std::strcmp(record.code, "NAN1") == 0) record.price = kNaN;
        if (std::strcmp(record.code, "NAN2") == 0) record.net2 = kNaN;
        if (std::strcmp(record.code, "INF1") == 0) record.gross2 = -kInf;
        if (std::strcmp(record.code, "MAX") == 0) record.price = DBL_MAX;
        if (std::strcmp(record.code, "2199999") == 0) record.price = DBL_MAX;
    }
    sortPriceRecords(records);
    return records;
}

class Entry : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(&settings, 0, sizeof settings);
        settings.standaloneMode = 1;
        std::strcpy(settings.weightPrefixes[0], "21");
        std::strcpy(settings.valuePrefixes[1], "22");
        const std::string path = folder.file("PRCHK.DAT");
        std::snprintf(settings.priceFilePath, sizeof settings.priceFilePath, "%s", path.c_str());
        ASSERT_TRUE(writePriceFile(path, shopRecords()));
        clearCheckState();
        entryPos = 0;
        idleTimer = 0;
        resetFakeWindow();
    }

    static void type(std::string_view text) {
        for (char c : text) EXPECT_EQ(handleEntryChar(static_cast<signed char>(c)), 0);
    }
    static void scan(std::string_view code) {
        type(code);
        type("\r");
    }

    TempFolder folder;
};

TEST_F(Entry, TypedCharactersBuildTheCodeAndRestartTheTimer) {
    type("590");
    EXPECT_STREQ(checkState.code, "590");
    EXPECT_EQ(entryPos, 3);
    EXPECT_EQ(checkState.resultShown, 0);
    EXPECT_EQ(fakeWindow.timerRestarts, 3);
    EXPECT_EQ(fakeWindow.repaints, 3);
    EXPECT_NE(idleTimer, 0u);
}

TEST_F(Entry, EnterWithNothingTypedDoesNothing) {
    type("\r\n");
    EXPECT_EQ(fakeWindow.repaints, 0);
    EXPECT_EQ(checkState.resultShown, 0);
    scan("5901234123457");
    const int repaints = fakeWindow.repaints;
    const int restarts = fakeWindow.timerRestarts;
    type("\n");  // a scanner sending CR LF looks the code up once
    EXPECT_EQ(fakeWindow.repaints, repaints);
    EXPECT_EQ(fakeWindow.timerRestarts, restarts);
    EXPECT_DOUBLE_EQ(checkState.total, 34900);
}

TEST_F(Entry, FoundItemFillsTheScreenAndTheTotal) {
    scan("5901234123457");
    EXPECT_EQ(checkState.resultShown, 1);
    EXPECT_STREQ(checkState.code, "5901234123457");
    EXPECT_STREQ(checkState.itemName, "Mleko 3,2% 1l");
    EXPECT_DOUBLE_EQ(checkState.price, 34900);
    EXPECT_DOUBLE_EQ(checkState.unitPrice, 34900);
    EXPECT_DOUBLE_EQ(checkState.gross1, 34900);
    EXPECT_DOUBLE_EQ(checkState.gross2, 32900);
    EXPECT_DOUBLE_EQ(checkState.net1, 32300);
    EXPECT_DOUBLE_EQ(checkState.net2, 30500);
    EXPECT_STREQ(checkState.unit, "opako");  // cut to 5 characters
    EXPECT_EQ(checkState.weight, 0);
    EXPECT_EQ(entryPos, 0);
}

TEST_F(Entry, TotalSumsFoundItemsUntilTheIdleTimerClearsIt) {
    scan("5901234123457");
    scan("01234567");
    EXPECT_DOUBLE_EQ(checkState.total, 34900 + 5000);
    scan("999");
    EXPECT_STREQ(checkState.itemName, "Towar nieznany");
    EXPECT_EQ(checkState.price, 0);
    EXPECT_DOUBLE_EQ(checkState.total, 39900);

    expireIdleTimer();
    EXPECT_EQ(checkState.total, 0);
    EXPECT_STREQ(checkState.code, "");
    EXPECT_STREQ(checkState.itemName, "");
    EXPECT_EQ(checkState.resultShown, 0);
    EXPECT_EQ(idleTimer, 0u);
}

TEST_F(Entry, IdleTimerDropsAHalfTypedCode) {
    type("59012");
    expireIdleTimer();
    EXPECT_EQ(entryPos, 0);
    const int repaints = fakeWindow.repaints;
    type("\r");
    EXPECT_EQ(fakeWindow.repaints, repaints);  // nothing left to look up
    scan("5901234123457");
    EXPECT_STREQ(checkState.itemName, "Mleko 3,2% 1l");
}

TEST_F(Entry, SixteenCharactersWrapAndTheFollowingEnterIsIgnored) {
    type("1234567890123456");
    EXPECT_EQ(entryPos, 0);
    EXPECT_STREQ(checkState.code, "1234567890123456");
    type("\r");
    EXPECT_EQ(checkState.resultShown, 0);
    type("7");
    EXPECT_STREQ(checkState.code, "7");
    EXPECT_EQ(entryPos, 1);
}

TEST_F(Entry, LongCodesAreLookedUpByTheirFirstThirteenCharacters) {
    scan("59012341234579");
    EXPECT_STREQ(checkState.code, "5901234123457");
    EXPECT_STREQ(checkState.itemName, "Mleko 3,2% 1l");
}

TEST_F(Entry, CodeEndsAtTheFirstCharacterThatIsNoLetterOrDigit) {
    scan("5901234123457 x");
    EXPECT_STREQ(checkState.code, "5901234123457");
    EXPECT_EQ(checkState.price, 34900);
    scan(
        "\x02"
        "5901234123457");
    EXPECT_STREQ(checkState.code, "");
    EXPECT_STREQ(checkState.itemName, "Towar nieznany");
    scan("1234567\x08");  // a backspace is no editing key here
    EXPECT_STREQ(checkState.code, "1234567");
}

TEST_F(Entry, TwelveAndSevenCharacterCodesAreTriedWithALeadingZero) {
    scan("036000291452");
    EXPECT_STREQ(checkState.itemName, "Baton orzechowy");
    EXPECT_STREQ(checkState.code, "036000291452");
    scan("1234567");
    EXPECT_STREQ(checkState.itemName, "Zapa\x92ki");
    scan("234567");
    EXPECT_STREQ(checkState.itemName, "Towar nieznany");
}

TEST_F(Entry, WeightCodesArePricedByTheirWeight) {
    scan("2112345012346");
    EXPECT_STREQ(checkState.itemName, "Szynka");
    EXPECT_DOUBLE_EQ(checkState.weight, 1.234);
    EXPECT_EQ(checkState.price, 492400);  // 49.2366 charged as 49.24
    EXPECT_DOUBLE_EQ(checkState.unitPrice, 399000);
    EXPECT_DOUBLE_EQ(checkState.gross1, 399000);
    EXPECT_EQ(checkState.total, 492400);
    EXPECT_STREQ(checkState.unit, "kg");

    settings.shortItemCode = 1;
    scan("2112345012346");
    EXPECT_STREQ(checkState.itemName,
                 "Ser \x92"
                 "agodny");
    EXPECT_EQ(checkState.price, 308500);

    // 0.225 kg at 2.20 zł is 0.495: the till charges 0.50, and the total
    // adds what the till adds.
    settings.shortItemCode = 0;
    scan("2100012002257");
    EXPECT_EQ(checkState.price, 5000);
    EXPECT_EQ(checkState.total, 492400 + 308500 + 5000);
}

TEST_F(Entry, ValueCodesArePricedByTheirValue) {
    scan("2212345012503");
    EXPECT_STREQ(checkState.itemName,
                 "Ciasto dro\xA7"
                 "d\xA7"
                 "owe");
    EXPECT_DOUBLE_EQ(checkState.price, 125000);
    EXPECT_DOUBLE_EQ(checkState.unitPrice, 300000);
    EXPECT_EQ(checkState.weight, 0);
}

TEST_F(Entry, WeightCodeOfAMissingItemKeepsItsWeight) {
    scan("2177777010001");
    EXPECT_STREQ(checkState.itemName, "Towar nieznany");
    EXPECT_DOUBLE_EQ(checkState.weight, 1.0);
    EXPECT_EQ(checkState.price, 0);
    EXPECT_EQ(checkState.total, 0);
}

TEST_F(Entry, InStoreLookalikesAreOnlyPlainCodes) {
    scan("2112345012345");  // wrong check digit
    EXPECT_STREQ(checkState.itemName, "Towar nieznany");
    EXPECT_EQ(checkState.weight, 0);
    scan("211234501234");  // 12 characters never reach the in-store step
    EXPECT_STREQ(checkState.itemName, "Towar nieznany");
    EXPECT_EQ(checkState.weight, 0);
}

// A shop may list a whole in-store label in its price file; the item then
// costs what the file says, not nothing.
TEST_F(Entry, InStoreCodeFoundAsItStandsKeepsTheRecordPrice) {
    scan("2212345999996");
    EXPECT_STREQ(checkState.itemName, "Etykieta w pliku");
    EXPECT_DOUBLE_EQ(checkState.price, 55500);
    EXPECT_DOUBLE_EQ(checkState.total, 55500);
}

TEST_F(Entry, DamagedPricesShowAsUnknownItems) {
    scan("5901234123457");
    for (const char* code : {"NAN1", "NAN2", "INF1"}) {
        scan(code);
        EXPECT_STREQ(checkState.itemName, "Towar nieznany") << code;
        EXPECT_EQ(checkState.price, 0) << code;
        EXPECT_EQ(checkState.net2, 0) << code;
        EXPECT_DOUBLE_EQ(checkState.total, 34900) << code;
    }
}

TEST_F(Entry, PricesTooBigToAddUpNeverMakeAnInfiniteTotal) {
    scan("MAX");
    EXPECT_STREQ(checkState.itemName, "Drogi");
    EXPECT_EQ(checkState.total, DBL_MAX);
    scan("MAX");
    EXPECT_STREQ(checkState.itemName, "Towar nieznany");
    EXPECT_EQ(checkState.total, DBL_MAX);
    scan("2199999012342");  // the highest price times 1.234 kg
    EXPECT_STREQ(checkState.itemName, "Towar nieznany");
    EXPECT_TRUE(std::isfinite(checkState.total));
}

TEST_F(Entry, RecordFieldsWithoutZeroAreCopiedOnlyAsFarAsTheirWidth) {
    scan("LONG");
    EXPECT_EQ(std::string(checkState.itemName), std::string(121, 'N'));
    EXPECT_STREQ(checkState.unit, "UUUUU");
}

TEST_F(Entry, MissingPriceFileShowsUnknownItem) {
    std::strcpy(settings.priceFilePath, "/nonexistent/PRCHK.DAT");
    scan("5901234123457");
    EXPECT_STREQ(checkState.itemName, "Towar nieznany");
}

TEST_F(Entry, EnterClearsTheLastResultButNotTheTotal) {
    scan("2112345012346");
    scan("999");
    EXPECT_EQ(checkState.weight, 0);
    EXPECT_STREQ(checkState.unit, "");
    EXPECT_EQ(checkState.unitPrice, 0);
    EXPECT_EQ(checkState.total, 492400);
}

TEST_F(Entry, EveryByteValueIsStoredAndNothingLeavesTheCode) {
    for (int value = -128; value <= 127; ++value) {
        const auto ch = static_cast<signed char>(value);
        const int before = entryPos;
        handleEntryChar(ch);
        ASSERT_GE(entryPos, 0);
        ASSERT_LT(entryPos, 16);
        ASSERT_NE(std::memchr(checkState.code, 0, sizeof checkState.code), nullptr);
        if (ch != '\n' && ch != '\r') {
            EXPECT_EQ(checkState.code[before], static_cast<char>(ch));
        }
    }
}

TEST_F(Entry, LongRunsWithoutEnterKeepWrapping) {
    for (int i = 0; i < 100003; ++i) {
        handleEntryChar(static_cast<signed char>('0' + i % 10));
        ASSERT_EQ(entryPos, (i + 1) % 16);
        ASSERT_EQ(checkState.code[16], '\0');
    }
    type("\r");
    EXPECT_EQ(checkState.resultShown, 1);
    EXPECT_STREQ(checkState.code, "012");  // what was typed since the last wrap
}

TEST_F(Entry, OutOfRangePositionStartsAfresh) {
    entryPos = 400;
    type("7");
    EXPECT_STREQ(checkState.code, "7");
    EXPECT_EQ(entryPos, 1);
}

}  // namespace
