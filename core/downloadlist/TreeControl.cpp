#include "downloadlist/TreeControl.h"

#include "platform/Text.h"

namespace tvx {

int CompareItemTexts(std::string_view a, std::string_view b) {
    return CompareNoCase(a, b);
}

TreeItem TreeControl::InsertItem(TreeItem parent, InsertPosition where, const TreeItemInfo& info) {
    int index = 0;
    for (TreeItem sibling = FirstChildOf(parent); sibling != nullptr;
         sibling = GetNextSiblingItem(sibling)) {
        // Equal texts keep their order: a new item goes behind them.
        if (where == InsertPosition::Sorted &&
            CompareItemTexts(GetItemText(sibling), info.text) > 0) {
            break;
        }
        ++index;
    }
    return InsertItemAt(parent, index, info);
}

}  // namespace tvx
