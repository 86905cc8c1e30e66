#pragma once
// A splitter that lays out its panes from ideal and minimum sizes, as a static
// splitter does: whenever its size changes, every pane but the last gets its
// ideal size (nothing when the ideal is below the minimum) and the last pane
// takes the rest. When the room is too small for that, no open pane is
// squeezed to nothing (LayoutSplitterKeepingPanesOpen); the ideals stay, so
// the panes come back to their sizes when the room grows again. Dragging the
// bar makes the new sizes the ideals.

#include <QSplitter>
#include <vector>

#include "browser/FrameLayout.h"

class CStaticSplitter : public QSplitter {
    Q_OBJECT
public:
    explicit CStaticSplitter(Qt::Orientation orientation, QWidget* parent = nullptr);

    void SetPaneInfo(int pane, int ideal, int minimum);
    tvx::SplitterPane PaneInfo(int pane) const;
    // Lays the panes out again from their ideal sizes.
    void RecalcLayout();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void childEvent(QChildEvent* event) override;

private:
    std::vector<tvx::SplitterPane> m_panes;
};
