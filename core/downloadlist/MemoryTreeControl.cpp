#include "downloadlist/MemoryTreeControl.h"

#include <algorithm>

namespace tvx {

struct MemoryTreeControl::Node {
    TreeItemInfo info;
    bool expanded = false;
    Node* parent = nullptr;
    std::vector<std::unique_ptr<Node>> children;
};

MemoryTreeControl::MemoryTreeControl() : m_root(std::make_unique<Node>()) {}
MemoryTreeControl::~MemoryTreeControl() = default;

std::vector<std::unique_ptr<MemoryTreeControl::Node>>& MemoryTreeControl::ChildrenOf(Node* parent) {
    return parent == nullptr ? m_root->children : parent->children;
}

const std::vector<std::unique_ptr<MemoryTreeControl::Node>>& MemoryTreeControl::ChildrenOf(
    Node* parent) const {
    return parent == nullptr ? m_root->children : parent->children;
}

void MemoryTreeControl::DeleteAllItems() {
    m_root->children.clear();
}

void MemoryTreeControl::DeleteItem(TreeItem item) {
    Node* node = AsNode(item);
    if (node == nullptr)
        return;
    auto& siblings = node->parent == m_root.get() ? m_root->children : node->parent->children;
    siblings.erase(
        std::remove_if(siblings.begin(), siblings.end(),
                       [node](const std::unique_ptr<Node>& n) { return n.get() == node; }),
        siblings.end());
}

TreeItem MemoryTreeControl::InsertItemAt(TreeItem parent, int index, const TreeItemInfo& info) {
    Node* parent_node = AsNode(parent);
    auto& children = ChildrenOf(parent_node);
    auto node = std::make_unique<Node>();
    node->info = info;
    node->parent = parent_node == nullptr ? m_root.get() : parent_node;
    Node* raw = node.get();
    index = std::clamp(index, 0, static_cast<int>(children.size()));
    children.insert(children.begin() + index, std::move(node));
    return AsItem(raw);
}

TreeItem MemoryTreeControl::GetRootItem() const {
    return m_root->children.empty() ? nullptr : AsItem(m_root->children.front().get());
}

TreeItem MemoryTreeControl::GetChildItem(TreeItem item) const {
    const Node* node = AsNode(item);
    if (node == nullptr || node->children.empty())
        return nullptr;
    return AsItem(node->children.front().get());
}

TreeItem MemoryTreeControl::GetNextSiblingItem(TreeItem item) const {
    Node* node = AsNode(item);
    if (node == nullptr)
        return nullptr;
    const auto& siblings = node->parent->children;
    for (std::size_t i = 0; i + 1 < siblings.size(); ++i) {
        if (siblings[i].get() == node)
            return AsItem(siblings[i + 1].get());
    }
    return nullptr;
}

TreeItem MemoryTreeControl::GetParentItem(TreeItem item) const {
    Node* node = AsNode(item);
    if (node == nullptr || node->parent == m_root.get())
        return nullptr;
    return AsItem(node->parent);
}

int MemoryTreeControl::GetItemSlot(TreeItem item) const {
    return AsNode(item)->info.slot;
}
std::string MemoryTreeControl::GetItemText(TreeItem item) const {
    return AsNode(item)->info.text;
}
int MemoryTreeControl::GetItemPicture(TreeItem item) const {
    return AsNode(item)->info.picture;
}
bool MemoryTreeControl::GetCheck(TreeItem item) const {
    return AsNode(item)->info.checked;
}
void MemoryTreeControl::SetCheck(TreeItem item, bool checked) {
    AsNode(item)->info.checked = checked;
}

void MemoryTreeControl::SetItem(TreeItem item, std::string_view text, int picture) {
    AsNode(item)->info.text = std::string(text);
    AsNode(item)->info.picture = picture;
}

void MemoryTreeControl::Expand(TreeItem item) {
    if (item != nullptr)
        AsNode(item)->expanded = true;
}

bool MemoryTreeControl::IsExpanded(TreeItem item) const {
    return AsNode(item)->expanded;
}

}  // namespace tvx
