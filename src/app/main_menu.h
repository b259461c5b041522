// The main window's menu bar (menu 129) as data: the menus in bar order, their items with
// texts, mnemonics, separators and initial check marks, each item with its command
// identifier. The Qt window builds its menu bar from this table.
#pragma once

#include <span>
#include <string_view>

namespace zelvane {

struct MenuItemTemplate {
    int id = 0; // 0 for a separator
    std::u16string_view text;
    bool checked = false; // checked when the menu is created
    bool isSeparator() const { return id == 0; }
};

struct MenuTemplate {
    std::u16string_view text;
    bool rightJustify = false; // stands at the right end of the bar
    std::span<const MenuItemTemplate> items;
};

std::span<const MenuTemplate> mainMenuTemplate();

// The index of the "&Item" menu in the bar; it doubles as the tree's right-click menu.
inline constexpr std::size_t kItemMenuIndex = 1;

} // namespace zelvane
