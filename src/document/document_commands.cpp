#include "document/document_commands.h"

#include <utility>

#include "document/snapshot_file.h"
#include "text/utf.h"

namespace zelvane {

namespace {

std::u16string fileNameOf(std::u16string_view path) {
    const std::size_t slash = path.rfind(u'/');
    return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

} // namespace

std::vector<FileFilter> parseFileFilter(std::u16string_view filter) {
    std::vector<std::u16string> parts;
    std::size_t start = 0;
    while (start < filter.size()) {
        const std::size_t bar = filter.find(u'|', start);
        const std::size_t end = bar == std::u16string_view::npos ? filter.size() : bar;
        if (end == start) {
            break; // "||" ends the list
        }
        parts.emplace_back(filter.substr(start, end - start));
        start = end + 1;
    }
    std::vector<FileFilter> filters;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        filters.push_back({parts[i], parts[i + 1]});
    }
    return filters;
}

FileDialogRequest openDialogRequest() {
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Open;
    request.filters = parseFileFilter(kSnapshotFileFilter);
    request.defaultExtension = kSnapshotDefaultExtension;
    request.initialName = kOpenInitialName;
    request.fileMustExist = true;
    return request;
}

FileDialogRequest saveAsDialogRequest(std::u16string_view title) {
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Save;
    request.filters = parseFileFilter(kSnapshotFileFilter);
    request.defaultExtension = kSnapshotDefaultExtension;
    request.initialName = title;
    request.overwritePrompt = true;
    return request;
}

std::u16string titledCaption(std::u16string_view title) {
    std::u16string caption(title);
    caption += kTitleCaptionSuffix;
    return caption;
}

std::u16string loadedMessage(std::u16string_view title, std::uint32_t roots, std::uint32_t folders,
                             std::uint32_t files) {
    std::u16string text(title);
    text += u" successfuly opened.\n\nRoots:\t";
    text += decimalText(roots);
    text += u"\nFolders:\t";
    text += decimalText(folders);
    text += u"\nFiles:\t";
    text += decimalText(files);
    return text;
}

PathParts splitPath(std::u16string_view path) {
    PathParts parts;
    const std::size_t slash = path.rfind(u'/');
    std::u16string_view name = path;
    if (slash != std::u16string_view::npos) {
        parts.dir.assign(path.substr(0, slash + 1));
        name = path.substr(slash + 1);
    }
    const std::size_t dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos) {
        parts.base.assign(name);
    } else {
        parts.base.assign(name.substr(0, dot));
        parts.ext.assign(name.substr(dot));
    }
    return parts;
}

DocumentCommands::DocumentCommands(SnapshotTree& tree, DocumentState& state, UiPort& port,
                                   std::u16string appName, std::function<void()> saveSettings)
    : tree_(tree), state_(state), port_(port), appName_(std::move(appName)),
      saveSettings_(std::move(saveSettings)) {}

bool DocumentCommands::AskToSave() {
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

bool DocumentCommands::OnFileNew() {
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

bool DocumentCommands::OnFileOpen() {
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

bool DocumentCommands::OnFileSave() {
    if (state_.title == kUntitledTitle) {
        return OnFileSaveAs();
    }
    return SaveSnapshot();
}

bool DocumentCommands::OnFileSaveAs() {
    const std::optional<ChosenFile> chosen = port_.fileDialog(saveAsDialogRequest(state_.title));
    if (!chosen) {
        return false;
    }
    adopt(*chosen);
    return SaveSnapshot();
}

bool DocumentCommands::OnFileExit() {
    if (!AskToSave()) {
        return false;
    }
    if (saveSettings_) {
        saveSettings_();
    }
    port_.endMainWindow(0);
    return true;
}

bool DocumentCommands::OpenFromCommandLine(std::u16string_view argument) {
    if (argument.empty()) {
        return false;
    }
    const PathParts parts = splitPath(argument);
    state_.title = parts.base + parts.ext;
    state_.path = parts.dir + parts.base + parts.ext;
    return LoadSnapshot();
}

bool DocumentCommands::SaveSnapshot() {
    WriteResult result;
    if (!state_.path.empty()) {
        result = writeSnapshotFile(tree_, utf16ToUtf8(state_.path));
    }
    if (!result.opened) {
        // Nothing was written; the flag and the caption stay as they were.
        showIoError();
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
        showIoError();
        return false;
    }
    state_.modified = false;
    return true;
}

bool DocumentCommands::LoadSnapshot() {
    state_.modified = false;
    port_.setCaption(titledCaption(state_.title));
    // The reader empties the tree, and leaves it empty when the load fails.
    const LoadStats stats = readSnapshotFile(utf16ToUtf8(state_.path), tree_);
    if (!stats.opened) {
        showIoError();
        return false;
    }
    port_.messageBox(loadedMessage(state_.title, stats.roots, stats.folders, stats.files),
                     kInformationCaption, MessageIcon::Information, MessageButtons::Ok);
    return true;
}

void DocumentCommands::showIoError() {
    port_.messageBox(state_.path, kIoErrorCaption, MessageIcon::Exclamation, MessageButtons::Ok);
}

void DocumentCommands::adopt(const ChosenFile& file) {
    state_.path = file.path;
    state_.title = file.title.empty() ? fileNameOf(file.path) : file.title;
}

} // namespace zelvane
