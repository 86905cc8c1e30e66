#pragma once
// The sizes of the main window's panes: the upper row (download list and
// browser) above the log, and the download list's column beside the browser.

#include <vector>

#include "app/Settings.h"

namespace tvx {

struct SplitterPane {
    int ideal = 0;
    int minimum = 0;
};

// Lays out the panes of one splitter direction in the given room: every pane
// but the last gets its ideal size, or nothing when the ideal is below its
// minimum, cut to the room left; the last takes the rest; a pane other than
// the first that would get less than its minimum gets nothing and its room
// goes to the pane before it.
std::vector<int> LayoutSplitter(int room, const std::vector<SplitterPane>& panes);

// The least a pane keeps when the window becomes too small for the ideal
// sizes: a few lines of the log, a few rows of the list.
constexpr int kPaneFloor = 60;

// LayoutSplitter, except that no pane is squeezed to nothing by a lack of
// room: every open pane gets at least the floor (an equal share of the room
// when that is less), taken from the largest panes. A pane whose ideal is 0
// or below its minimum is closed on purpose (stored sizes, or the user
// dragged it shut) and stays as LayoutSplitter has it. Since the ideals are
// kept, the panes return to their ideal sizes when the room grows again.
std::vector<int> LayoutSplitterKeepingPanesOpen(int room, const std::vector<SplitterPane>& panes,
                                                int floor = kPaneFloor);

struct FrameLayout {
    SplitterPane listColumn, browserColumn;  // the upper row's two columns
    SplitterPane upperRow, logRow;
};

// The panes' ideal and minimum sizes when the frame is created with the given
// outer size. Stored sizes (either nonzero) give the list column its width
// (minimum 10) and the upper row its height (minimum 100). On a first start
// (both 0) the list column is a quarter of the width and the upper row asks
// for the frame's whole height, so the log gets what room is left below it.
FrameLayout InitialFrameLayout(int frameWidth, int frameHeight, const SplitterSizes& stored);

}  // namespace tvx
