// The main window's command routing: one table from command identifier to the handler
// that carries it out. The main window implements MainCommands; every menu item, the
// right-click menu and the Stop button reach their handler through routeCommand.
#pragma once

#include <span>

namespace zelvane {

class MainCommands {
public:
    virtual ~MainCommands() = default;
    // Document commands.
    virtual void OnFileNew() = 0;
    virtual void OnFileOpen() = 0;
    virtual void OnFileSave() = 0;
    virtual void OnFileSaveAs() = 0;
    virtual void OnFileExit() = 0;
    // Item operations on the selected node.
    virtual void OnItemRename() = 0;
    virtual void OnItemDelete() = 0;
    virtual void OnItemProperties() = 0;
    // Capture and search.
    virtual void OnAddTree() = 0;
    virtual void OnSearch() = 0;
    virtual void OnStopScan() = 0;
    // Icon sizes.
    virtual void OnView16x16() = 0;
    virtual void OnView24x24() = 0;
    virtual void OnView32x32() = 0;
    virtual void OnView48x48() = 0;
    // The About box (Help menu and the window menu).
    virtual void OnHelpAbout() = 0;
};

struct CommandRoute {
    int id;
    const char* handler;   // the handler's name, for diagnostics and tests
    const char* subsystem; // where the command's behaviour lives
    void (MainCommands::*call)();
};

std::span<const CommandRoute> commandRoutes();
const CommandRoute* findCommandRoute(int id);

// Runs the handler of id; false (and nothing done) for an identifier with no route.
bool routeCommand(MainCommands& target, int id);

// Window menu commands: the About item is recognised after masking with 0xFFF0, as the
// low four bits of a window command are reserved.
bool isAboutSysCommand(int id);

} // namespace zelvane
