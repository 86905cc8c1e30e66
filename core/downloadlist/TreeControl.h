#pragma once
// What the download list needs of a tree control. The desktop program
// implements it over a QTreeWidget; MemoryTreeControl implements it in memory
// for the headless commands and the tests.
//
// Items are opaque handles; nullptr stands for "none" and, as a parent, for
// the top level. Every item carries the slot number of its record.

#include <string>
#include <string_view>

namespace tvx {

struct TreeItemTag;
using TreeItem = TreeItemTag*;

enum class InsertPosition {
    Last,    // after the parent's existing children
    Sorted,  // in alphabetical position among them (CompareItemTexts)
};

struct TreeItemInfo {
    std::string text;
    int picture = 0;  // used as normal and selected image
    int slot = 0;
    bool checked = false;
};

class TreeControl {
public:
    virtual ~TreeControl() = default;

    virtual void DeleteAllItems() = 0;
    // Deletes the item together with everything below it.
    virtual void DeleteItem(TreeItem item) = 0;
    // Inserts at a position among the parent's children (index == number of
    // children appends).
    virtual TreeItem InsertItemAt(TreeItem parent, int index, const TreeItemInfo& info) = 0;

    virtual TreeItem GetRootItem() const = 0;  // first top-level item
    virtual TreeItem GetChildItem(TreeItem item) const = 0;
    virtual TreeItem GetNextSiblingItem(TreeItem item) const = 0;
    virtual TreeItem GetParentItem(TreeItem item) const = 0;

    virtual int GetItemSlot(TreeItem item) const = 0;
    virtual std::string GetItemText(TreeItem item) const = 0;
    virtual int GetItemPicture(TreeItem item) const = 0;
    virtual bool GetCheck(TreeItem item) const = 0;
    virtual void SetCheck(TreeItem item, bool checked) = 0;
    virtual void SetItem(TreeItem item, std::string_view text, int picture) = 0;
    virtual void Expand(TreeItem item) = 0;

    bool ItemHasChildren(TreeItem item) const { return GetChildItem(item) != nullptr; }
    // The first child of parent, or the first top-level item for nullptr.
    TreeItem FirstChildOf(TreeItem parent) const {
        return parent == nullptr ? GetRootItem() : GetChildItem(parent);
    }
    TreeItem InsertItem(TreeItem parent, InsertPosition where, const TreeItemInfo& info);
};

// The order of sorted insertion: letters compared without case, then bytes.
int CompareItemTexts(std::string_view a, std::string_view b);

}  // namespace tvx
