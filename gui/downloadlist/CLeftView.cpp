#include "downloadlist/CLeftView.h"

#include <QHeaderView>
#include <QStyle>

#include "downloadlist/LinkRecord.h"
#include "downloadlist/TreeFile.h"

namespace {
constexpr int kSlotRole = Qt::UserRole;
constexpr int kPictureRole = Qt::UserRole + 1;

QString FromLocal8(std::string_view text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

CLeftView* g_pLeftView = nullptr;

CLeftView::CLeftView(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setIconSize(QSize(18, 18));
    setUniformRowHeights(true);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, QColor(240, 255, 255));
    pal.setColor(QPalette::Text, Qt::black);
    setPalette(pal);
}

CLeftView::~CLeftView() {
    if (g_pLeftView == this)
        g_pLeftView = nullptr;
}

void CLeftView::OnInitialUpdate() {
    g_pLeftView = this;
    tvx::LoadTree(tvx::g_linkTable, *this, tvx::TreeControlFilePath());
}

bool CLeftView::SaveTreeControl(std::string* error) {
    return tvx::SaveTree(tvx::g_linkTable, *this, tvx::TreeControlFilePath(), error);
}

QIcon CLeftView::PictureIcon(int picture) const {
    return style()->standardIcon(picture == 0 ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
}

void CLeftView::DeleteAllItems() {
    clear();
}

void CLeftView::DeleteItem(tvx::TreeItem item) {
    delete ToQt(item);
}

tvx::TreeItem CLeftView::InsertItemAt(tvx::TreeItem parent, int index,
                                      const tvx::TreeItemInfo& info) {
    auto* item = new QTreeWidgetItem();
    item->setText(0, FromLocal8(info.text));
    item->setData(0, kSlotRole, info.slot);
    item->setData(0, kPictureRole, info.picture);
    item->setIcon(0, PictureIcon(info.picture));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
    item->setCheckState(0, info.checked ? Qt::Checked : Qt::Unchecked);
    if (QTreeWidgetItem* p = ToQt(parent)) {
        p->insertChild(index, item);
    } else {
        insertTopLevelItem(index, item);
    }
    return ToItem(item);
}

tvx::TreeItem CLeftView::GetRootItem() const {
    return ToItem(topLevelItem(0));
}

tvx::TreeItem CLeftView::GetChildItem(tvx::TreeItem item) const {
    QTreeWidgetItem* q = ToQt(item);
    return q != nullptr && q->childCount() > 0 ? ToItem(q->child(0)) : nullptr;
}

tvx::TreeItem CLeftView::GetNextSiblingItem(tvx::TreeItem item) const {
    QTreeWidgetItem* q = ToQt(item);
    if (q == nullptr)
        return nullptr;
    if (QTreeWidgetItem* p = q->parent()) {
        const int i = p->indexOfChild(q);
        return i + 1 < p->childCount() ? ToItem(p->child(i + 1)) : nullptr;
    }
    const int i = indexOfTopLevelItem(q);
    return i + 1 < topLevelItemCount() ? ToItem(topLevelItem(i + 1)) : nullptr;
}

tvx::TreeItem CLeftView::GetParentItem(tvx::TreeItem item) const {
    QTreeWidgetItem* q = ToQt(item);
    return q != nullptr ? ToItem(q->parent()) : nullptr;
}

int CLeftView::GetItemSlot(tvx::TreeItem item) const {
    return ToQt(item)->data(0, kSlotRole).toInt();
}

std::string CLeftView::GetItemText(tvx::TreeItem item) const {
    return ToQt(item)->text(0).toLocal8Bit().toStdString();
}

int CLeftView::GetItemPicture(tvx::TreeItem item) const {
    return ToQt(item)->data(0, kPictureRole).toInt();
}

bool CLeftView::GetCheck(tvx::TreeItem item) const {
    return ToQt(item)->checkState(0) == Qt::Checked;
}

void CLeftView::SetCheck(tvx::TreeItem item, bool checked) {
    ToQt(item)->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

void CLeftView::SetItem(tvx::TreeItem item, std::string_view text, int picture) {
    QTreeWidgetItem* q = ToQt(item);
    q->setText(0, FromLocal8(text));
    q->setData(0, kPictureRole, picture);
    q->setIcon(0, PictureIcon(picture));
}

void CLeftView::Expand(tvx::TreeItem item) {
    if (QTreeWidgetItem* q = ToQt(item))
        q->setExpanded(true);
}
