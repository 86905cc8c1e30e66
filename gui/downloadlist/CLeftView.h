#pragma once
// The download list pane: the tree of folders and links with check boxes,
// over a QTreeWidget that serves the core as its tree control. Each item keeps
// its record's slot number in Qt::UserRole.

#include <QTreeWidget>

#include "downloadlist/TreeControl.h"

class CLeftView : public QTreeWidget, public tvx::TreeControl {
    Q_OBJECT
public:
    explicit CLeftView(QWidget* parent = nullptr);
    ~CLeftView() override;

    // Loads the tree control file of the start directory into the program-wide
    // table and the tree (run when the pane is set up).
    void OnInitialUpdate();
    // Writes the tree control file when the list has changed. False when the
    // file could not be written (error says why); the list then stays marked
    // as changed and the old file is untouched.
    bool SaveTreeControl(std::string* error = nullptr);

    static QTreeWidgetItem* ToQt(tvx::TreeItem item) {
        return reinterpret_cast<QTreeWidgetItem*>(item);
    }
    static tvx::TreeItem ToItem(QTreeWidgetItem* item) {
        return reinterpret_cast<tvx::TreeItem>(item);
    }

    // tvx::TreeControl
    void DeleteAllItems() override;
    void DeleteItem(tvx::TreeItem item) override;
    tvx::TreeItem InsertItemAt(tvx::TreeItem parent, int index,
                               const tvx::TreeItemInfo& info) override;
    tvx::TreeItem GetRootItem() const override;
    tvx::TreeItem GetChildItem(tvx::TreeItem item) const override;
    tvx::TreeItem GetNextSiblingItem(tvx::TreeItem item) const override;
    tvx::TreeItem GetParentItem(tvx::TreeItem item) const override;
    int GetItemSlot(tvx::TreeItem item) const override;
    std::string GetItemText(tvx::TreeItem item) const override;
    int GetItemPicture(tvx::TreeItem item) const override;
    bool GetCheck(tvx::TreeItem item) const override;
    void SetCheck(tvx::TreeItem item, bool checked) override;
    void SetItem(tvx::TreeItem item, std::string_view text, int picture) override;
    void Expand(tvx::TreeItem item) override;

private:
    QIcon PictureIcon(int picture) const;
};

// The program-wide pointer to the download list pane, set when it is set up.
extern CLeftView* g_pLeftView;
