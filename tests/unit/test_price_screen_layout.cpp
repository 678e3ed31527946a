// The price screen worked out without a window: positions, fonts, texts and
// the byte-exact lines a customer reads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/decimal.h"
#include "ui/price_screen_layout.h"

namespace {

struct Expected {
    int x;
    int y;
    ScreenFont font;
    ScreenAlign align;
    std::string text;
};

constexpr auto kSmall = ScreenFont::Small;
constexpr auto kBig = ScreenFont::Big;
constexpr auto kLeft = ScreenAlign::LeftTop;
constexpr auto kCentre = ScreenAlign::CenterTop;

std::string textOf(const ScreenText& line) {
    return std::string(line.text, line.length);
}

std::vector<std::string> textsOf(const ScreenLayout& layout) {
    std::vector<std::string> texts;
    for (int i = 0; i < layout.count; ++i) texts.push_back(textOf(layout.texts[i]));
    return texts;
}

void expectDisplayList(const ScreenLayout& layout, const std::vector<Expected>& expected) {
    ASSERT_EQ(layout.count, static_cast<int>(expected.size()))
        << ::testing::PrintToString(textsOf(layout));
    for (int i = 0; i < layout.count; ++i) {
        const ScreenText& line = layout.texts[i];
        SCOPED_TRACE("line " + std::to_string(i) + ": " + expected[i].text);
        EXPECT_EQ(line.x, expected[i].x);
        EXPECT_EQ(line.y, expected[i].y);
        EXPECT_EQ(line.font, expected[i].font);
        EXPECT_EQ(line.align, expected[i].align);
        EXPECT_EQ(textOf(line), expected[i].text);
        EXPECT_EQ(line.text[line.length], '\0');
    }
}

std::string formatted(double value, int decimals) {
    char out[kScreenLineSize];
    const int length = formatFixedPoint(out, sizeof out, value, decimals);
    EXPECT_EQ(length, static_cast<int>(std::strlen(out)));
    return out;
}

class PriceScreenLayout : public ::testing::Test {
protected:
    CheckState state{};
    Settings config{};

    void SetUp() override { std::strcpy(config.fontName, "Arial CE"); }

