// TEMPORARY stand-in until the document commands land on main; replaced by theirs.
#pragma once

#include <functional>
#include <string>

#include "app/ui_port.h"
#include "document/document_state.h"
#include "document/snapshot_file.h"
#include "document/snapshot_tree.h"
#include "document/utf.h"

namespace zelvane {

class DocumentCommands {
public:
    DocumentCommands(SnapshotTree& tree, DocumentState& state, UiPort& ui, std::u16string appName,
                     std::function<void()> saveSettings)
        : tree_(tree), state_(state), ui_(ui), appName_(std::move(appName)),
          saveSettings_(std::move(saveSettings)) {}
    void OnFileNew() {
        tree_.removeAll();
        state_ = DocumentState{};
        ui_.setCaption(u"Zelvane");
    }
    void OnFileOpen() {}
    void OnFileSave() {}
    void OnFileSaveAs() {}
    void OnFileExit() {
        if (saveSettings_) {
            saveSettings_();
        }
        ui_.endMainWindow(0);
    }
    void OpenFromCommandLine(std::u16string_view arg) {
        state_.path = std::u16string(arg);
        const auto slash = arg.find_last_of(u'/');
        state_.title = std::u16string(slash == arg.npos ? arg : arg.substr(slash + 1));
        state_.modified = false;
        ui_.setCaption(state_.title + u" - Zelvane");
        const LoadStats stats = readSnapshotFile(utf16ToUtf8(state_.path), tree_);
        if (!stats.opened) {
            ui_.messageBox(state_.path, u"I/O ERROR", MessageIcon::Exclamation, MessageButtons::Ok);
            return;
        }
        ui_.messageBox(state_.title + u" successfuly opened.", u"Information",
                       MessageIcon::Information, MessageButtons::Ok);
    }

private:
    SnapshotTree& tree_;
    DocumentState& state_;
    UiPort& ui_;
    std::u16string appName_;
    std::function<void()> saveSettings_;
};

} // namespace zelvane
