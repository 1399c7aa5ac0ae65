// The items of a simulated tree-view control: what TVM_INSERTITEMW,
// TVM_DELETEITEM and TVM_EXPAND do to them, and how they read on screen.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "common/wintypes.h"

namespace sim {

// One item as a reader of the tree sees it: its depth (0 for a root item),
// its text and whether it is expanded.
struct TreeLine {
    int depth = 0;
    std::wstring text;
    bool expanded = false;

    bool operator==(const TreeLine& other) const
    {
        return depth == other.depth && text == other.text && expanded == other.expanded;
    }
};
void PrintTo(const TreeLine& line, std::ostream* out);

class TreeView {
public:
    // The new item after `after` (TVI_FIRST, TVI_LAST or a sibling) under
    // `parent` (TVI_ROOT, null or an item); null when either is not valid.
    HTREEITEM Insert(HTREEITEM parent, HTREEITEM after, const std::wstring& text);
    // An item with everything below it; TVI_ROOT or null deletes every item.
    bool Delete(HTREEITEM item);
    // TVE_EXPAND, TVE_COLLAPSE or TVE_TOGGLE. As in the common controls, an
    // item without children can be neither expanded nor collapsed.
    bool Expand(HTREEITEM item, UINT action);
    size_t Count() const { return items_.size(); }
    // Every item, in display order (parents before their children).
    std::vector<TreeLine> Lines() const;

private:
    struct Item {
        HTREEITEM parent = nullptr; // null for a root item
        std::wstring text;
        bool expanded = false;
        std::vector<HTREEITEM> children;
    };
    std::vector<HTREEITEM>* ChildrenOf(HTREEITEM parent);
    void Erase(HTREEITEM item);
    void AddLines(const std::vector<HTREEITEM>& level, int depth, std::vector<TreeLine>* lines) const;

    std::map<HTREEITEM, Item> items_;
    std::vector<HTREEITEM> roots_;
    // Handles are never reused, so a stale one finds nothing.
    uintptr_t nextHandle_ = 0x7E0010;
};

} // namespace sim
