// The open snapshot: its tree, its document state (the file it belongs to and whether it
// has changes that are not in that file), and the File commands that replace, save and
// load it: New, Open, Save, Save As, Exit, opening the file named on the command line, and
// the save prompt.
//
// The commands decide everything and talk to the user only through the UiPort. The main
// window shows the document and forwards the File menu to it; the item, capture and search
// commands take its tree and state from it.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "document/document_state.h"
#include "document/snapshot_tree.h"
#include "document/ui_port.h"
#include "platform/replace_file.h"

namespace zelvane {

class Document {
public:
    // appName is the caption of the save prompt and of the depth warning; saveSettings is
    // run by Exit before the main window ends.
    Document(UiPort& port, std::u16string appName, std::function<void()> saveSettings);
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    SnapshotTree& tree() { return tree_; }
    const SnapshotTree& tree() const { return tree_; }
    DocumentState& state() { return state_; }
    const DocumentState& state() const { return state_; }

    // Each returns whether it did its work; false when the user cancelled, a file could not
    // be read or written, or a save the user asked for did not happen.
    bool OnFileNew();
    bool OnFileOpen();
    bool OnFileSave();
    bool OnFileSaveAs();
    // Ends the main window's run with 0 unless a save the user asked for failed.
    bool OnFileExit();
    // Offers to save a modified snapshot. True when the caller may go on: nothing to save,
    // the user answered No, or the save succeeded.
    bool AskToSave();
    // Opens the snapshot named by the command-line argument (no prompt: nothing is open
    // yet). An empty argument does nothing.
    bool OpenFromCommandLine(std::u16string_view argument);

    // Writes the tree to the current path. False, with "I/O ERROR", when the file could
    // not be written; the file on disk is then the one from before. When another program
    // changed the file since it was loaded or last saved here, asks first; No writes
    // nothing and gives false.
    bool SaveSnapshot();
    // Empties the tree and fills it from the current path, then reports the counts, and
    // warns when the file is not well formed. False, with "I/O ERROR", when it cannot be
    // read.
    bool LoadSnapshot();

private:
    void adopt(const ChosenFile& file);

    SnapshotTree tree_;
    DocumentState state_;
    UiPort& port_;
    std::u16string appName_;
    std::function<void()> saveSettings_;
    // The file at the current path as it was loaded or last saved.
    std::optional<platform::FileIdentity> onDisk_;
};

} // namespace zelvane
