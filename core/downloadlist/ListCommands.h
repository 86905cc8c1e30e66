#pragma once
// The editing commands of the download list pane, independent of the window
// that shows the tree: the three context menus, the context item and its
// guard, the clipboard slot, finding the folder that receives a new item,
// sorted insertion, label editing and the drop rules.

#include <string>
#include <vector>

#include "downloadlist/LinkRecord.h"
#include "downloadlist/TreeControl.h"

namespace tvx {

// Command identifiers of the pane's menus.
enum ListCommand : int {
    kCmdKillAndCopyItem = 32825,
    kCmdCopyItem = 32826,
    kCmdPasteItem = 32827,
    kCmdKillLocalFile = 32828,
    kCmdDownloadNow = 32829,
    kCmdPasteItemInDir = 32830,
    kCmdKillDirAll = 32834,
    kCmdAddDir = 32835,
    kCmdAddItem = 32837,
    kCmdEditDir = 32839,
    kCmdEditItem = 32841,
    kCmdCopyDir = 32842,
    kCmdAddItemInDir = 32843,
    kCmdPasteDir = 32844,
    kCmdKillAndCopyDir = 32845,
    kCmdSaveTree = 32846,
    kCmdSaveTreeAs = 32847,        // no handler: always disabled
    kCmdCheckTree = 32848,         // no handler: always disabled
    kCmdCheckAndDownload = 32849,  // no handler: always disabled
};

// One entry of a context menu; command 0 is a separator line.
struct MenuEntry {
    const char* text;
    int command;
};

enum class ListMenu { Link = 103, Folder = 134, List = 135 };
const std::vector<MenuEntry>& ListMenuEntries(ListMenu menu);

// What the commands need from the program around them.
class ListCommandHost {
public:
    virtual ~ListCommandHost() = default;
    // Runs the link editor on the record; true (and the record changed) on OK.
    virtual bool EditLink(LinkRecord& record) = 0;
    virtual void Beep() = 0;
    virtual void MessageBox(const std::string& text) = 0;
    virtual bool AskOkCancel(const std::string& text) = 0;
    // Runs the single-file download dialog on "webname,filename".
    virtual void DownloadFile(const std::string& webnameFilename) = 0;
    // Writes one line into the program's log.
    virtual void WriteLog(const std::string& line) = 0;
};

// The program-wide record exchanged with the link editor.
extern LinkRecord g_editRecord;

class CListCommands {
public:
    CListCommands(LinkTable& table, TreeControl& tree, ListCommandHost& host);

    // A right-button press: remembers the item under it (nullptr for empty
    // space) as the context item and tells which menu to show.
    ListMenu SetContextItem(TreeItem hit);
    // True while the context item is valid: commands that need it act only then.
    bool GuardHolds() const;
    TreeItem ContextItem() const { return m_hit; }

    static bool IsEnabled(int command);
    // Carries out a menu command; unknown and disabled commands do nothing.
    void OnCommand(int command);

    // In-place label editing ended with a new text (not cancelled). The text
    // is stored whole, control characters made spaces.
    void EndLabelEdit(TreeItem item, const std::string& text);

    // The folder a drop onto target puts the dragged item into: a folder
    // itself, for a link the folder holding it (nullptr: the top level, which
    // is also where a drop onto empty space without items ends).
    TreeItem DropFolder(TreeItem target) const;
    bool CanDrop(TreeItem dragged, TreeItem target) const;
    // Moves the dragged item with its subtree below the drop folder, each item
    // keeping its record and check box and sorted among its new siblings.
    // A refused drop beeps and changes nothing. Returns the moved item.
    TreeItem Drop(TreeItem dragged, TreeItem target);

    // Opens the link editor on the proposed link and, on OK, inserts it into
    // the folder of selected (a folder itself, the folder holding a link,
    // the top level for nullptr), sorted, with its check box cleared. Returns
    // the new item; nullptr when cancelled or the table is full (a beep).
    TreeItem AddLink(TreeItem selected, const LinkRecord& proposal);

    const LinkRecord& Clipboard() const { return m_clipboard; }

private:
    LinkRecord* RecordOf(TreeItem item) const;
    bool IsFolderItem(TreeItem item) const;
    // Finds the folder that is to receive a new item (see the commands).
    bool FindTargetFolder(bool startAtParent, TreeItem& target);
    TreeItem Append(TreeItem parent, const LinkRecord& record);
    void DeleteSubtree(TreeItem item);
    TreeItem CopySubtree(TreeItem item, TreeItem parent);
    bool IsInside(TreeItem item, TreeItem ancestor) const;

    void Edit();
    void AddItem();
    TreeItem AddLinkRecord(const LinkRecord& initial);
    void AddDir();
    void Copy();
    void KillAndCopy(bool folder);
    void KillDirAll();
    void Paste(char kind, bool inContextFolder);
    void DownloadNow();
    void KillLocalFile();

    LinkTable& m_table;
    TreeControl& m_tree;
    ListCommandHost& m_host;
    LinkRecord m_clipboard{};
    // The context item: the handle of the last right-button press, and the
    // handle the commands work on; a target search moves the latter.
    TreeItem m_hit = nullptr;
    TreeItem m_context = nullptr;
};

}  // namespace tvx
