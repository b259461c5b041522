#include "app/command_routing.h"

#include <array>

#include "app/command_ids.h"

namespace zelvane {

namespace {

constexpr std::array<CommandRoute, 16> kRoutes{{
    {ID_FILE_NEW, "OnFileNew", "document", &MainCommands::OnFileNew},
    {ID_FILE_OPEN, "OnFileOpen", "document", &MainCommands::OnFileOpen},
    {ID_FILE_SAVE, "OnFileSave", "document", &MainCommands::OnFileSave},
    {ID_FILE_SAVEAS, "OnFileSaveAs", "document", &MainCommands::OnFileSaveAs},
    {ID_FILE_EXIT, "OnFileExit", "document", &MainCommands::OnFileExit},
    {ID_ITEM_RENAME, "OnItemRename", "items", &MainCommands::OnItemRename},
    {ID_ITEM_DELETE, "OnItemDelete", "items", &MainCommands::OnItemDelete},
    {ID_ITEM_PROPERTIES, "OnItemProperties", "items", &MainCommands::OnItemProperties},
    {ID_TREE_ADDTREE, "OnAddTree", "capture", &MainCommands::OnAddTree},
    {ID_TREE_SEARCH, "OnSearch", "search", &MainCommands::OnSearch},
    {ID_VIEW_16X16, "OnView16x16", "icons", &MainCommands::OnView16x16},
    {ID_VIEW_24X24, "OnView24x24", "icons", &MainCommands::OnView24x24},
    {ID_VIEW_32X32, "OnView32x32", "icons", &MainCommands::OnView32x32},
    {ID_VIEW_48X48, "OnView48x48", "icons", &MainCommands::OnView48x48},
    {ID_HELP_ABOUT, "OnHelpAbout", "about", &MainCommands::OnHelpAbout},
    {IDC_STOP, "OnStopScan", "capture", &MainCommands::OnStopScan},
}};

} // namespace

std::span<const CommandRoute> commandRoutes() {
    return kRoutes;
}

const CommandRoute* findCommandRoute(int id) {
    for (const CommandRoute& route : kRoutes) {
        if (route.id == id) {
            return &route;
        }
    }
    return nullptr;
}

bool routeCommand(MainCommands& target, int id) {
    const CommandRoute* route = findCommandRoute(id);
    if (route == nullptr) {
        return false;
    }
    (target.*(route->call))();
    return true;
}

bool isAboutSysCommand(int id) {
    return (id & 0xFFF0) == IDM_ABOUTBOX;
}

} // namespace zelvane
