#include "registry/tree_model.h"

#include <algorithm>
#include <limits>

namespace tarnex {

namespace {
const std::string kEmptyLabel;
}  // namespace

void TreeModel::AddObserver(TreeObserver* observer) {
  if (observer != nullptr && std::ranges::find(m_observers, observer) == m_observers.end()) {
    m_observers.push_back(observer);
  }
}

void TreeModel::RemoveObserver(TreeObserver* observer) {
  std::erase(m_observers, observer);
}

// Observers are walked over a copy so one that detaches itself does not invalidate the walk.
template <typename Call>
void TreeModel::Notify(Call call) {
  const std::vector<TreeObserver*> observers = m_observers;
  for (TreeObserver* observer : observers) call(*observer);
}

TreeItem TreeModel::Append(TreeItem parent, std::string_view label, TreeImages images) {
  std::vector<TreeItem>* siblings = ChildList(parent);
  if (siblings == nullptr || m_lastHandle == std::numeric_limits<TreeItem>::max()) return kNoItem;
  const TreeRow before{parent, static_cast<int>(siblings->size()), kNoItem};
  Notify([&](TreeObserver& o) { o.OnAboutToInsert(before); });
  const TreeItem item = ++m_lastHandle;
  // Nodes of an unordered_map keep their address when it rehashes, so siblings stays valid.
  m_nodes.emplace(item, Node{std::string(label), images, parent, {}, before.row, false});
  siblings->push_back(item);
  Notify([&](TreeObserver& o) { o.OnInserted({before.parent, before.row, item}); });
  return item;
}

bool TreeModel::Remove(TreeItem item) {
  if (!Contains(item)) return false;
  const TreeRow where = RowOf(item);
  Notify([&](TreeObserver& o) { o.OnAboutToRemove(where); });
  std::vector<TreeItem>& siblings = *ChildList(where.parent);
  siblings.erase(siblings.begin() + where.row);
  for (size_t row = static_cast<size_t>(where.row); row < siblings.size(); ++row) {
    Find(siblings[row])->row = static_cast<int>(row);
  }
  EraseSubtree(item);
  Notify([&](TreeObserver& o) { o.OnRemoved({where.parent, where.row, kNoItem}); });
  return true;
}

// Iterative, so a deep hand-made tree cannot exhaust the stack.
void TreeModel::EraseSubtree(TreeItem item) {
  std::vector<TreeItem> pending{item};
  while (!pending.empty()) {
    const TreeItem current = pending.back();
    pending.pop_back();
    auto it = m_nodes.find(current);
    if (it == m_nodes.end()) continue;
    pending.insert(pending.end(), it->second.children.begin(), it->second.children.end());
    m_nodes.erase(it);
  }
}

void TreeModel::Clear() {
  Notify([](TreeObserver& o) { o.OnAboutToReset(); });
  m_nodes.clear();
  m_topLevel.clear();
  Notify([](TreeObserver& o) { o.OnReset(); });
}

bool TreeModel::SetLabel(TreeItem item, std::string_view label) {
  Node* node = Find(item);
  if (node == nullptr) return false;
  if (node->label == label) return true;
  node->label = label;
  Notify([&](TreeObserver& o) { o.OnChanged(RowOf(item), TreeChange::kLabel); });
  return true;
}

bool TreeModel::SetImages(TreeItem item, TreeImages images) {
  Node* node = Find(item);
  if (node == nullptr) return false;
  if (node->images == images) return true;
  node->images = images;
  Notify([&](TreeObserver& o) { o.OnChanged(RowOf(item), TreeChange::kImages); });
  return true;
}

bool TreeModel::SetExpanded(TreeItem item, bool expanded) {
  Node* node = Find(item);
  if (node == nullptr) return false;
  if (node->expanded == expanded) return true;
  node->expanded = expanded;
  Notify([&](TreeObserver& o) { o.OnChanged(RowOf(item), TreeChange::kExpanded); });
  return true;
}

bool TreeModel::Contains(TreeItem item) const {
  return Find(item) != nullptr;
}

const std::string& TreeModel::Label(TreeItem item) const {
  const Node* node = Find(item);
  return node != nullptr ? node->label : kEmptyLabel;
}

TreeImages TreeModel::Images(TreeItem item) const {
  const Node* node = Find(item);
  return node != nullptr ? node->images : TreeImages{};
}

bool TreeModel::IsExpanded(TreeItem item) const {
  const Node* node = Find(item);
  return node != nullptr && node->expanded;
}

TreeItem TreeModel::Parent(TreeItem item) const {
  const Node* node = Find(item);
  return node != nullptr ? node->parent : kNoItem;
}

std::span<const TreeItem> TreeModel::Children(TreeItem parent) const {
  const std::vector<TreeItem>* children = ChildList(parent);
  if (children == nullptr) return {};
  return *children;
}

int TreeModel::ChildCount(TreeItem parent) const {
  return static_cast<int>(Children(parent).size());
}

TreeItem TreeModel::Child(TreeItem parent, int row) const {
  const std::span<const TreeItem> children = Children(parent);
  if (row < 0 || static_cast<size_t>(row) >= children.size()) return kNoItem;
  return children[static_cast<size_t>(row)];
}

TreeItem TreeModel::FirstChild(TreeItem parent) const {
  return Child(parent, 0);
}

int TreeModel::IndexOfChild(TreeItem parent, TreeItem child) const {
  const Node* node = Find(child);
  return node != nullptr && node->parent == parent ? node->row : -1;
}

int TreeModel::Row(TreeItem item) const {
  if (!Contains(item)) return -1;
  return IndexOfChild(Parent(item), item);
}

TreeRow TreeModel::RowOf(TreeItem item) const {
  const TreeItem parent = Parent(item);
  return {parent, IndexOfChild(parent, item), item};
}

TreeModel::Node* TreeModel::Find(TreeItem item) {
  auto it = m_nodes.find(item);
  return it == m_nodes.end() ? nullptr : &it->second;
}

const TreeModel::Node* TreeModel::Find(TreeItem item) const {
  auto it = m_nodes.find(item);
  return it == m_nodes.end() ? nullptr : &it->second;
}

std::vector<TreeItem>* TreeModel::ChildList(TreeItem parent) {
  if (parent == kNoItem) return &m_topLevel;
  Node* node = Find(parent);
  return node != nullptr ? &node->children : nullptr;
}

const std::vector<TreeItem>* TreeModel::ChildList(TreeItem parent) const {
  if (parent == kNoItem) return &m_topLevel;
  const Node* node = Find(parent);
  return node != nullptr ? &node->children : nullptr;
}

}  // namespace tarnex
