#include "downloadlist/CLeftView.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QDragMoveEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTextDocumentFragment>
#include <QToolTip>
#include <QTimer>
#include <algorithm>

#include "app/MessageBox.h"
#include "app/Translation.h"
#include "browser/LinkProposal.h"
#include "downloadlist/CEditLinkDlg.h"
#include "downloadlist/LinkFileState.h"
#include "downloadlist/LinkRecord.h"
#include "downloadlist/ListText.h"
#include "downloadlist/TreeFile.h"
#include "res/Images.h"
#include "session/CStatusView.h"
#include "transfer/CFileDownloadDlg.h"

namespace {
constexpr int kSlotRole = Qt::UserRole;
constexpr int kPictureRole = Qt::UserRole + 1;
constexpr int kBytesRole = Qt::UserRole + 2;  // the item text's stored bytes

QByteArray Bytes(std::string_view text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

bool IsWebAddress(const QUrl& url) {
    return url.isValid() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

// The web link a drag from a page or another program carries: the first
// http or https address of its list, or its plain text when that is one.
QUrl DraggedLink(const QMimeData* data) {
    for (const QUrl& url : data->urls()) {
        if (IsWebAddress(url))
            return url;
    }
    const QUrl text(data->text().trimmed(), QUrl::StrictMode);
    return IsWebAddress(text) ? text : QUrl();
}

// An item of the list. A folder's box shows the state of the links below
// it: checked when all are, clear when none is, partly checked otherwise.
// Folders without links below them count for nothing in that.
class ListItem : public QTreeWidgetItem {
public:
    QVariant data(int column, int role) const override {
        if (role != Qt::CheckStateRole || childCount() == 0)
            return QTreeWidgetItem::data(column, role);
        bool checked = false, clear = false;
        for (int i = 0; i < childCount(); ++i) {
            const QTreeWidgetItem* child = this->child(i);
            if (child->childCount() == 0 && IsFolder(child))
                continue;
            const int state = child->data(column, role).toInt();
            checked = checked || state != Qt::Unchecked;
            clear = clear || state != Qt::Checked;
        }
        if (!checked && !clear)
            return QTreeWidgetItem::data(column, role);
        return checked && clear ? Qt::PartiallyChecked : checked ? Qt::Checked : Qt::Unchecked;
    }

private:
    static bool IsFolder(const QTreeWidgetItem* item) {
        const tvx::LinkRecord* record = tvx::g_linkTable.Record(item->data(0, kSlotRole).toInt());
        return record != nullptr && !record->IsLink();
    }
};
}  // namespace

CLeftView* g_pLeftView = nullptr;

// In-place label editing: room for kLinkTextMax characters (or the whole text
// when it is longer), and a changed text goes to the record through the list
// commands; a text committed as it was shown leaves the record's bytes alone.
// It also marks the drop target of a drag.
class CLeftView::LabelDelegate : public QStyledItemDelegate {
public:
    explicit LabelDelegate(CLeftView* view) : QStyledItemDelegate(view), m_view(view) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            const int shown = static_cast<int>(index.data(Qt::DisplayRole).toString().size());
            line->setMaxLength(std::max(tvx::kLinkTextMax, shown));
        }
        return editor;
    }

    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        auto* line = qobject_cast<QLineEdit*>(editor);
        QTreeWidgetItem* item = m_view->itemFromIndex(index);
        if (line == nullptr || item == nullptr)
            return;
        const tvx::LinkRecord* record = tvx::g_linkTable.Record(m_view->GetItemSlot(ToItem(item)));
        if (record != nullptr && line->text() == ShownText(record->Text()))
            return;  // unchanged: the stored bytes stay as they were read
        m_view->m_commands->EndLabelEdit(ToItem(item), EditedText(line->text()));
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem copy(option);
        if (m_view->m_dropTarget != nullptr &&
            m_view->itemFromIndex(index) == m_view->m_dropTarget) {
            copy.state |= QStyle::State_Selected;  // the drop target looks selected
        }
        QStyledItemDelegate::paint(painter, copy, index);
    }

private:
    CLeftView* m_view;
};

