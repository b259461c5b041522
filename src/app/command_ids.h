// Numeric identifiers of the main window: its menu commands, its controls and the items
// of its window menu. Menus and routing refer to commands by these numbers.
#pragma once

#include "icons/view_sizes.h"

namespace zelvane {

// File menu.
inline constexpr int ID_FILE_NEW = 269;
inline constexpr int ID_FILE_OPEN = 130;
inline constexpr int ID_FILE_SAVE = 131;
inline constexpr int ID_FILE_SAVEAS = 132;
inline constexpr int ID_FILE_EXIT = 133;
// Item menu (also the tree's right-click menu).
inline constexpr int ID_ITEM_RENAME = 278;
inline constexpr int ID_ITEM_DELETE = 279;
inline constexpr int ID_ITEM_PROPERTIES = 32774;
// Tree menu.
inline constexpr int ID_TREE_ADDTREE = 135;
inline constexpr int ID_TREE_SEARCH = 271;
// View menu: ID_VIEW_16X16 ... ID_VIEW_48X48, with the icon sizes (icons/view_sizes.h).
// Help menu.
inline constexpr int ID_HELP_ABOUT = 134;

// Controls of the main window (template 102).
inline constexpr int IDD_MAIN = 102;
inline constexpr int IDR_MAIN_MENU = 129;
inline constexpr int IDC_TREE = 1000;
inline constexpr int IDC_PROGRESS = 1013;
inline constexpr int IDC_STOP = 1014;

// The window icon is the kind-0 icon.
inline constexpr int IDI_MAIN = 254;

// Window menu (Alt+Space) commands. The About item is ours; the others are the usual
// window commands, compared after masking with 0xFFF0.
inline constexpr int IDM_ABOUTBOX = 16;
inline constexpr int SC_MINIMIZE = 0xF020;
inline constexpr int SC_MAXIMIZE = 0xF030;
inline constexpr int SC_CLOSE = 0xF060;
inline constexpr int SC_RESTORE = 0xF120;

// The window menu's About item, recognised after masking with 0xFFF0, as the low four
// bits of a window command are reserved.
constexpr bool isAboutSysCommand(int id) {
    return (id & 0xFFF0) == IDM_ABOUTBOX;
}

} // namespace zelvane
