#include "sim/ui/tree_view.h"

#include <algorithm>
#include <ostream>

#include "sim/kernel/wide.h"

namespace sim {

void PrintTo(const TreeLine& line, std::ostream* out)
{
    *out << "{" << line.depth << ", \"" << Utf8(line.text) << "\"" << (line.expanded ? ", expanded}" : "}");
}

std::vector<HTREEITEM>* TreeView::ChildrenOf(HTREEITEM parent)
{
    if (parent == TVI_ROOT || parent == nullptr) {
        return &roots_;
    }
    auto found = items_.find(parent);
    return found == items_.end() ? nullptr : &found->second.children;
}

HTREEITEM TreeView::Insert(HTREEITEM parent, HTREEITEM after, const std::wstring& text)
{
    std::vector<HTREEITEM>* siblings = ChildrenOf(parent);
    if (siblings == nullptr) {
        return nullptr;
    }
    auto position = siblings->end();
    if (after == TVI_FIRST) {
        position = siblings->begin();
    } else if (after != TVI_LAST) {
        position = std::find(siblings->begin(), siblings->end(), after);
        if (position == siblings->end()) {
            return nullptr;
        }
        ++position;
    }
    HTREEITEM item = reinterpret_cast<HTREEITEM>(nextHandle_);
    nextHandle_ += 0x10;
    siblings->insert(position, item);
    Item& created = items_[item];
    created.parent = parent == TVI_ROOT ? nullptr : parent;
    created.text = text;
    return item;
}

void TreeView::Erase(HTREEITEM item)
{
    for (HTREEITEM child : items_.at(item).children) {
        Erase(child);
    }
    items_.erase(item);
}

bool TreeView::Delete(HTREEITEM item)
{
    if (item == TVI_ROOT || item == nullptr) {
        items_.clear();
        roots_.clear();
        return true;
    }
    auto found = items_.find(item);
    if (found == items_.end()) {
        return false;
    }
    std::vector<HTREEITEM>* siblings = ChildrenOf(found->second.parent);
    siblings->erase(std::find(siblings->begin(), siblings->end(), item));
    Erase(item);
    return true;
}

bool TreeView::Expand(HTREEITEM item, UINT action)
{
    auto found = items_.find(item);
    if (found == items_.end() || found->second.children.empty()) {
        return false;
    }
    bool& expanded = found->second.expanded;
    expanded = action == TVE_EXPAND || (action == TVE_TOGGLE && !expanded);
    return true;
}

void TreeView::AddLines(const std::vector<HTREEITEM>& level, int depth, std::vector<TreeLine>* lines) const
{
    for (HTREEITEM handle : level) {
        const Item& item = items_.at(handle);
        lines->push_back({depth, item.text, item.expanded});
        AddLines(item.children, depth + 1, lines);
    }
}

std::vector<TreeLine> TreeView::Lines() const
{
    std::vector<TreeLine> lines;
    AddLines(roots_, 0, &lines);
    return lines;
}

} // namespace sim