CLeftView::CLeftView(QWidget* parent) : QTreeWidget(parent) {
    tvx::ListCommandHost& host = *this;
    m_commands = std::make_unique<tvx::CListCommands>(tvx::g_linkTable, *this, host);
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setIconSize(kListIconSize);
    setUniformRowHeights(true);
    // The column is as wide as the longest text, and the pane scrolls
    // sideways, so a long text can be read in full in a narrow pane.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setItemDelegate(new LabelDelegate(this));
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::InternalMove);
    setDropIndicatorShown(false);
    setAutoFillBackground(true);
    ApplyTint();
}

void CLeftView::ApplyTint() {
    // The list has a warm tint of the desktop's own colours: ivory with black
    // text on a light desktop, a slightly warmer shade of the dark base with
    // the desktop's light text on a dark one.
    QPalette pal = QApplication::palette(this);
    const QColor base = pal.color(QPalette::Base);
    if (base.lightness() >= 128) {
        pal.setColor(QPalette::Base, QColor(255, 255, 240));  // ivory: red 255, green 255, blue 240
        pal.setColor(QPalette::Text, Qt::black);
    } else {
        pal.setColor(QPalette::Base, QColor(std::min(base.red() + 10, 255),
                                            std::min(base.green() + 8, 255), base.blue()));
    }
    setPalette(pal);
}

void CLeftView::changeEvent(QEvent* event) {
    // A desktop that switches between light and dark gives the application a
    // new palette; the tint follows it.
    if (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::StyleChange)
        ApplyTint();
    QTreeWidget::changeEvent(event);
}

CLeftView::~CLeftView() {
    if (g_pLeftView == this)
        g_pLeftView = nullptr;
}

void CLeftView::OnInitialUpdate() {
    g_pLeftView = this;
    m_initialised = true;
    m_commands->SetContextItem(nullptr);
    tvx::LoadTree(tvx::g_linkTable, *this, tvx::TreeControlFilePath());
    // Links beyond the table's size are said once, in the log and in a box
    // that comes up once the window is there.
    const std::string leftOut = tvx::LinksLeftOutText(tvx::g_linkTable);
    if (!leftOut.empty() && !m_leftOutShown) {
        m_leftOutShown = true;
        const std::string text =
            leftOut + "\n" + tvx::ListFileProtection(tvx::g_linkTable, tvx::TreeControlFilePath());
        QTimer::singleShot(0, this, [this, text] {
            WriteLog(text);
            MessageBox(text);
        });
    }
}

bool CLeftView::SaveTreeControl(std::string* error) {
    return tvx::SaveTree(tvx::g_linkTable, *this, tvx::TreeControlFilePath(), error);
}

// --- tooltips ---

QString CLeftView::ToolTipText(QTreeWidgetItem* item) const {
    if (item == nullptr)
        return {};
    const tvx::LinkRecord* record = tvx::g_linkTable.Record(GetItemSlot(ToItem(item)));
    if (record == nullptr || !record->IsLink())
        return item->text(0);
    // The address and the path as they are, the file's state in the
    // window's language.
    const std::string text = tvx::LinkToolTipText(tvx::g_linkTable.Header(), *record);
    const std::size_t state = text.rfind('\n') + 1;
    return ShownText(text.substr(0, state)) + CoreText(text.substr(state));
}

bool CLeftView::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QTreeWidget::viewportEvent(event);
    // Built when asked, so the state is the file's state at this moment.
    const auto* help = static_cast<QHelpEvent*>(event);
    QTreeWidgetItem* item = itemAt(help->pos());
    const QString text = ToolTipText(item);
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), text, viewport(), visualItemRect(item));
    }
    return true;
}

// --- context menus ---

std::unique_ptr<QMenu> CLeftView::ContextMenuAt(const QPoint& point) {
    QTreeWidgetItem* hit = itemAt(point);
    if (hit != nullptr)
        setCurrentItem(hit);
    const tvx::ListMenu which = m_commands->SetContextItem(ToItem(hit));
    auto menu = std::make_unique<QMenu>(this);
    for (const tvx::MenuEntry& entry : tvx::ListMenuEntries(which)) {
        if (entry.text == nullptr) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(CoreText(entry.text));
        action->setData(entry.command);
        action->setEnabled(tvx::CListCommands::IsEnabled(entry.command));
    }
    return menu;
}

void CLeftView::ShowContextMenu(const QPoint& point) {
    const std::unique_ptr<QMenu> menu = ContextMenuAt(point);
    // Shown a little right of and below the press point.
    if (QAction* chosen = menu->exec(viewport()->mapToGlobal(point + QPoint(10, 10)))) {
        OnCommand(chosen->data().toInt());
    }
}

