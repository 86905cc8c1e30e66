#include "browser/CStaticSplitter.h"

#include <QChildEvent>
#include <QResizeEvent>

CStaticSplitter::CStaticSplitter(Qt::Orientation orientation, QWidget* parent)
    : QSplitter(orientation, parent) {
    setChildrenCollapsible(true);
    connect(this, &QSplitter::splitterMoved, this, [this](int, int) {
        const QList<int> now = sizes();
        for (int i = 0; i < now.size() && i < static_cast<int>(m_panes.size()); ++i) {
            m_panes[i].ideal = now[i];
        }
    });
}

void CStaticSplitter::childEvent(QChildEvent* event) {
    QSplitter::childEvent(event);
    if (event->added() && event->child()->isWidgetType()) {
        // The panes' own minimum sizes must not stop the layout from giving a
        // pane less, or nothing.
        static_cast<QWidget*>(event->child())->setMinimumSize(0, 0);
    }
}

void CStaticSplitter::SetPaneInfo(int pane, int ideal, int minimum) {
    if (pane < 0)
        return;
    if (static_cast<int>(m_panes.size()) <= pane)
        m_panes.resize(pane + 1);
    m_panes[pane] = {ideal, minimum};
}

tvx::SplitterPane CStaticSplitter::PaneInfo(int pane) const {
    return pane >= 0 && pane < static_cast<int>(m_panes.size()) ? m_panes[pane]
                                                                : tvx::SplitterPane{};
}

void CStaticSplitter::RecalcLayout() {
    if (count() == 0)
        return;
    std::vector<tvx::SplitterPane> panes = m_panes;
    panes.resize(count());
    const int extent = orientation() == Qt::Horizontal ? width() : height();
    const int room = extent - handleWidth() * (count() - 1);
    const std::vector<int> layout = tvx::LayoutSplitterKeepingPanesOpen(room, panes);
    setSizes(QList<int>(layout.begin(), layout.end()));
}

void CStaticSplitter::resizeEvent(QResizeEvent* event) {
    QSplitter::resizeEvent(event);
    RecalcLayout();
}
