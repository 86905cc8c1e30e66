#pragma once
// The download list pane: the tree of folders and links with pictures and
// check boxes. It serves the core as its tree control (each item keeps its
// record's slot number) and hands the three context menus, label editing and
// drag and drop to the core's list commands.

#include <QTreeWidget>
#include <memory>

#include "downloadlist/ListCommands.h"
#include "downloadlist/TreeControl.h"

class QMenu;

class CLeftView : public QTreeWidget, public tvx::TreeControl, private tvx::ListCommandHost {
    Q_OBJECT
public:
    explicit CLeftView(QWidget* parent = nullptr);
    ~CLeftView() override;

    // Sets the pane up and loads the tree control file of the start
    // directory into the program-wide table and the tree. Links the table had
    // no room for are reported once, in the log and in a message box.
    void OnInitialUpdate();
    // Writes the tree control file when the list has changed. False when the
    // file could not be written (error says why); the list then stays marked
    // as changed and the old file is untouched.
    bool SaveTreeControl(std::string* error = nullptr);

    tvx::CListCommands& Commands() { return *m_commands; }
    // The menu a right-button press at the point shows (the context item is
    // set as the press would set it), built with every entry.
    std::unique_ptr<QMenu> ContextMenuAt(const QPoint& point);
    void OnCommand(int command) { m_commands->OnCommand(command); }
    // A finished drag of one item released over another (nullptr: over empty
    // space, which counts as the first top-level item).
    void DropItem(QTreeWidgetItem* dragged, QTreeWidgetItem* target);
    // Adds a web link through the link editor, which opens with the address,
    // a path below the list's disk directory and the text (the file name
    // when empty); on OK the link goes into the folder of the selected item
    // (the top level when none is selected). An address the list cannot hold
    // is refused with a message.
    void AddLink(const QString& address, const QString& text);
    // Replaces the dialogs the commands open (the editor, the download
    // dialog, message boxes) for tests; nullptr restores them.
    void SetCommandHost(tvx::ListCommandHost* host) { m_testHost = host; }

    static QTreeWidgetItem* ToQt(tvx::TreeItem item) {
        return reinterpret_cast<QTreeWidgetItem*>(item);
    }
    static tvx::TreeItem ToItem(QTreeWidgetItem* item) {
        return reinterpret_cast<tvx::TreeItem>(item);
    }
    QTreeWidgetItem* DropTarget() const { return m_dropTarget; }
    // What the pointer resting on an item shows: for a link its complete
    // address, its local path and whether the file is on disk, complete or
    // incomplete (read at the moment of asking); for a folder its name.
    QString ToolTipText(QTreeWidgetItem* item) const;

    // tvx::TreeControl
    void DeleteAllItems() override;
    void DeleteItem(tvx::TreeItem item) override;
    tvx::TreeItem InsertItemAt(tvx::TreeItem parent, int index,
                               const tvx::TreeItemInfo& info) override;
    tvx::TreeItem GetRootItem() const override;
    tvx::TreeItem GetChildItem(tvx::TreeItem item) const override;
    tvx::TreeItem GetNextSiblingItem(tvx::TreeItem item) const override;
    tvx::TreeItem GetParentItem(tvx::TreeItem item) const override;
    // Item texts are the records' bytes, shown as ListText.h says;
    // GetItemText gives back the bytes.
    int GetItemSlot(tvx::TreeItem item) const override;
    std::string GetItemText(tvx::TreeItem item) const override;
    int GetItemPicture(tvx::TreeItem item) const override;
    bool GetCheck(tvx::TreeItem item) const override;
    void SetCheck(tvx::TreeItem item, bool checked) override;
    void SetItem(tvx::TreeItem item, std::string_view text, int picture) override;
    void Expand(tvx::TreeItem item) override;

protected:
    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class LabelDelegate;

    void ShowContextMenu(const QPoint& point);
    void ShowCurrentItemMenu();
    void ApplyTint();
    void SetDropTarget(QTreeWidgetItem* item);

    // tvx::ListCommandHost: the program's dialogs.
    bool EditLink(tvx::LinkRecord& record) override;
    void Beep() override;
    void MessageBox(const std::string& text) override;
    bool AskOkCancel(const std::string& text) override;
    void DownloadFile(const std::string& webnameFilename) override;
    void WriteLog(const std::string& line) override;

    std::unique_ptr<tvx::CListCommands> m_commands;
    tvx::ListCommandHost* m_testHost = nullptr;
    QTreeWidgetItem* m_pressItem = nullptr;  // the item under the last left press
    QTreeWidgetItem* m_dragged = nullptr;
    QTreeWidgetItem* m_dropTarget = nullptr;
    bool m_initialised = false;
    bool m_leftOutShown = false;
};

// The program-wide pointer to the download list pane, set when it is set up.
extern CLeftView* g_pLeftView;
