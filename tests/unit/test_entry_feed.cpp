// Characters that reach the window while a lookup still waits in a message
// box must not start a second lookup inside the first.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "checker/checker.h"
#include "lookup/entry.h"
#include "settings/settings.h"
#include "tests/support/fakes.h"
#include "ui/price_screen_layout.h"

namespace {

void feedText(const char* text) {
    for (const char* p = text; *p != '\0'; ++p) feedEntryChar(*p);
}

class EntryFeedTest : public testing::Test {
protected:
    void SetUp() override {
        resetFakeWindow();
        std::memset(&settings, 0, sizeof settings);
        // Server mode with an address that is refused before any packet is
        // sent: every lookup shows a warning box.
        settings.standaloneMode = 0;
        std::strcpy(settings.serverAddress, "3server");
        clearCheckState();
        entryPos = 0;
        querySequence = 0;
    }
    void TearDown() override { resetFakeWindow(); }
};

TEST_F(EntryFeedTest, ScansDuringAWarningWaitForTheLookupThatShowedIt) {
    int nestedWarnings = 0;
    bool busyInsideBox = false;
    fakeWindow.duringWarning = [&] {
        busyInsideBox = entryHandlerBusy();
        if (fakeWindow.warnings.size() == 1) {
            // The scanner sends the next customer's code while the box is up.
            feedText("4711\r");
            nestedWarnings = static_cast<int>(fakeWindow.warnings.size()) - 1;
        }
    };

    feedText("123\r");

    EXPECT_TRUE(busyInsideBox);
    EXPECT_EQ(nestedWarnings, 0) << "a second lookup ran inside the first one's box";
    ASSERT_EQ(fakeWindow.warnings.size(), 2u);
    EXPECT_STREQ(checkState.code, "4711");
    EXPECT_EQ(checkState.resultShown, 1);
    EXPECT_STREQ(checkState.itemName, kServerErrorText);
    EXPECT_FALSE(entryHandlerBusy());
    EXPECT_EQ(entryPos, 0);
}

TEST_F(EntryFeedTest, KeptCharactersKeepTheirOrder) {
    fakeWindow.duringWarning = [] {
        if (fakeWindow.warnings.size() == 1) feedText("98765");
    };
    feedText("1\r");
    EXPECT_STREQ(checkState.code, "98765");
    EXPECT_EQ(entryPos, 5);
    EXPECT_EQ(fakeWindow.warnings.size(), 1u);
}

// The texts a paint would draw now, as the window's painter lays them out.
std::vector<std::string> screenNow() {
    const ScreenLayout layout = layoutPriceScreen(checkStateToPaint(), settings, 800, 600);
    std::vector<std::string> texts;
    for (int i = 0; i < layout.count; ++i) texts.emplace_back(layout.texts[i].text);
    return texts;
}

// The box of a failed lookup runs a message loop that paints the window when
// it is restored or uncovered. Such a paint must show the screen as it was at
// the Enter, never the last item's name beside "Cena: 0.00".
TEST_F(EntryFeedTest, PaintDuringALookupsBoxShowsTheScreenFromBeforeTheEnter) {
    std::strcpy(checkState.itemName, "Chleb");
    checkState.price = checkState.total = 64900;
    checkState.resultShown = 1;
    feedText("4711");
    const std::vector<std::string> atEnter = screenNow();
    std::vector<std::string> duringBox;
    fakeWindow.duringWarning = [&] { duringBox = screenNow(); };

    feedText("\r");

    EXPECT_EQ(duringBox, atEnter);
    const std::vector<std::string> after = screenNow();
    ASSERT_GE(after.size(), 3u);
    EXPECT_NE(after, atEnter);
    EXPECT_EQ(std::count(after.begin(), after.end(), "Razem: 6.49"), 1);
}

}  // namespace
