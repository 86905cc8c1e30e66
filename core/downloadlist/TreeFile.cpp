#include "downloadlist/TreeFile.h"

#include <algorithm>
#include <vector>

#include "app/Settings.h"
#include "downloadlist/LinkCompletion.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace tvx {

namespace {

// Delivers the file's lines whole, without their line ends: LF and CR LF end a
// line. A last line that runs into the end of the file without a line end is
// not delivered: it may be a line that a writer never finished.
class LineReader {
public:
    explicit LineReader(std::string_view data) : m_data(data) {}

    bool Next(std::string_view& line) {
        const std::size_t end = m_data.find('\n', m_pos);
        if (end == std::string_view::npos)
            return false;
        line = m_data.substr(m_pos, end - m_pos);
        m_pos = end + 1;
        return true;
    }

private:
    std::string_view m_data;
    std::size_t m_pos = 0;
};

// The line up to its first CR or NUL, with every other control character
// (TAB included) made a space.
std::string CleanLine(std::string_view raw) {
    return WithoutControls(raw.substr(0, raw.find_first_of(std::string_view("\r\0", 2))));
}

bool IsBlank(std::string_view line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' '; });
}

// One field: up to the next comma, whatever its length. Reading continues
// after the comma; at the end of the line it stays there.
std::string_view ReadField(std::string_view line, std::size_t& pos) {
    const std::size_t start = std::min(pos, line.size());
    const std::size_t comma = line.find(',', start);
    const std::size_t end = comma == std::string_view::npos ? line.size() : comma;
    pos = std::min(end + 1, line.size());
    return line.substr(start, end - start);
}

// The shared field rule of the header and the link lines, from pos on.
void ReadFields(LinkRecord& record, std::string_view line, std::size_t pos) {
    const std::string address = LowerSchemeAndHost(ReadField(line, pos));
    std::string path = HasAbsoluteAddress(address) ? std::string(ReadField(line, pos)) : address;
    std::replace(path.begin(), path.end(), '/', '\\');
    record.SetAddress(address);
    record.SetPath(path);
    record.SetText(line.substr(std::min(pos, line.size())));
}

bool IsLinkLine(std::string_view line) {
    return !IsBlank(line) && line[0] != '{' && line[0] != '}' && line[0] != '/';
}

}  // namespace

std::string TreeControlFilePath() {
    return JoinPath(g_startDirectory, kTreeControlFileName);
}

void ParseTreeControlText(LinkTable& table, std::string_view data) {
    for (LinkRecord& record : table.records)
        record = LinkRecord{};
    table.count = 0;
    table.linksLeftOut = 0;
    LineReader reader(data);
    std::string_view raw;
    while (reader.Next(raw)) {
        const std::string line = CleanLine(raw);
        if (table.count > 0 && !line.empty() && line[0] == '/')
            break;
        if (table.count >= kLinkTableSlots) {
            // The table is full: the rest is only counted, so that nobody
            // loses links without being told.
            if (IsLinkLine(line))
                ++table.linksLeftOut;
            continue;
        }
        LinkRecord& record = table.records[table.count];
        if (table.count == 0) {
            record.kind = LinkRecord::kHeader;
            ReadFields(record, line, 0);
        } else if (IsBlank(line)) {
            continue;  // blank lines are not entries; the writer never makes them
        } else if (line[0] == '{') {
            record.kind = LinkRecord::kFolder;
            record.SetText(std::string_view(line).substr(1));
        } else if (line[0] == '}') {
            record.kind = LinkRecord::kFolderEnd;
        } else {
            record.kind = LinkRecord::kLink;
            // A hand-written line without a picture digit gets picture 0.
            record.picture = (line[0] >= '0' && line[0] <= '9') ? std::uint8_t(line[0] - '0') : 0;
            ReadFields(record, line, 2);
        }
        ++table.count;
    }
}

bool ReadTreeControlFile(LinkTable& table, std::string_view file) {
    std::string data;
    if (!ReadWholeFile(file, data)) {
        table.fileUnread = FileExists(file);
        return false;
    }
    ParseTreeControlText(table, data);
    table.fileUnread = false;
    return true;
}

bool LoadTree(LinkTable& table, TreeControl& tree, std::string_view file) {
    if (!ReadTreeControlFile(table, file))
        return false;
    BuildTree(table, tree);
    return true;
}

