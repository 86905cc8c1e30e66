#include "downloadlist/ListCommands.h"

#include "app/Settings.h"
#include "downloadlist/LinkCompletion.h"
#include "downloadlist/TreeFile.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace tvx {

LinkRecord g_editRecord{};

namespace {
constexpr int kMaxParentMoves = 1024;
}  // namespace

const std::vector<MenuEntry>& ListMenuEntries(ListMenu menu) {
    static const std::vector<MenuEntry> link = {
        {"Edit this Item", kCmdEditItem},
        {"Add and Edit a new Item", kCmdAddItem},
        {"Copy this Item", kCmdCopyItem},
        {"Paste copyed or killed Item", kCmdPasteItem},
        {"Kill and copy this Item", kCmdKillAndCopyItem},
        {nullptr, 0},
        {"Add and Edit a new DIR", kCmdAddDir},
        {nullptr, 0},
        {"Kill the downloaded File from the HardDrive", kCmdKillLocalFile},
        {"Download this File now", kCmdDownloadNow},
        {"Save this TreeControl", kCmdSaveTree},
    };
    static const std::vector<MenuEntry> folder = {
        {"Add and Edit a new Item for this DIR", kCmdAddItemInDir},
        {"Paste copyed Item in this DIR", kCmdPasteItemInDir},
        {nullptr, 0},
        {"Edit this DIR", kCmdEditDir},
        {"Add and Edit a new DIR", kCmdAddDir},
        {"Copy this DIR", kCmdCopyDir},
        {"Paste copyed or killed DIR", kCmdPasteDir},
        {"Kill and copy this DIR", kCmdKillAndCopyDir},
        {"Kill  this DIR incl. all items (no copy)", kCmdKillDirAll},
        {nullptr, 0},
    };
    static const std::vector<MenuEntry> list = {
        {"Save this TreeControl", kCmdSaveTree},
        {"Save The TreeControl as ....", kCmdSaveTreeAs},
        {nullptr, 0},
        {"Check the TreeControl", kCmdCheckTree},
        {"Check and Download", kCmdCheckAndDownload},
        {nullptr, 0},
    };
    switch (menu) {
        case ListMenu::Link:
            return link;
        case ListMenu::Folder:
            return folder;
        default:
            return list;
    }
}

CListCommands::CListCommands(LinkTable& table, TreeControl& tree, ListCommandHost& host)
    : m_table(table), m_tree(tree), m_host(host) {}

LinkRecord* CListCommands::RecordOf(TreeItem item) const {
    return item == nullptr ? nullptr : m_table.Record(m_tree.GetItemSlot(item));
}

bool CListCommands::IsFolderItem(TreeItem item) const {
    const LinkRecord* record = RecordOf(item);
    return record != nullptr && record->IsFolder();
}

ListMenu CListCommands::SetContextItem(TreeItem hit) {
    m_hit = hit;
    m_context = hit;
    if (hit == nullptr)
        return ListMenu::List;
    return IsFolderItem(hit) ? ListMenu::Folder : ListMenu::Link;
}

bool CListCommands::GuardHolds() const {
    return m_hit != nullptr && m_hit == m_context;
}

bool CListCommands::IsEnabled(int command) {
    return command != kCmdSaveTreeAs && command != kCmdCheckTree && command != kCmdCheckAndDownload;
}

void CListCommands::OnCommand(int command) {
    switch (command) {
        case kCmdEditItem:
        case kCmdEditDir:
            if (GuardHolds())
                Edit();
            break;
        case kCmdAddItem:
        case kCmdAddItemInDir:
            AddItem();
            break;
        case kCmdAddDir:
            if (GuardHolds())
                AddDir();
            break;
        case kCmdCopyItem:
        case kCmdCopyDir:
            if (GuardHolds())
                Copy();
            break;
        case kCmdKillAndCopyItem:
            if (GuardHolds())
                KillAndCopy(false);
            break;
        case kCmdKillAndCopyDir:
            if (GuardHolds())
                KillAndCopy(true);
            break;
        case kCmdKillDirAll:
            if (GuardHolds())
                KillDirAll();
            break;
        case kCmdPasteItem:
            if (GuardHolds())
                Paste(LinkRecord::kLink, false);
            break;
        case kCmdPasteItemInDir:
            if (GuardHolds())
                Paste(LinkRecord::kLink, true);
            break;
        case kCmdPasteDir:
            if (GuardHolds())
                Paste(LinkRecord::kFolder, false);
            break;
        case kCmdDownloadNow:
            if (GuardHolds())
                DownloadNow();
            break;
        case kCmdKillLocalFile:
            if (GuardHolds())
                KillLocalFile();
            break;
        case kCmdSaveTree: {
            std::string error;
            if (!SaveTree(m_table, m_tree, TreeControlFilePath(), &error))
                m_host.MessageBox(error);
            break;
        }
        default:
            break;
    }
}