void CLeftView::mousePressEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (event->button() == Qt::LeftButton)
        m_pressItem = itemAt(point);
    QTreeWidget::mousePressEvent(event);
    if (event->button() == Qt::RightButton)
        ShowContextMenu(point);
}

void CLeftView::contextMenuEvent(QContextMenuEvent* event) {
    // The menu of a press was shown on the press; the menu key opens the
    // menu of the current item.
    if (event->reason() == QContextMenuEvent::Keyboard)
        ShowCurrentItemMenu();
}

void CLeftView::ShowCurrentItemMenu() {
    QTreeWidgetItem* item = currentItem();
    if (item != nullptr)
        scrollToItem(item);
    ShowContextMenu(item != nullptr ? visualItemRect(item).center() : QPoint(0, 0));
}

void CLeftView::keyPressEvent(QKeyEvent* event) {
    // Shift+F10 opens the same menu as the menu key, as on other desktops.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        ShowCurrentItemMenu();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

// --- drag and drop ---

void CLeftView::startDrag(Qt::DropActions) {
    // A drag that starts where there is no item drags nothing.
    m_dragged = m_pressItem;
    if (m_dragged == nullptr)
        return;
    setCurrentItem(m_dragged);
    // The drag is run here rather than by the item view, which would also
    // remove the selected rows after a move: the drop has moved the item
    // already, and the selection then is the moved item.
    auto* drag = new QDrag(this);
    auto* data = new QMimeData();
    data->setData(QStringLiteral("application/x-tvx-list-item"), QByteArray());
    drag->setMimeData(data);
    const QRect row = visualItemRect(m_dragged);
    drag->setPixmap(viewport()->grab(row));
    drag->setHotSpot(viewport()->mapFromGlobal(QCursor::pos()) - row.topLeft());
    drag->exec(Qt::MoveAction);
    m_dragged = nullptr;
    SetDropTarget(nullptr);
}

void CLeftView::SetDropTarget(QTreeWidgetItem* item) {
    if (m_dropTarget == item)
        return;
    m_dropTarget = item;
    viewport()->update();
}

void CLeftView::dragEnterEvent(QDragEnterEvent* event) {
    // Items of this tree move; from elsewhere only web links are taken.
    if (event->source() != this && DraggedLink(event->mimeData()).isValid()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
        return;
    }
    if (event->source() != this || m_dragged == nullptr) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void CLeftView::dragMoveEvent(QDragMoveEvent* event) {
    if (event->source() != this && DraggedLink(event->mimeData()).isValid()) {
        SetDropTarget(itemAt(event->position().toPoint()));
        event->setDropAction(Qt::CopyAction);
        event->accept();
        return;
    }
    if (event->source() != this || m_dragged == nullptr) {
        event->ignore();
        return;
    }
    QTreeWidgetItem* over = itemAt(event->position().toPoint());
    SetDropTarget(over != nullptr ? over : topLevelItem(0));
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void CLeftView::dragLeaveEvent(QDragLeaveEvent* event) {
    SetDropTarget(nullptr);
    QTreeWidget::dragLeaveEvent(event);
}

void CLeftView::dropEvent(QDropEvent* event) {
    const QUrl link = event->source() != this ? DraggedLink(event->mimeData()) : QUrl();
    if (link.isValid()) {
        // A link dropped onto an item goes into that item's folder.
        if (QTreeWidgetItem* over = itemAt(event->position().toPoint()))
            setCurrentItem(over);
        const QString text =
            event->mimeData()->hasHtml()
                ? QTextDocumentFragment::fromHtml(event->mimeData()->html()).toPlainText()
                : QString();
        event->setDropAction(Qt::CopyAction);
        event->accept();
        SetDropTarget(nullptr);
        // The editor opens after the drag has ended, so that its source is
        // not kept waiting.
        QMetaObject::invokeMethod(
            this,
            [this, address = link.toString(QUrl::FullyEncoded), text] { AddLink(address, text); },
            Qt::QueuedConnection);
        return;
    }
    if (event->source() != this || m_dragged == nullptr) {
        event->ignore();
        return;
    }
    DropItem(m_dragged, itemAt(event->position().toPoint()));
    event->setDropAction(Qt::MoveAction);
    event->accept();
    SetDropTarget(nullptr);
}

void CLeftView::DropItem(QTreeWidgetItem* dragged, QTreeWidgetItem* target) {
    if (target == nullptr)
        target = topLevelItem(0);
    if (QTreeWidgetItem* moved = ToQt(m_commands->Drop(ToItem(dragged), ToItem(target)))) {
        setCurrentItem(moved);
    }
    if (m_pressItem == dragged)
        m_pressItem = nullptr;
}

void CLeftView::AddLink(const QString& address, const QString& text) {
    tvx::LinkRecord proposal{};
    if (!tvx::ProposeLink(tvx::g_linkTable.Header(), address.toLocal8Bit().toStdString(),
                          text.toLocal8Bit().toStdString(), proposal)) {
        MessageBox(tr("This link cannot be added to the download list (only http and https "
                      "addresses of at most 127 characters):\n%1")
                       .arg(address)
                       .toStdString());
        return;
    }
    QTreeWidgetItem* current = currentItem();
    QTreeWidgetItem* selected = current != nullptr && current->isSelected() ? current : nullptr;
    if (QTreeWidgetItem* added = ToQt(m_commands->AddLink(ToItem(selected), proposal)))
        setCurrentItem(added);
}

// --- the dialogs the commands open ---

bool CLeftView::EditLink(tvx::LinkRecord& record) {
    if (m_testHost != nullptr)
        return m_testHost->EditLink(record);
    CEditLinkDlg dialog;
    return dialog.DoModal() == QDialog::Accepted;
}

void CLeftView::Beep() {
    if (m_testHost != nullptr) {
        m_testHost->Beep();
    } else {
        ::Beep();
    }
}

void CLeftView::MessageBox(const std::string& text) {
    if (m_testHost != nullptr) {
        m_testHost->MessageBox(text);
    } else {
        ShowMessageBox(text, MessageButtons::Ok, this);
    }
}

bool CLeftView::AskOkCancel(const std::string& text) {
    if (m_testHost != nullptr)
        return m_testHost->AskOkCancel(text);
    return ShowMessageBox(text, MessageButtons::OkCancel, this);
}

void CLeftView::WriteLog(const std::string& line) {
    if (m_testHost != nullptr) {
        m_testHost->WriteLog(line);
    } else {
        ::WriteLog(line, true);
    }
}

void CLeftView::DownloadFile(const std::string& webnameFilename) {
    if (m_testHost != nullptr) {
        m_testHost->DownloadFile(webnameFilename);
        return;
    }
    CFileDownloadDlg dialog;
    dialog.SetParameters(webnameFilename);
    dialog.DoModal();
}

// --- tvx::TreeControl ---

void CLeftView::DeleteAllItems() {
    m_pressItem = m_dragged = m_dropTarget = nullptr;
    clear();
}

void CLeftView::DeleteItem(tvx::TreeItem item) {
    QTreeWidgetItem* q = ToQt(item);
    for (QTreeWidgetItem* p = m_pressItem; p != nullptr; p = p->parent()) {
        if (p == q)
            m_pressItem = nullptr;
    }
    if (m_dropTarget == q)
        m_dropTarget = nullptr;
    delete q;
}

tvx::TreeItem CLeftView::InsertItemAt(tvx::TreeItem parent, int index,
                                      const tvx::TreeItemInfo& info) {
    auto* item = new ListItem();
    item->setText(0, ShownText(info.text));
    item->setData(0, kBytesRole, Bytes(info.text));
    item->setData(0, kSlotRole, info.slot);
    item->setData(0, kPictureRole, info.picture);
    item->setIcon(0, ListIcon(info.picture));
    // A folder's box stands for the links below it: checking or clearing it
    // does so to all of them, and it shows checked, clear or partly checked
    // as they are (an item without children keeps a box of its own).
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                   Qt::ItemIsAutoTristate | Qt::ItemIsEditable | Qt::ItemIsDragEnabled |
                   Qt::ItemIsDropEnabled);
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
    return ToQt(item)->data(0, kBytesRole).toByteArray().toStdString();
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
    q->setText(0, ShownText(text));
    q->setData(0, kBytesRole, Bytes(text));
    q->setData(0, kPictureRole, picture);
    q->setIcon(0, ListIcon(picture));
}

void CLeftView::Expand(tvx::TreeItem item) {
    if (QTreeWidgetItem* q = ToQt(item))
        q->setExpanded(true);
}
