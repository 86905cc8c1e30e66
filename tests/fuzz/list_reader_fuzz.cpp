// The download list reader on any bytes, with the property that makes the
// list safe to keep: the list read from the bytes, written and read again, is
// the same list (same tree, same fields of every record), and writing it again
// gives the same text.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "downloadlist/LinkRecord.h"
#include "downloadlist/MemoryTreeControl.h"
#include "downloadlist/TreeFile.h"

namespace {

// Every field of the header and of every item's record, in tree order.
std::string Describe(const tvx::LinkTable& table, const tvx::TreeControl& tree) {
    std::string out;
    const auto field = [&out](std::string_view text) {
        out += std::to_string(text.size());
        out += ':';
        out += text;
    };
    const tvx::LinkRecord& header = table.Header();
    field(header.Address());
    field(header.Path());
    field(header.Text());
    out += '\n';
    const auto walk = [&](const auto& self, tvx::TreeItem first, int depth) -> void {
        for (tvx::TreeItem item = first; item != nullptr; item = tree.GetNextSiblingItem(item)) {
            const tvx::LinkRecord* record = table.Record(tree.GetItemSlot(item));
            out += std::to_string(depth) + ' ' + record->kind + std::to_string(record->picture);
            field(record->Address());
            field(record->Path());
            field(record->Text());
            field(tree.GetItemText(item));
            out += '\n';
            self(self, tree.GetChildItem(item), depth + 1);
        }
    };
    walk(walk, tree.GetRootItem(), 0);
    return out;
}

void Fail(const char* what, const std::string& a, const std::string& b) {
    std::fprintf(stderr, "broken property: %s\n--- first\n%s\n--- second\n%s\n", what, a.c_str(),
                 b.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Tables are large; one pair lives for the whole run.
    static tvx::LinkTable first, second;
    tvx::MemoryTreeControl firstTree, secondTree;
    tvx::ParseTreeControlText(first, std::string_view(reinterpret_cast<const char*>(data), size));
    tvx::BuildTree(first, firstTree);
    const std::string written = tvx::FormatTreeControlText(first, firstTree);

    tvx::ParseTreeControlText(second, written);
    tvx::BuildTree(second, secondTree);
    if (second.linksLeftOut != 0)
        Fail("a written list does not fit the table", written, std::to_string(second.linksLeftOut));
    const std::string before = Describe(first, firstTree);
    const std::string after = Describe(second, secondTree);
    if (before != after)
        Fail("write, then read, gives another list", before, after);
    const std::string again = tvx::FormatTreeControlText(second, secondTree);
    if (again != written)
        Fail("writing the list read back gives another text", written, again);
    return 0;
}