bool CListCommands::FindTargetFolder(bool startAtParent, TreeItem& target) {
    TreeItem item = m_context;
    if (!(startAtParent == false && IsFolderItem(item))) {
        int moves = 0;
        for (;; ++moves) {
            if (moves >= kMaxParentMoves)
                return false;
            item = item == nullptr ? nullptr : m_tree.GetParentItem(item);
            if (item == nullptr || IsFolderItem(item))
                break;
        }
    }
    if (item != nullptr)
        m_tree.Expand(item);
    m_context = item;  // the context item now names the target (nullptr: top level)
    target = item;
    return true;
}

TreeItem CListCommands::Append(TreeItem parent, const LinkRecord& record) {
    const int slot = m_table.count;
    m_table.records[slot] = record;
    ++m_table.count;
    m_table.modified = true;
    return m_tree.InsertItem(parent, InsertPosition::Sorted,
                             {std::string(record.Text()), record.picture, slot, false});
}

void CListCommands::Edit() {
    LinkRecord* record = RecordOf(m_context);
    if (record == nullptr)
        return;
    g_editRecord = *record;
    if (!m_host.EditLink(g_editRecord))
        return;
    *record = g_editRecord;
    m_tree.SetItem(m_context, record->Text(), record->picture);
    m_table.modified = true;
}

void CListCommands::AddItem() {
    LinkRecord empty{};
    empty.kind = LinkRecord::kLink;
    AddLinkRecord(empty);
}

TreeItem CListCommands::AddLink(TreeItem selected, const LinkRecord& proposal) {
    SetContextItem(selected);
    return AddLinkRecord(proposal);
}

TreeItem CListCommands::AddLinkRecord(const LinkRecord& initial) {
    TreeItem target = nullptr;
    if (!FindTargetFolder(false, target))
        return nullptr;
    if (m_table.IsFull()) {
        m_host.Beep();
        return nullptr;
    }
    g_editRecord = initial;
    if (!m_host.EditLink(g_editRecord))
        return nullptr;
    return Append(target, g_editRecord);
}

void CListCommands::AddDir() {
    TreeItem target = nullptr;
    if (!FindTargetFolder(true, target))
        return;
    if (m_table.IsFull()) {
        m_host.Beep();
        return;
    }
    g_editRecord = LinkRecord{};
    g_editRecord.kind = LinkRecord::kFolder;
    if (!m_host.EditLink(g_editRecord))
        return;
    Append(target, g_editRecord);
}

void CListCommands::Copy() {
    if (const LinkRecord* record = RecordOf(m_context))
        m_clipboard = *record;
}

void CListCommands::KillAndCopy(bool folder) {
    LinkRecord* record = RecordOf(m_context);
    if (record == nullptr)
        return;
    if (folder && m_tree.ItemHasChildren(m_context)) {
        m_host.MessageBox("Directory not empty");
        return;
    }
    m_clipboard = *record;
    m_tree.DeleteItem(m_context);
    record->kind = LinkRecord::kRemoved;
    m_table.modified = true;
    m_hit = m_context = nullptr;  // the item is gone
}

void CListCommands::DeleteSubtree(TreeItem item) {
    // Deepest first, each record marked removed.
    while (TreeItem child = m_tree.GetChildItem(item))
        DeleteSubtree(child);
    if (LinkRecord* record = RecordOf(item))
        record->kind = LinkRecord::kRemoved;
    m_tree.DeleteItem(item);
}

void CListCommands::KillDirAll() {
    if (!m_host.AskOkCancel("KILL this DIR complett ? shure ? then press OK"))
        return;
    DeleteSubtree(m_context);
    m_table.modified = true;
    m_hit = m_context = nullptr;
}