    // A weighed item with a long name and every extra price switched on.
    void fillFullResult() {
        state.resultShown = 1;
        std::strcpy(state.code, "2112345012345");
        std::strcpy(state.unit, "kg");
        std::strcpy(state.itemName,
                    "SER GOUDA PLASTRY EXTRA DOJRZEWAJACY 1KG SWIEZY Z MLECZARNI");  // 59
        state.price = 162375;
        state.unitPrice = 129900;
        state.total = 250000;
        state.weight = 1.25;
        state.net1 = 100000;
        state.net2 = 110000;
        state.gross1 = 129900;
        state.gross2 = 123000;
        config.showNet1 = config.showNet2 = config.showGross1 = config.showGross2 = 1;
    }
};

TEST_F(PriceScreenLayout, ResultFaceOn800x600PlacesEveryLineInDrawingOrder) {
    fillFullResult();
    const ScreenLayout layout = layoutPriceScreen(state, config, 800, 600);
    EXPECT_EQ(layout.width, 800);
    EXPECT_EQ(layout.height, 600);
    EXPECT_EQ(layout.bigFontHeight, 75);
    EXPECT_EQ(layout.smallFontHeight, 37);
    EXPECT_STREQ(layout.fontName, "Arial CE");
    expectDisplayList(layout,
                      {
                          {0, 525, kSmall, kLeft, "Kod: 2112345012345"},
                          {400, 75, kSmall, kCentre, "SER GOUDA PLASTRY EXTRA DOJRZEWAJACY 1KG"},
                          {400, 112, kSmall, kCentre, " SWIEZY Z MLECZARNI"},
                          {600, 525, kSmall, kCentre, "Razem: 25.00"},
                          {400, 375, kSmall, kCentre, "Masa: 1.250  kg    Cena/jm:12.99"},
                          {400, 0, kSmall, kCentre,
                           "Netto1: 10.00   Netto2: 11.00   Brutto1: 12.99   Brutto2: 12.30   "},
                          {400, 300, kBig, kCentre, "Cena: 16.24"},
                      });
}

TEST_F(PriceScreenLayout, ResultFaceOn1366x768) {
    fillFullResult();
    const ScreenLayout layout = layoutPriceScreen(state, config, 1366, 768);
    EXPECT_EQ(layout.bigFontHeight, 96);
    EXPECT_EQ(layout.smallFontHeight, 48);
    const std::vector<std::pair<int, int>> positions = {
        {0, 672}, {683, 96}, {683, 144}, {1025, 672}, {683, 480}, {683, 0}, {683, 384}};
    ASSERT_EQ(layout.count, static_cast<int>(positions.size()));
    for (int i = 0; i < layout.count; ++i) {
        EXPECT_EQ(layout.texts[i].x, positions[i].first) << i;
        EXPECT_EQ(layout.texts[i].y, positions[i].second) << i;
    }
}

TEST_F(PriceScreenLayout, PromptFaceShowsOnlyTheCodeAndThePrompt) {
    fillFullResult();  // left-overs of an earlier result must not show
    state.resultShown = 0;
    std::strcpy(state.code, "590");
    expectDisplayList(layoutPriceScreen(state, config, 800, 600),
                      {
                          {0, 525, kSmall, kLeft, "Kod: 590"},
                          {400, 150, kBig, kCentre, "Wprowad\x9F kod towaru"},
                      });
}

TEST_F(PriceScreenLayout, EmptyStateDrawsTheFixedWordsOnly) {
    expectDisplayList(layoutPriceScreen(state, config, 800, 600),
                      {
                          {0, 525, kSmall, kLeft, "Kod: "},
                          {400, 150, kBig, kCentre, "Wprowad\x9F kod towaru"},
                      });
    state.resultShown = 1;
    const ScreenLayout result = layoutPriceScreen(state, config, 800, 600);
    EXPECT_EQ(textsOf(result),
              (std::vector<std::string>{"Kod: ", "", "Razem: 0.00", "Cena: 0.00"}));
}

TEST_F(PriceScreenLayout, TinyWindowsShrinkBandsAndFontsToZero) {
    fillFullResult();
    struct Case {
        int height;
        int band;
        int small;
    };
    for (const Case& c : {Case{0, 0, 0}, Case{7, 0, 0}, Case{8, 1, 0}, Case{15, 1, 0},
                          Case{16, 2, 1}, Case{607, 75, 37}}) {
        SCOPED_TRACE(c.height);
        const ScreenLayout layout = layoutPriceScreen(state, config, 10, c.height);
        EXPECT_EQ(layout.bandHeight, c.band);
        EXPECT_EQ(layout.bigFontHeight, c.band);
        EXPECT_EQ(layout.smallFontHeight, c.small);
        ASSERT_EQ(layout.count, 7);
        EXPECT_EQ(layout.texts[0].y, 7 * c.band);
        EXPECT_EQ(layout.texts[2].y, c.band + c.band / 2);  // second name line
        EXPECT_EQ(layout.texts[3].x, 10 - 10 / 4);          // total at 8, not 7.5
        if (c.band == 0) {
            for (int i = 0; i < layout.count; ++i) EXPECT_EQ(layout.texts[i].y, 0);
        }
    }
}

TEST_F(PriceScreenLayout, NameSplitsIntoTwoLinesOfFortyAndDropsTheRest) {
    state.resultShown = 1;
    auto nameLines = [&](size_t length) {
        std::memset(state.itemName, 0, sizeof state.itemName);
        for (size_t i = 0; i < length; ++i) state.itemName[i] = static_cast<char>('A' + i % 26);
        const ScreenLayout layout = layoutPriceScreen(state, config, 800, 600);
        std::vector<std::string> lines;
        for (int i = 0; i < layout.count; ++i) {
            if (layout.texts[i].y == 75 || layout.texts[i].y == 112) {
                lines.push_back(textOf(layout.texts[i]));
            }
        }
        return lines;
    };
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const std::string first40 = alphabet + alphabet.substr(0, 14);
    const std::string second40 = alphabet.substr(14) + alphabet + alphabet.substr(0, 2);
    EXPECT_EQ(nameLines(40), std::vector<std::string>{first40});
    EXPECT_EQ(nameLines(41), (std::vector<std::string>{first40, "O"}));
    EXPECT_EQ(nameLines(100), (std::vector<std::string>{first40, second40}));
    EXPECT_EQ(nameLines(256), (std::vector<std::string>{first40, second40}));
}

TEST_F(PriceScreenLayout, NameIsRecodedOnTheDrawnCopyOnly) {
    state.resultShown = 1;
    // "Łódź" and "ł" in Mazovia (Ł 0x9C, ó 0xA2, ź 0xA6, ł 0x92); the
    // second line starts with a Mazovia ś (0x9E).
    std::string name =
        "\x9C\xA2"
        "d\xA6 \x92";
    name.resize(40, '.');
    name += "\x9E";
    std::strcpy(state.itemName, name.c_str());
    std::strcpy(state.code, "\x92\x9C");  // code and unit bytes are drawn as they came
    std::strcpy(state.unit, "\x92");
    state.weight = 1;
    CheckState before = state;

    for (int paint = 0; paint < 3; ++paint) {
        const ScreenLayout layout = layoutPriceScreen(state, config, 800, 600);
        std::string expectedFirst =
            "\xA3\xF3"
            "d\x9F \xB3";
        expectedFirst.resize(40, '.');
        EXPECT_EQ(textOf(layout.texts[1]), expectedFirst);
        EXPECT_EQ(textOf(layout.texts[2]), "\x9C");  // Windows-1250 ś
        EXPECT_EQ(textOf(layout.texts[0]), "Kod: \x92\x9C");
        EXPECT_EQ(textOf(layout.texts[4]), "Masa: 1.000  \x92    Cena/jm:0.00");
    }
    EXPECT_EQ(std::memcmp(&state, &before, sizeof state), 0);
}

TEST_F(PriceScreenLayout, ExtrasLineHasTheChosenPiecesWithTheirTrailingBlanks) {
    state.resultShown = 1;
    state.net1 = 100000;
    state.net2 = 200000;
    state.gross1 = 300000;
    state.gross2 = 123000;
    auto extras = [&](int n1, int n2, int g1, int g2) -> std::string {
        config.showNet1 = n1;
        config.showNet2 = n2;
        config.showGross1 = g1;
        config.showGross2 = g2;
        const ScreenLayout layout = layoutPriceScreen(state, config, 800, 600);
        for (int i = 0; i < layout.count; ++i) {
            if (layout.texts[i].y == 0) {
                EXPECT_EQ(layout.texts[i].x, 400);
                return textOf(layout.texts[i]);
            }
        }
        return "(none)";
    };
    EXPECT_EQ(extras(1, 0, 0, 1), "Netto1: 10.00   Brutto2: 12.30   ");
    EXPECT_EQ(extras(0, 1, 0, 0), "Netto2: 20.00   ");
    EXPECT_EQ(extras(0, 0, 1, 0), "Brutto1: 30.00   ");
    EXPECT_EQ(extras(0, 0, 0, 0), "(none)");
    EXPECT_EQ(extras(-1, 0, 0, 0), "Netto1: 10.00   ");  // any non-zero flag counts
    state.net2 = 0;
    EXPECT_EQ(extras(0, 1, 0, 0), "Netto2: 0.00   ");

    // The widest line the shop can meet: all four pieces below 100000.00.
    state.net1 = state.net2 = state.gross1 = state.gross2 = 999999900;
    EXPECT_EQ(extras(1, 1, 1, 1).size(), 78u);
}

TEST_F(PriceScreenLayout, WeightLineOnlyForAPositiveWeight) {
    state.resultShown = 1;
    std::strcpy(state.unit, "kg");
    state.unitPrice = 129900;
    auto weightLine = [&](double weight) -> std::string {
        state.weight = weight;
        const ScreenLayout layout = layoutPriceScreen(state, config, 800, 600);
        for (int i = 0; i < layout.count; ++i) {
            if (layout.texts[i].y == 375) return textOf(layout.texts[i]);
        }
        return "(none)";
    };
    EXPECT_EQ(weightLine(1.25), "Masa: 1.250  kg    Cena/jm:12.99");
    EXPECT_EQ(weightLine(0.0005), "Masa: 0.001  kg    Cena/jm:12.99");
    EXPECT_EQ(weightLine(0.0), "(none)");
    EXPECT_EQ(weightLine(-1.0), "(none)");
    EXPECT_EQ(weightLine(std::nan("")), "(none)");
}

TEST(FixedPointFormat, HalvesRoundAwayFromZero) {
    EXPECT_EQ(formatted(1250 / 10000.0, 2), "0.13");
    EXPECT_EQ(formatted(-1250 / 10000.0, 2), "-0.13");
    EXPECT_EQ(formatted(0.375, 2), "0.38");
    EXPECT_EQ(formatted(2.5, 0), "3");
    EXPECT_EQ(formatted(0.0625, 3), "0.063");
    EXPECT_EQ(formatted(1099511627775.875, 2), "1099511627775.88");
    EXPECT_EQ(formatted(129900 / 10000.0, 2), "12.99");
    EXPECT_EQ(formatted(0.0, 2), "0.00");
    EXPECT_EQ(formatted(-0.001, 2), "-0.00");  // printf keeps the sign
    EXPECT_EQ(formatted(1e20, 2), "100000000000000000000.00");
    EXPECT_EQ(formatted(std::nan(""), 2), "nan");
    EXPECT_EQ(formatted(-INFINITY, 3), "-inf");
}

// Amounts round as the till rounds them, from their decimal value, whether
// or not the half is exact in binary.
TEST(FixedPointFormat, DecimalHalvesRoundAwayFromZeroAsAtTheTill) {
    const struct {
        double value;
        int decimals;
        const char* shown;
    } cases[] = {
        {1.005, 2, "1.01"},  // held as 1.00499999...
        {0.015, 2, "0.02"},  // held as 0.01499999...
        {2.675, 2, "2.68"},  // held as 2.67499999...
        {0.025, 2, "0.03"},  // held as 0.02500000...1
        {0.135, 2, "0.14"},  // held as 0.13500000...1
        {4950 / 10000.0, 2, "0.50"},
        {4949 / 10000.0, 2, "0.49"},
        {-1.005, 2, "-1.01"},
        {-4950 / 10000.0, 2, "-0.50"},
        {0.0, 2, "0.00"},
        {1.2345, 3, "1.235"},  // a weight of ten-thousandths of a kilogram
        {99999.995, 2, "100000.00"},
        {99999.994, 2, "99999.99"},
        {999999999.995, 2, "1000000000.00"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatted(c.value, c.decimals), c.shown) << c.value;
}

TEST(FixedPointFormat, GroszeOfAComputedPriceAsTheTillChargesThem) {
    EXPECT_EQ(roundToGrosze(4950), 5000);
    EXPECT_EQ(roundToGrosze(11000 * 0.35), 3900);  // 3849.99999...: 3850 first
    EXPECT_EQ(roundToGrosze(4949), 4900);
    EXPECT_EQ(roundToGrosze(-4950), -5000);
    EXPECT_EQ(roundToGrosze(492366), 492400);
    EXPECT_EQ(roundToGrosze(0), 0);
    EXPECT_TRUE(std::isinf(roundToGrosze(INFINITY)));
}

TEST(FixedPointFormat, CutsToTheBuffer) {
    char out[6];
    EXPECT_EQ(formatFixedPoint(out, sizeof out, 12345.678, 2), 5);
    EXPECT_STREQ(out, "12345");
    EXPECT_EQ(formatFixedPoint(out, 0, 1.0, 2), 0);
    char huge[kScreenLineSize];
    EXPECT_EQ(formatFixedPoint(huge, sizeof huge, DBL_MAX, 2), kScreenLineSize - 1);
}

TEST_F(PriceScreenLayout, PriceOfExactlyHalfACentShowsRoundedUp) {
    state.resultShown = 1;
    state.price = 1250;
    state.total = 1250;
    const ScreenLayout layout = layoutPriceScreen(state, config, 800, 600);
    EXPECT_EQ(textOf(layout.texts[layout.count - 1]), "Cena: 0.13");
    EXPECT_EQ(textOf(layout.texts[2]), "Razem: 0.13");
}

TEST_F(PriceScreenLayout, AbsurdValuesAreCutAt255Bytes) {
    fillFullResult();
    state.price = state.total = state.unitPrice = state.net1 = DBL_MAX;
    state.net2 = state.gross1 = state.gross2 = -DBL_MAX;
    state.weight = DBL_MAX;
    const ScreenLayout layout = layoutPriceScreen(state, config, 800, 600);
    ASSERT_EQ(layout.count, 7);
    for (int i = 3; i < layout.count; ++i) {
        EXPECT_EQ(layout.texts[i].length, kScreenLineSize - 1) << i;
        EXPECT_EQ(std::strlen(layout.texts[i].text), size_t{kScreenLineSize - 1}) << i;
    }
    EXPECT_EQ(std::string(layout.texts[3].text, 9), "Razem: 17");
}

TEST_F(PriceScreenLayout, FieldsWithoutZeroBytesAreReadToTheirWidthOnly) {
    state.resultShown = 1;
    std::memset(state.code, 'C', sizeof state.code);
    std::memset(state.unit, 'U', sizeof state.unit);
    std::memset(state.itemName, 'N', sizeof state.itemName);
    std::memset(config.fontName, 'F', sizeof config.fontName);
    state.weight = 2;
    const ScreenLayout layout = layoutPriceScreen(state, config, 800, 600);
    EXPECT_EQ(std::string(layout.fontName), std::string(31, 'F'));
    EXPECT_EQ(textOf(layout.texts[0]), "Kod: " + std::string(17, 'C'));
    EXPECT_EQ(textOf(layout.texts[1]), std::string(40, 'N'));
    EXPECT_EQ(textOf(layout.texts[2]), std::string(40, 'N'));
    EXPECT_EQ(textOf(layout.texts[4]), "Masa: 2.000  UUUUUU    Cena/jm:0.00");
}

// Switches the process to a locale that writes "1,50", preferring Polish.
// When none is installed, builds the Polish one into `folder` with localedef.
bool enterCommaLocale(const std::filesystem::path& folder) {
    auto usesComma = [] { return std::strcmp(std::localeconv()->decimal_point, ",") == 0; };
    for (const char* name : {"pl_PL.UTF-8", "pl_PL.utf8", "pl_PL", "pl_PL.ISO-8859-2",
                             "de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
        if (std::setlocale(LC_ALL, name) != nullptr && usesComma()) return true;
    }
    if (!std::filesystem::exists("/usr/share/i18n/locales/pl_PL")) return false;
    const std::string command =
        "localedef -i pl_PL -f ISO-8859-2 '" + (folder / "pl_PL").string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return false;
    setenv("LOCPATH", folder.c_str(), 1);
    return std::setlocale(LC_ALL, "pl_PL") != nullptr && usesComma();
}

TEST_F(PriceScreenLayout, DecimalPointStaysADotUnderAPolishLocale) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("lumivo-locale-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const bool entered = enterCommaLocale(folder);
    if (entered) {
        char check[16];
        std::snprintf(check, sizeof check, "%.2f", 1.5);
        EXPECT_STREQ(check, "1,50");  // the locale really is in force
        fillFullResult();
        const std::vector<std::string> texts = textsOf(layoutPriceScreen(state, config, 800, 600));
        EXPECT_EQ(texts[3], "Razem: 25.00");
        EXPECT_EQ(texts[4], "Masa: 1.250  kg    Cena/jm:12.99");
        EXPECT_EQ(texts[5], "Netto1: 10.00   Netto2: 11.00   Brutto1: 12.99   Brutto2: 12.30   ");
        EXPECT_EQ(texts[6], "Cena: 16.24");
        EXPECT_EQ(formatted(-0.125, 2), "-0.13");
    }
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
    std::filesystem::remove_all(folder);
    if (!entered) GTEST_SKIP() << "no locale with a decimal comma could be set up";
}

}  // namespace
