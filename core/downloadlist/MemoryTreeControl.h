#pragma once
// A tree control held in memory: the download list without a window, for the
// headless commands and the tests.

#include <memory>
#include <vector>

#include "downloadlist/TreeControl.h"

namespace tvx {

class MemoryTreeControl : public TreeControl {
public:
    MemoryTreeControl();
    ~MemoryTreeControl() override;

    void DeleteAllItems() override;
    void DeleteItem(TreeItem item) override;
    TreeItem InsertItemAt(TreeItem parent, int index, const TreeItemInfo& info) override;
    TreeItem GetRootItem() const override;
    TreeItem GetChildItem(TreeItem item) const override;
    TreeItem GetNextSiblingItem(TreeItem item) const override;
    TreeItem GetParentItem(TreeItem item) const override;
    int GetItemSlot(TreeItem item) const override;
    std::string GetItemText(TreeItem item) const override;
    int GetItemPicture(TreeItem item) const override;
    bool GetCheck(TreeItem item) const override;
    void SetCheck(TreeItem item, bool checked) override;
    void SetItem(TreeItem item, std::string_view text, int picture) override;
    void Expand(TreeItem item) override;

    bool IsExpanded(TreeItem item) const;

private:
    struct Node;
    static Node* AsNode(TreeItem item) { return reinterpret_cast<Node*>(item); }
    static TreeItem AsItem(Node* node) { return reinterpret_cast<TreeItem>(node); }
    std::vector<std::unique_ptr<Node>>& ChildrenOf(Node* parent);
    const std::vector<std::unique_ptr<Node>>& ChildrenOf(Node* parent) const;

    std::unique_ptr<Node> m_root;  // invisible; its children are the top level
};

}  // namespace tvx
