#include "browser/FrameLayout.h"

#include <algorithm>

namespace tvx {

std::vector<int> LayoutSplitter(int room, const std::vector<SplitterPane>& panes) {
    std::vector<int> sizes(panes.size(), 0);
    if (panes.empty())
        return sizes;
    int left = std::max(room, 0);
    for (std::size_t i = 0; i + 1 < panes.size(); ++i) {
        int size = panes[i].ideal < panes[i].minimum ? 0 : panes[i].ideal;
        size = std::clamp(size, 0, left);
        sizes[i] = size;
        left -= size;
    }
    sizes.back() = left;
    for (std::size_t i = panes.size() - 1; i > 0; --i) {
        if (sizes[i] < panes[i].minimum) {
            sizes[i - 1] += sizes[i];
            sizes[i] = 0;
        }
    }
    return sizes;
}

std::vector<int> LayoutSplitterKeepingPanesOpen(int room, const std::vector<SplitterPane>& panes,
                                                int floor) {
    std::vector<int> sizes = LayoutSplitter(room, panes);
    const int n = static_cast<int>(panes.size());
    if (n < 2)
        return sizes;
    const int least = std::min(floor, std::max(room, 0) / n);
    std::vector<int> keep(panes.size(), 0);  // what each pane keeps when it gives room away
    for (int i = 0; i < n; ++i) {
        const bool open = panes[i].ideal > 0 && panes[i].ideal >= panes[i].minimum;
        keep[i] = open ? least : 0;
    }
    for (int i = 0; i < n; ++i) {
        int need = keep[i] - sizes[i];
        while (need > 0) {
            int donor = -1;
            for (int j = 0; j < n; ++j) {
                if (j != i && sizes[j] > keep[j] && (donor < 0 || sizes[j] > sizes[donor]))
                    donor = j;
            }
            if (donor < 0)
                break;
            const int given = std::min(need, sizes[donor] - keep[donor]);
            sizes[donor] -= given;
            sizes[i] += given;
            need -= given;
        }
    }
    return sizes;
}

FrameLayout InitialFrameLayout(int frameWidth, int frameHeight, const SplitterSizes& stored) {
    const int w = frameWidth;
    const int h = frameHeight;
    FrameLayout layout;
    layout.logRow = {h / 8, 0};
    layout.upperRow = {8 * (h / 8) - h / 8, 0};
    layout.listColumn = {w / 4, 0};
    layout.browserColumn = {3 * (w / 4), 0};
    if (stored.left != 0 || stored.bottom != 0) {
        layout.listColumn = {stored.left, 10};
        layout.upperRow = {stored.bottom, 100};
    } else {
        layout.upperRow = {h, 100};
    }
    return layout;
}

}  // namespace tvx
