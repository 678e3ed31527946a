#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/windows1250.h"
#include "lookup/polish_text.h"

namespace {

std::string columnText(const LetterTable& table) {
    return std::string(table.begin(), table.end());
}

std::string recoded(std::string text, const LetterTable& from, const LetterTable& to) {
    recodeText(text.data(), static_cast<int32_t>(text.size()), from, to);
    return text;
}

TEST(PolishText, NoLengthOrNegativeLengthChangesNothing) {
    std::string text = columnText(cp852Letters);
    const std::string before = text;
    EXPECT_EQ(recodeText(text.data(), 0, cp852Letters, mazoviaLetters), text.data());
    EXPECT_EQ(text, before);
    recodeText(text.data(), -1, cp852Letters, mazoviaLetters);
    recodeText(text.data(), INT32_MIN, cp852Letters, mazoviaLetters);
    EXPECT_EQ(text, before);
}

TEST(PolishText, ServerLettersBecomeMazoviaThenWindowsLetters) {
    const std::string mazovia = recoded(columnText(cp852Letters), cp852Letters, mazoviaLetters);
    EXPECT_EQ(mazovia, columnText(mazoviaLetters));
    std::string display = mazovia;
    EXPECT_EQ(toDisplayText(display.data(), static_cast<int32_t>(display.size())), display.data());
    EXPECT_EQ(display, columnText(win1250Letters));
}

TEST(PolishText, EachByteIsRecodedOnceOnly) {
    // CP852 c-acute 0x86 is Mazovia 0x8D, which is CP852 Z-acute: a second
    // pass would turn it into Mazovia 0xA0.
    EXPECT_EQ(recoded("\x86", cp852Letters, mazoviaLetters), "\x8D");
    // o-acute is 0xA2 in both pages.
    EXPECT_EQ(recoded("\xA2", cp852Letters, mazoviaLetters), "\xA2");
    // Mazovia L-stroke 0x9C is s-acute in Windows-1250 and must not be drawn as one.
    EXPECT_EQ(recoded("\x9C", mazoviaLetters, win1250Letters), "\xA3");
}

TEST(PolishText, EveryByteThatIsNoLetterPassesUnchanged) {
    for (int value = 0; value < 256; ++value) {
        const auto byte = static_cast<unsigned char>(value);
        bool isLetter = false;
        for (unsigned char letter : cp852Letters) isLetter = isLetter || letter == byte;
        if (isLetter) continue;
        const std::string one(1, static_cast<char>(byte));
        EXPECT_EQ(recoded(one, cp852Letters, mazoviaLetters), one) << value;
    }
}

TEST(PolishText, ZeroBytesDoNotEndTheRecoding) {
    std::string text("a\0\x86", 3);
    recodeText(text.data(), 3, cp852Letters, mazoviaLetters);
    EXPECT_EQ(text, std::string("a\0\x8D", 3));
}

TEST(PolishText, OnlyTheGivenLengthIsTouched) {
    std::string text = "\x9C\x9C";
    toDisplayText(text.data(), 1);
    EXPECT_EQ(text, "\xA3\x9C");
}

TEST(PolishText, ProgramTextsSurviveTheDisplayRecoding) {
    for (std::string text :
         {std::string("Towar nieznany"), std::string("B\xB3\xB9"
                                                     "d komunikacji z serwerem sprawdzarek")}) {
        const std::string before = text;
        toDisplayText(text.data(), static_cast<int32_t>(text.size()));
        EXPECT_EQ(text, before);
    }
}

TEST(PolishText, TablesHoldEighteenDistinctLetters) {
    for (const LetterTable* table : {&cp852Letters, &mazoviaLetters, &win1250Letters}) {
        for (size_t i = 0; i < table->size(); ++i)
            for (size_t j = i + 1; j < table->size(); ++j) EXPECT_NE((*table)[i], (*table)[j]);
    }
}

// The program's Windows-1250 bytes go to the wide API and back unchanged,
// whatever the PC's own code page: every byte, the Polish letters included.
TEST(Windows1250, EveryByteSurvivesTheWayThroughUtf16) {
    std::string all;
    for (int byte = 1; byte < 256; ++byte) all += static_cast<char>(byte);
    EXPECT_EQ(utf16ToWindows1250(windows1250ToUtf16(all)), all);
    EXPECT_EQ(windows1250ToUtf16(columnText(win1250Letters)),
              u"\u0105\u0107\u0119\u0142\u0144\u00F3"
              u"\u015B\u017A\u017C\u0104\u0106\u0118\u0141\u0143\u00D3\u015A\u0179\u017B");
    EXPECT_EQ(windows1250ToUtf16(std::string_view("C:\\\xA3\xF3"
                                                  "d\x9F\0after",
                                                  12)),
              u"C:\\\u0141\u00F3d\u017A");
}

// What the page cannot hold becomes "?", one for each character typed.
TEST(Windows1250, CharactersThePageLacksBecomeQuestionMarks) {
    EXPECT_EQ(utf16ToWindows1250(u"Caf\u00E9 \u20AC5 \u00E6\u4E2D"),
              "Caf\xE9 \x80"
              "5 ??");
    EXPECT_EQ(utf16ToWindows1250(u"a\U0001F600b"), "a?b");
    EXPECT_EQ(utf16ToWindows1250(std::u16string(u"ab\0cd", 5)), "ab");
}

// The dialog's fields: a setup.dat field full to its last byte is shown
// only as far as its width; what the user types is stored cut to the field,
// zero-filled behind, a letter the page lacks as "?".
TEST(Windows1250, FieldsConvertWithinTheirWidths) {
    char path[8];
    std::memcpy(path,
                "C:\\\xA3\xF3"
                "d\x9F"
                "XY",
                8);  // full: no zero byte
    EXPECT_EQ(windows1250FieldToUtf16(path, sizeof path), u"C:\\\u0141\u00F3d\u017AX");
    EXPECT_EQ(windows1250FieldToUtf16(path, 3), u"C:\\");

    char field[6];
    std::memset(field, 'x', sizeof field);
    storeUtf16InWindows1250Field(u"\u0141\u00F3d\u017A\u4E2D!", field, sizeof field);
    EXPECT_EQ(std::string(field, sizeof field), std::string("\xA3\xF3"
                                                            "d\x9F?\0",
                                                            6));
    storeUtf16InWindows1250Field(u"ab", field, sizeof field);
    EXPECT_EQ(std::string(field, sizeof field), std::string("ab\0\0\0\0", 6));
}

}  // namespace
