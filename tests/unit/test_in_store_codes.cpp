#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "lookup/in_store_codes.h"
#include "settings/settings.h"

namespace {

std::string withCheckDigit(std::string text) {
    computeCheckDigit(text.data(), static_cast<int>(text.size()));
    return text.c_str();
}

TEST(CheckDigit, ValidCodesComeBackUnchangedAndWrongDigitsAreCorrected) {
    EXPECT_EQ(withCheckDigit("5901234123457"), "5901234123457");
    EXPECT_EQ(withCheckDigit("96385074"), "96385074");
    EXPECT_EQ(withCheckDigit("036000291452"), "036000291452");  // UPC-A
    EXPECT_EQ(withCheckDigit("5901234123450"), "5901234123457");
    EXPECT_EQ(withCheckDigit("9638507X"), "96385074");
    EXPECT_EQ(withCheckDigit("000"), "000");
}

TEST(CheckDigit, NonDigitsCountAsZeroAndAreRewritten) {
    EXPECT_EQ(withCheckDigit("59012341234A7"), "5901234123402");
    EXPECT_EQ(withCheckDigit(std::string("5\xFF"
                                         "01234123457")),
              "5001234123454");
}

TEST(CheckDigit, TextsShorterThanThreeBecomeEmpty) {
    for (int length : {-5, 0, 1, 2}) {
        char text[] = "12";
        EXPECT_STREQ(computeCheckDigit(text, length), "") << length;
    }
}

TEST(CheckDigit, LongestTextIsHandledInPlace) {
    std::string text(kMaxCheckDigitText, '9');
    const std::string result = withCheckDigit(text);
    ASSERT_EQ(result.size(), 255u);
    EXPECT_EQ(result.substr(0, 254), std::string(254, '9'));
    // 127 nines weigh 3, 127 weigh 1: 127 * 36 = 4572, check 8.
    EXPECT_EQ(result.back(), '8');
}

TEST(EanCode, OnlyThirteenOrEightCharactersWithTheirCheckDigitAreEan) {
    EXPECT_EQ(checkEanCode("5901234123457"), 1);
    EXPECT_EQ(checkEanCode("96385074"), 1);
    EXPECT_EQ(checkEanCode("5901234123458"), 0);
    EXPECT_EQ(checkEanCode("96385075"), 0);
    EXPECT_EQ(checkEanCode("590123412345A"), 0);  // a letter is never a digit
    EXPECT_EQ(checkEanCode("A5901234123457"), 2);
    for (const char* other : {"", "5", "963850", "9638507", "036000291452", "59012341234570",
                              "590123412345700000000000"})
        EXPECT_EQ(checkEanCode(other), 2) << other;
}

class InStoreCodes : public ::testing::Test {
protected:
    void SetUp() override { std::memset(&settings, 0, sizeof settings); }
};

TEST_F(InStoreCodes, PrefixesDecideTheKindOfValidCodes) {
    std::strcpy(settings.weightPrefixes[1], "21");
    std::strcpy(settings.valuePrefixes[2], "22");
    EXPECT_EQ(classifyInStoreCode("2112345012346"), WeightCode);
    EXPECT_EQ(classifyInStoreCode("2212345012503"), ValueCode);
    EXPECT_EQ(classifyInStoreCode("5901234123457"), PlainCode);
    EXPECT_EQ(classifyInStoreCode("2112345012345"), PlainCode);  // wrong check digit
    EXPECT_EQ(classifyInStoreCode("211234512345"), PlainCode);   // 12 characters
    EXPECT_EQ(classifyInStoreCode("21123450"), WeightCode);      // a valid EAN-8 counts too
}

TEST_F(InStoreCodes, ValuePrefixesWinOverWeightPrefixes) {
    std::strcpy(settings.weightPrefixes[0], "21");
    std::strcpy(settings.valuePrefixes[0], "21");
    EXPECT_EQ(classifyInStoreCode("2112345012346"), ValueCode);
}

TEST_F(InStoreCodes, EmptyAndOneCharacterSlotsNeverMatch) {
    std::strcpy(settings.weightPrefixes[0], "2");
    std::strcpy(settings.valuePrefixes[1], "");
    EXPECT_EQ(classifyInStoreCode("2112345012346"), PlainCode);
    EXPECT_EQ(classifyInStoreCode("2212345012503"), PlainCode);
}

TEST_F(InStoreCodes, ItemCodeAndQuantityComeFromTheirPositions) {
    InStoreParts parts = decodeInStoreCode("2112345012346");
    EXPECT_STREQ(parts.itemCode, "2112345");
    EXPECT_EQ(parts.quantity, 1234);

    settings.shortItemCode = 1;
    parts = decodeInStoreCode("2112345012346");
    EXPECT_STREQ(parts.itemCode, "211234");
    EXPECT_EQ(parts.quantity, 1234);
}

TEST_F(InStoreCodes, ShortCodesDecodeToWhatTheyHold) {
    InStoreParts parts = decodeInStoreCode("");
    EXPECT_STREQ(parts.itemCode, "");
    EXPECT_EQ(parts.quantity, 0);
    parts = decodeInStoreCode("21123450");
    EXPECT_STREQ(parts.itemCode, "2112345");
    EXPECT_EQ(parts.quantity, 0);
    parts = decodeInStoreCode(std::string(400, '7').c_str());
    EXPECT_STREQ(parts.itemCode, "7777777");
    EXPECT_GT(parts.quantity, 1e200);
}

}  // namespace
