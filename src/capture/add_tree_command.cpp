#include "capture/add_tree_command.h"

#include "capture/capture_summary.h"
#include "document/document_commands.h"

namespace zelvane {

void acceptAddTreeDialog(AddTreeDialog& dialog, std::u16string_view pathField,
                         std::u16string_view titleField, std::u16string_view filterField) {
    dialog.fields.path = cutText(pathField, kAddTreeFieldMax);
    dialog.fields.title = cutText(titleField, kAddTreeFieldMax);
    dialog.fields.filter = cutText(filterField, kAddTreeFieldMax);
    dialog.accepted = true;
}

std::u16string chosenFolderPath(std::u16string path) {
    if (path.size() > 1 && path.back() == u'/') {
        path.pop_back();
    }
    return path;
}

AddTreeCommand::AddTreeCommand(SnapshotTree& tree, ScanState& scan, DocumentState& document,
                               AddTreeInputs& remembered, UiPort& ui, ScanObserver& observer,
                               const TextOrder& order)
    : tree_(tree), scan_(scan), document_(document), remembered_(remembered), ui_(ui),
      observer_(observer), order_(order) {}

std::optional<CaptureOutcome> AddTreeCommand::OnAddTree() {
    AddTreeDialog dialog{remembered_};
    ui_.runAddTreeDialog(dialog);
    if (!dialog.accepted) {
        return std::nullopt;
    }
    remembered_ = dialog.fields;
    CaptureRequest request;
    request.path = dialog.fields.path;
    request.filter = dialog.fields.filter;
    // The title as the root's text, or the path when the title was left empty.
    request.label = dialog.fields.title.empty() ? dialog.fields.path : dialog.fields.title;
    const CaptureOutcome outcome = captureTree(tree_, scan_, request, observer_, order_);
    if (outcome.error != 0) {
        // The path did not open, or memory ran out (reported as a load that runs out of it
        // is); the snapshot and its modified flag are as they were.
        showIoError(ui_, request.path, outcome.error);
        return outcome;
    }

    ui_.messageBox(
        buildCaptureSummary(outcome.folders, outcome.files, outcome.total, outcome.stopped),
        kInformationCaption, MessageIcon::Information, MessageButtons::Ok);
    document_.modified = true;
    return outcome;
}

} // namespace zelvane
