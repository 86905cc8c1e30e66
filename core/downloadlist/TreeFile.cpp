#include "downloadlist/TreeFile.h"

#include <algorithm>

#include "app/Settings.h"
#include "downloadlist/LinkCompletion.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace tvx {

namespace {

constexpr std::size_t kLineRoom = 499;  // a longer line arrives in pieces
constexpr std::size_t kFieldMax = kLinkFieldSize - 1;
constexpr int kMaxDepth = 255;

// Delivers the file's lines the way a text-mode fgets with room for 499
// characters does: CR LF arrives as LF, a longer line is split, and a last
// piece that runs into the end of the file without a line end is not delivered.
class LineReader {
public:
    explicit LineReader(std::string_view data) : m_data(data) {}

    bool Next(std::string& line) {
        line.clear();
        while (line.size() < kLineRoom) {
            if (m_pos >= m_data.size())
                return false;
            char c = m_data[m_pos++];
            if (c == '\r' && m_pos < m_data.size() && m_data[m_pos] == '\n')
                c = m_data[m_pos++];
            line.push_back(c);
            if (c == '\n')
                break;
        }
        return true;
    }

private:
    std::string_view m_data;
    std::size_t m_pos = 0;
};

// The line up to its first LF, CR or NUL, with every TAB made a space.
std::string CleanLine(const std::string& raw) {
    std::string line = raw.substr(0, raw.find_first_of(std::string_view("\n\r\0", 3)));
    std::replace(line.begin(), line.end(), '\t', ' ');
    return line;
}

bool IsBlank(std::string_view line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' '; });
}

// One field: up to the next comma, at most 127 characters. Reading continues
// after the character that ended the field (the comma, or for a field cut at
// 127 characters the 128th character); at the end of the line it stays there.
std::string_view ReadField(std::string_view line, std::size_t& pos) {
    const std::size_t start = std::min(pos, line.size());
    std::size_t n = 0;
    while (start + n < line.size() && line[start + n] != ',' && n < kFieldMax)
        ++n;
    pos = std::min(start + n + 1, line.size());
    return line.substr(start, n);
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

}  // namespace

std::string TreeControlFilePath() {
    return JoinPath(g_startDirectory, kTreeControlFileName);
}

void ParseTreeControlText(LinkTable& table, std::string_view data) {
    for (LinkRecord& record : table.records)
        record = LinkRecord{};
    table.count = 0;
    LineReader reader(data);
    std::string raw;
    while (table.count < kLinkTableSlots && reader.Next(raw)) {
        const std::string line = CleanLine(raw);
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
        } else if (line[0] == '/') {
            break;
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
    if (!ReadWholeFile(file, data))
        return false;
    ParseTreeControlText(table, data);
    return true;
}

bool LoadTree(LinkTable& table, TreeControl& tree, std::string_view file) {
    if (!ReadTreeControlFile(table, file))
        return false;
    tree.DeleteAllItems();
    int depth = 0;
    TreeItem folders[kMaxDepth + 1] = {};  // the folder inserted last at each depth
    for (int slot = 0; slot < table.count; ++slot) {
        const LinkRecord& record = table.records[slot];
        TreeItem parent = depth == 0 ? nullptr : folders[depth];
        switch (record.kind) {
            case LinkRecord::kHeader:
                depth = 0;
                break;
            case LinkRecord::kFolder:
                depth = std::min(depth + 1, kMaxDepth);
                folders[depth] = tree.InsertItem(parent, InsertPosition::Last,
                                                 {std::string(record.Text()), 0, slot, false});
                break;
            case LinkRecord::kFolderEnd:
                depth = std::max(depth - 1, 0);
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
    return true;
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
    void Line(std::string_view text) {
        m_out += text;
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

bool SaveTree(LinkTable& table, const TreeControl& tree, std::string_view file,
              std::string* error) {
    if (!table.modified)
        return true;
    if (!WriteFileAtomically(file, FormatTreeControlText(table, tree), error))
        return false;
    table.modified = false;
    return true;
}

}  // namespace tvx
