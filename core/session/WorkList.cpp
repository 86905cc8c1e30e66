#include "session/WorkList.h"

#include "downloadlist/LinkCompletion.h"
#include "platform/FileSystem.h"

namespace tvx {

WorkListEntry MakeWorkListEntry(const LinkRecord& header, const LinkRecord& link) {
    WorkListEntry entry;
    entry.address = CompleteAddress(header, link);
    entry.path = LoadTimeLocalPath(header, link);
    entry.text = link.Text();
    return entry;
}

namespace {

void WriteCheckedItems(const LinkTable& table, const TreeControl& tree, TreeItem first,
                       std::vector<WorkListEntry>& entries) {
    for (TreeItem item = first; item != nullptr; item = tree.GetNextSiblingItem(item)) {
        if (tree.ItemHasChildren(item))
            WriteCheckedItems(table, tree, tree.GetChildItem(item), entries);
        const LinkRecord* record = table.Record(tree.GetItemSlot(item));
        if (record == nullptr || !record->IsLink() || !tree.GetCheck(item))
            continue;
        entries.push_back(MakeWorkListEntry(table.Header(), *record));
    }
}

}  // namespace

std::vector<WorkListEntry> CollectCheckedLinks(const LinkTable& table, const TreeControl& tree) {
    std::vector<WorkListEntry> entries;
    WriteCheckedItems(table, tree, tree.GetRootItem(), entries);
    return entries;
}

bool WriteWorkListFile(std::string_view path, const std::vector<WorkListEntry>& entries,
                       std::string* error) {
    std::string data;
    data.reserve(entries.size() * kWorkListEntrySize);
    for (const WorkListEntry& entry : entries)
        AppendWorkListEntry(data, entry);
    return WriteFileAtomically(path, data, error);
}

bool ReadWorkListFile(std::string_view path, std::vector<WorkListEntry>& entries) {
    std::string data;
    if (!ReadWholeFile(path, data))
        return false;
    entries.clear();
    std::size_t at = 0;
    WorkListEntry entry;
    while (ReadWorkListEntry(data, at, entry))
        entries.push_back(std::move(entry));
    return true;
}

}  // namespace tvx