void CListCommands::Paste(char kind, bool inContextFolder) {
    if (m_clipboard.kind != kind) {
        m_host.Beep();
        return;
    }
    TreeItem target = m_context;
    if (!inContextFolder && !FindTargetFolder(false, target))
        return;
    if (m_table.IsFull())
        return;  // no sound: the table is full
    Append(target, m_clipboard);
    if (inContextFolder && target != nullptr)
        m_tree.Expand(target);
}

void CListCommands::DownloadNow() {
    const LinkRecord* record = RecordOf(m_context);
    if (record == nullptr)
        return;
    const std::string address = CompleteAddress(m_table.Header(), *record);
    const std::string path = StartDirectoryLocalPath(*record);
    // The dialog takes one text split at commas: a comma in either part
    // would fetch or write the wrong file.
    if (address.find(',') != std::string::npos || path.find(',') != std::string::npos) {
        m_host.MessageBox("This link cannot be downloaded here: its address or its local path (" +
                          path + ") contains a comma.");
        return;
    }
    const TreeItem item = m_context;
    m_host.DownloadFile(address + "," + path);
    if (FileExists(path))
        m_tree.SetCheck(item, true);
}

void CListCommands::KillLocalFile() {
    const LinkRecord* record = RecordOf(m_context);
    if (record == nullptr || !record->IsLink())
        return;
    // Only a regular file is deleted, never a folder, and only after the
    // user has seen which file and how large it is: the entry sits next to
    // "Download this File now".
    const std::string path = StartDirectoryLocalPath(*record);
    long long size = 0;
    if (!IsRegularFile(path, &size)) {
        m_host.MessageBox("There is no downloaded file " + path + " to delete.");
        return;
    }
    if (!m_host.AskOkCancel(
            Format("Delete the downloaded file %s (%lld Byte) from the disk?", path.c_str(), size)))
        return;
    if (RemoveFile(path)) {
        m_host.WriteLog(Format("KILL FILE : %s (%lld Byte) deleted", path.c_str(), size));
    } else {
        m_host.WriteLog("KILL FILE : *** " + path + " could not be deleted");
    }
}

void CListCommands::EndLabelEdit(TreeItem item, const std::string& text) {
    LinkRecord* record = RecordOf(item);
    if (record == nullptr)
        return;
    record->SetText(text);
    m_tree.SetItem(item, record->Text(), m_tree.GetItemPicture(item));
    m_table.modified = true;
}

bool CListCommands::IsInside(TreeItem item, TreeItem ancestor) const {
    for (TreeItem p = item; p != nullptr; p = m_tree.GetParentItem(p)) {
        if (p == ancestor)
            return true;
    }
    return false;
}

TreeItem CListCommands::DropFolder(TreeItem target) const {
    // A link holds no items; a drop onto it goes into its folder, as paste does.
    while (target != nullptr && !IsFolderItem(target))
        target = m_tree.GetParentItem(target);
    return target;
}

bool CListCommands::CanDrop(TreeItem dragged, TreeItem target) const {
    if (dragged == nullptr)
        return false;
    const TreeItem folder = DropFolder(target);
    if (folder != nullptr && IsInside(folder, dragged))
        return false;  // itself or below it
    return folder != m_tree.GetParentItem(dragged);
}

TreeItem CListCommands::CopySubtree(TreeItem item, TreeItem parent) {
    // The moved item shows its record's text, whole.
    const LinkRecord* record = RecordOf(item);
    const std::string text = record != nullptr ? record->text : m_tree.GetItemText(item);
    const TreeItem copy = m_tree.InsertItem(
        parent, InsertPosition::Sorted,
        {text, m_tree.GetItemPicture(item), m_tree.GetItemSlot(item), m_tree.GetCheck(item)});
    for (TreeItem child = m_tree.GetChildItem(item); child != nullptr;
         child = m_tree.GetNextSiblingItem(child)) {
        CopySubtree(child, copy);
    }
    return copy;
}

TreeItem CListCommands::Drop(TreeItem dragged, TreeItem target) {
    if (!CanDrop(dragged, target)) {
        m_host.Beep();
        return nullptr;
    }
    const TreeItem folder = DropFolder(target);
    if (folder != nullptr)
        m_tree.Expand(folder);
    const TreeItem moved = CopySubtree(dragged, folder);
    // Handles into the old place die with it.
    if (IsInside(m_hit, dragged) || IsInside(m_context, dragged))
        m_hit = m_context = nullptr;
    m_tree.DeleteItem(dragged);
    m_table.modified = true;
    return moved;
}

}  // namespace tvx
