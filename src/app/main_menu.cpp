#include "app/main_menu.h"

#include <array>

#include "app/command_ids.h"

namespace zelvane {

namespace {

constexpr std::array kFileItems{
    MenuItemTemplate{ID_FILE_NEW, u"&New"},
    MenuItemTemplate{ID_FILE_OPEN, u"&Open..."},
    MenuItemTemplate{ID_FILE_SAVE, u"&Save"},
    MenuItemTemplate{ID_FILE_SAVEAS, u"Save &As..."},
    MenuItemTemplate{},
    MenuItemTemplate{ID_FILE_EXIT, u"E&xit"},
};

constexpr std::array kItemItems{
    MenuItemTemplate{ID_ITEM_RENAME, u"&Rename"},
    MenuItemTemplate{ID_ITEM_DELETE, u"&Delete"},
    MenuItemTemplate{},
    MenuItemTemplate{ID_ITEM_PROPERTIES, u"Properties..."},
};

constexpr std::array kTreeItems{
    MenuItemTemplate{ID_TREE_ADDTREE, u"&Add Tree..."},
    MenuItemTemplate{},
    MenuItemTemplate{ID_TREE_SEARCH, u"&Search..."},
};

constexpr std::array kViewItems{
    MenuItemTemplate{ID_VIEW_16X16, u"&16 x 16", true},
    MenuItemTemplate{ID_VIEW_24X24, u"&24 x 24"},
    MenuItemTemplate{ID_VIEW_32X32, u"&32 x 32"},
    MenuItemTemplate{ID_VIEW_48X48, u"&48 x 48"},
};

constexpr std::array kHelpItems{
    MenuItemTemplate{ID_HELP_ABOUT, u"&About..."},
};

constexpr std::array kMenus{
    MenuTemplate{u"&File", false, kFileItems}, MenuTemplate{u"&Item", false, kItemItems},
    MenuTemplate{u"&Tree", false, kTreeItems}, MenuTemplate{u"&View", true, kViewItems},
    MenuTemplate{u"&Help", true, kHelpItems},
};

} // namespace

std::span<const MenuTemplate> mainMenuTemplate() {
    return kMenus;
}

} // namespace zelvane
