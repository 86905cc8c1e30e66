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

TEST(SplitterLayout, TooLittleRoomLeavesEveryOpenPaneSomething) {
    using tvx::LayoutSplitterKeepingPanesOpen;
    const struct {
        const char* what;
        int room;
        std::vector<tvx::SplitterPane> panes;
        std::vector<int> sizes;
    } cases[] = {
        {"room enough: the ideal layout", 1000, {{500, 100}, {100, 0}}, {500, 500}},
        {"upper row too high: the log keeps the floor", 200, {{500, 100}, {100, 0}}, {140, 60}},
        {"first-start row as high as the frame", 700, {{803, 100}, {100, 0}}, {640, 60}},
        {"list column wider than the room", 226, {{250, 10}, {746, 0}}, {166, 60}},
        {"less room than two floors: equal shares", 90, {{500, 100}, {100, 0}}, {45, 45}},
        {"no room at all", -5, {{500, 100}, {100, 0}}, {0, 0}},
        {"ideal below the minimum stays closed", 200, {{50, 100}, {100, 0}}, {0, 200}},
        {"stored 0 stays closed", 200, {{0, 100}, {100, 0}}, {0, 200}},
        {"log dragged shut stays shut", 200, {{300, 10}, {0, 0}}, {200, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LayoutSplitterKeepingPanesOpen(c.room, c.panes), c.sizes) << c.what;
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
