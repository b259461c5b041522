#include "document/document.h"

#include <cerrno>
#include <utility>

#include "document/document_commands.h"
#include "document/snapshot_file.h"
#include "document/tree_order.h"
#include "text/text.h"
#include "text/utf.h"

namespace zelvane {

namespace {

std::u16string fileNameOf(std::u16string_view path) {
    const std::size_t slash = path.rfind(u'/');
    return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

} // namespace

Document::Document(UiPort& port, std::u16string appName, std::function<void()> saveSettings)
    : port_(port), appName_(std::move(appName)), saveSettings_(std::move(saveSettings)) {}

bool Document::AskToSave() {
    if (!state_.modified) {
        return true;
    }
    const MessageAnswer answer =
        port_.messageBox(kSaveChangesText, appName_, MessageIcon::Question, MessageButtons::YesNo);
    if (answer != MessageAnswer::Yes) {
        return true; // No drops the changes
    }
    // Yes: the asking command goes on only when the snapshot really was saved, so that a
    // cancelled Save As or a failed write never throws the changes away.
    return OnFileSave();
}

bool Document::OnFileNew() {
    if (!AskToSave()) {
        return false;
    }
    tree_.removeAll();
    state_.title = kUntitledTitle;
    state_.path.clear();
    state_.modified = false;
    port_.setCaption(kProgramCaption);
    return true;
}

bool Document::OnFileOpen() {
    const std::optional<ChosenFile> chosen = port_.fileDialog(openDialogRequest());
    if (!chosen) {
        return false;
    }
    if (!AskToSave()) {
        return false;
    }
    adopt(*chosen);
    return LoadSnapshot();
}

bool Document::OnFileSave() {
    if (state_.title == kUntitledTitle) {
        return OnFileSaveAs();
    }
    return SaveSnapshot();
}

bool Document::OnFileSaveAs() {
    const std::optional<ChosenFile> chosen = port_.fileDialog(saveAsDialogRequest(state_.title));
    if (!chosen) {
        return false;
    }
    adopt(*chosen);
    return SaveSnapshot();
}

bool Document::OnFileExit() {
    if (!AskToSave()) {
        return false;
    }
    if (saveSettings_) {
        saveSettings_();
    }
    port_.endMainWindow(0);
    return true;
}

bool Document::OpenFromCommandLine(std::u16string_view argument) {
    if (argument.empty()) {
        return false;
    }
    const PathParts parts = splitPath(argument);
    state_.title = parts.base + parts.ext;
    state_.path = parts.dir + parts.base + parts.ext;
    return LoadSnapshot();
}

bool Document::SaveSnapshot() {
    const std::string path = utf16ToUtf8(state_.path);
    // Another program (zelvane-cli scan --append, say) may have changed the file: saving
    // over it unasked would lose what it added.
    if (const std::optional<platform::FileIdentity> now = platform::fileIdentity(path);
        onDisk_ && now && *now != *onDisk_ &&
        port_.messageBox(changedOnDiskText(state_.title), appName_, MessageIcon::Question,
                         MessageButtons::YesNo) != MessageAnswer::Yes) {
        return false;
    }
    WriteResult result;
    result.error = ENOENT; // as the system answers for an empty path
    if (!state_.path.empty()) {
        result = writeSnapshotFile(tree_, path);
    }
    if (!result.opened) {
        // Nothing was written; the flag and the caption stay as they were.
        showIoError(port_, state_.path, result.error);
        return false;
    }
    port_.setCaption(titledCaption(state_.title));
    if (result.deepRecords > 0) {
        // Once per save, however many nodes lie deeper than a depth byte can tell.
        port_.messageBox(kDeepOverflowText, appName_, MessageIcon::None, MessageButtons::Ok);
    }
    if (!result.ok) {
        // A write, the sync, the close or the rename failed: the old file is untouched and
        // the changes are still only in memory.
        showIoError(port_, state_.path, result.error);
        return false;
    }
    state_.modified = false;
    onDisk_ = platform::fileIdentity(path);
    return true;
}

bool Document::LoadSnapshot() {
    state_.modified = false;
    port_.setCaption(titledCaption(state_.title));
    // The reader empties the tree, and leaves it empty when the load fails.
    const std::string path = utf16ToUtf8(state_.path);
    onDisk_ = platform::fileIdentity(path);
    // A file saved here is in the order of the environment's collation, the one the item
    // commands keep: the load checks it, so that the first rename need not sort the tree.
    static const TextOrder order;
    const LoadStats stats = readSnapshotFile(path, tree_, {}, &order);
    if (!stats.opened) {
        showIoError(port_, state_.path, stats.error);
        return false;
    }
    port_.messageBox(loadedMessage(state_.title, stats.roots, stats.folders, stats.files),
                     kInformationCaption, MessageIcon::Information, MessageButtons::Ok);
    if (!stats.wellFormed()) {
        // Whatever the file was, the user learns it before saving the tree over it.
        port_.messageBox(damagedFileMessage(state_.title, stats), kWarningCaption,
                         MessageIcon::Exclamation, MessageButtons::Ok);
    }
    return true;
}

void Document::adopt(const ChosenFile& file) {
    if (file.path != state_.path) {
        onDisk_.reset();
    }
    state_.path = file.path;
    state_.title = file.title.empty() ? fileNameOf(file.path) : file.title;
}

} // namespace zelvane