void BuildTree(const LinkTable& table, TreeControl& tree) {
    tree.DeleteAllItems();
    // The open folders, innermost last. Every "{" opens one level and every
    // "}" closes one, at any depth, so the writer's nesting always reads back
    // as it was written.
    std::vector<TreeItem> folders;
    for (int slot = 0; slot < table.count; ++slot) {
        const LinkRecord& record = table.records[slot];
        TreeItem parent = folders.empty() ? nullptr : folders.back();
        switch (record.kind) {
            case LinkRecord::kHeader:
                folders.clear();
                break;
            case LinkRecord::kFolder:
                folders.push_back(tree.InsertItem(parent, InsertPosition::Last,
                                                  {std::string(record.Text()), 0, slot, false}));
                break;
            case LinkRecord::kFolderEnd:
                if (!folders.empty())
                    folders.pop_back();
                break;
            case LinkRecord::kLink: {
                const bool exists = FileExists(LoadTimeLocalPath(table.Header(), record));
                tree.InsertItem(parent, InsertPosition::Last,
                                {std::string(record.Text()), record.picture, slot, exists});
                break;
            }
            default:
                break;
        }
    }
}

namespace {

// Joins fields with commas, as "%s,%s,..." formats them.
std::string Fields(std::initializer_list<std::string_view> fields) {
    std::string line;
    bool first = true;
    for (std::string_view field : fields) {
        if (!first)
            line += ',';
        first = false;
        line += field;
    }
    return line;
}

class TreeWriter {
public:
    TreeWriter(const LinkTable& table, const TreeControl& tree) : m_table(table), m_tree(tree) {}

    std::string Write() {
        const LinkRecord& header = m_table.Header();
        if (HasAbsoluteAddress(header.Address())) {
            Line(Fields({header.Address(), header.Path(), header.Text()}));
        } else {
            Line(Fields({header.Address(), header.Text()}));
        }
        Siblings(m_tree.GetRootItem(), true);
        Line("//END");
        return std::move(m_out);
    }

private:
    // Every record is one line: a control character that reached a record
    // by any way other than its setters is written as a space.
    void Line(std::string_view text) {
        m_out += WithoutControls(text);
        m_out += "\r\n";
    }

    // Writes a run of siblings and their subtrees. A folder's children are
    // closed by the "}" after the last of them; the top level gets one too,
    // which the reader passes over. Items below a link have no form in the
    // file; should any exist they are written after the link at its level.
    void Siblings(TreeItem first, bool close) {
        for (TreeItem item = first; item != nullptr; item = m_tree.GetNextSiblingItem(item)) {
            const LinkRecord* record = m_table.Record(m_tree.GetItemSlot(item));
            if (record == nullptr)
                continue;
            const bool folder = record->IsFolder();
            if (folder) {
                Line("{" + std::string(record->Text()));
            } else if (record->IsLink()) {
                const std::string picture = std::to_string(record->picture);
                if (HasAbsoluteAddress(record->Address())) {
                    Line(Fields({picture, record->Address(), record->Path(), record->Text()}));
                } else {
                    Line(Fields({picture, record->Address(), record->Text()}));
                }
            } else {
                continue;  // a removed record has no line, nor has anything below it
            }
            if (m_tree.ItemHasChildren(item)) {
                Siblings(m_tree.GetChildItem(item), folder);
            } else if (folder) {
                Line("}");
            }
        }
        if (close)
            Line("}");
    }

    const LinkTable& m_table;
    const TreeControl& m_tree;
    std::string m_out;
};

}  // namespace

std::string FormatTreeControlText(const LinkTable& table, const TreeControl& tree) {
    return TreeWriter(table, tree).Write();
}

std::string LinksLeftOutText(const LinkTable& table) {
    if (table.linksLeftOut <= 0)
        return {};
    return Format(
        "%d links of the download list were left out: a list holds at most %d "
        "entries (links, folders and folder ends).",
        table.linksLeftOut, kLinkTableSlots - 1);
}

std::string ListFileProtection(const LinkTable& table, std::string_view file) {
    const std::string shown = ToNativePath(file);
    if (table.fileUnread)
        return "The download list " + shown +
               " could not be read when it was loaded; it is left as it is.";
    if (table.linksLeftOut > 0)
        return Format(
            "The download list %s holds %d more links than the window can show; "
            "it is left as it is so that they are not lost.",
            shown.c_str(), table.linksLeftOut);
    if (IsWriteProtected(file))
        return "The download list " + shown + " is write-protected; it is left as it is.";
    return {};
}

bool SaveTree(LinkTable& table, const TreeControl& tree, std::string_view file,
              std::string* error) {
    if (!table.modified)
        return true;
    if (std::string why = ListFileProtection(table, file); !why.empty()) {
        if (error != nullptr)
            *error = std::move(why);
        return false;
    }
    if (!WriteFileAtomically(file, FormatTreeControlText(table, tree), error))
        return false;
    table.modified = false;
    return true;
}

}  // namespace tvx
