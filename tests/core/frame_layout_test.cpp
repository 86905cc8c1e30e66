// The pane sizes of the main window.

#include <gtest/gtest.h>

#include "browser/FrameLayout.h"

namespace {

using tvx::LayoutSplitter;

TEST(SplitterLayout, FirstPaneTakesItsIdealAndLastTheRest) {
    EXPECT_EQ(LayoutSplitter(800, {{300, 10}, {0, 0}}), (std::vector<int>{300, 500}));
    EXPECT_EQ(LayoutSplitter(200, {{300, 10}, {0, 0}}), (std::vector<int>{200, 0}));
    EXPECT_EQ(LayoutSplitter(-5, {{300, 10}, {0, 0}}), (std::vector<int>{0, 0}));
}

TEST(SplitterLayout, IdealBelowMinimumCollapsesThePane) {
    EXPECT_EQ(LayoutSplitter(800, {{99, 100}, {0, 0}}), (std::vector<int>{0, 800}));
    EXPECT_EQ(LayoutSplitter(800, {{5, 10}, {0, 0}}), (std::vector<int>{0, 800}));
}

TEST(SplitterLayout, LastPaneBelowItsMinimumGivesItsRoomAway) {
    EXPECT_EQ(LayoutSplitter(800, {{760, 100}, {0, 50}}), (std::vector<int>{800, 0}));
}

TEST(FrameLayout, StoredSizesWin) {
    const tvx::FrameLayout layout = tvx::InitialFrameLayout(1000, 800, {250, 600});
    EXPECT_EQ(layout.listColumn.ideal, 250);
    EXPECT_EQ(layout.listColumn.minimum, 10);
    EXPECT_EQ(layout.upperRow.ideal, 600);
    EXPECT_EQ(layout.upperRow.minimum, 100);
}

TEST(FrameLayout, FirstStartGivesTheUpperRowTheWholeHeight) {
    const tvx::FrameLayout layout = tvx::InitialFrameLayout(1001, 803, {0, 0});
    EXPECT_EQ(layout.listColumn.ideal, 250);
    EXPECT_EQ(layout.upperRow.ideal, 803);
    // The log gets what is left below that height: nothing in a window of the
    // same size, some room in a larger (maximised) one.
    EXPECT_EQ(LayoutSplitter(700, {layout.upperRow, layout.logRow})[1], 0);
    EXPECT_EQ(LayoutSplitter(1000, {layout.upperRow, layout.logRow})[1], 197);
}

TEST(FrameLayout, LeftStoredBottomMissingCollapsesTheUpperRow) {
    const tvx::FrameLayout layout = tvx::InitialFrameLayout(1000, 800, {300, 0});
    EXPECT_EQ(LayoutSplitter(700, {layout.upperRow, layout.logRow}), (std::vector<int>{0, 700}));
    EXPECT_EQ(LayoutSplitter(900, {layout.listColumn, layout.browserColumn})[0], 300);
}

}  // namespace
