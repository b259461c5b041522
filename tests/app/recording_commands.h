// A MainCommands that records the name of every handler that runs, for routing tests.
#pragma once

#include <string>
#include <vector>

#include "app/command_routing.h"

namespace zelvane {

class RecordingCommands : public MainCommands {
public:
    std::vector<std::string> calls;
    void OnFileNew() override { calls.push_back("OnFileNew"); }
    void OnFileOpen() override { calls.push_back("OnFileOpen"); }
    void OnFileSave() override { calls.push_back("OnFileSave"); }
    void OnFileSaveAs() override { calls.push_back("OnFileSaveAs"); }
    void OnFileExit() override { calls.push_back("OnFileExit"); }
    void OnItemRename() override { calls.push_back("OnItemRename"); }
    void OnItemDelete() override { calls.push_back("OnItemDelete"); }
    void OnItemProperties() override { calls.push_back("OnItemProperties"); }
    void OnAddTree() override { calls.push_back("OnAddTree"); }
    void OnSearch() override { calls.push_back("OnSearch"); }
    void OnStopScan() override { calls.push_back("OnStopScan"); }
    void OnView16x16() override { calls.push_back("OnView16x16"); }
    void OnView24x24() override { calls.push_back("OnView24x24"); }
    void OnView32x32() override { calls.push_back("OnView32x32"); }
    void OnView48x48() override { calls.push_back("OnView48x48"); }
    void OnHelpAbout() override { calls.push_back("OnHelpAbout"); }
};

} // namespace zelvane
