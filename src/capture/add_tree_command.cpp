#include "capture/add_tree_command.h"

#include "capture/capture_summary.h"

namespace zelvane {

namespace {

bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

} // namespace

std::u16string readAddTreeField(std::u16string_view text) {
    if (text.size() <= kAddTreeFieldMax) {
        return std::u16string(text);
    }
    std::size_t length = kAddTreeFieldMax;
    // The 250th unit completes the pair that the 249th begins: both go.
    if (isHighSurrogate(text[length - 1])) {
        --length;
    }
    return std::u16string(text.substr(0, length));
}

AddTreeDialogResult acceptAddTreeFields(std::u16string_view pathField,
                                        std::u16string_view titleField,
                                        std::u16string_view filterField,
                                        AddTreeInputs& remembered) {
    AddTreeDialogResult result;
    result.path = readAddTreeField(pathField);
    result.label = readAddTreeField(titleField);
    result.filter = readAddTreeField(filterField);
    remembered.path = result.path;
    remembered.title = result.label;
    remembered.filter = result.filter;
    if (result.label.empty()) {
        result.label = result.path;
    }
    return result;
}

std::u16string chosenFolderPath(std::u16string path) {
    if (path.size() > 1 && path.back() == u'/') {
        path.pop_back();
    }
    return path;
}

AddTreeCommand::AddTreeCommand(SnapshotTree& tree, ScanState& scan, DocumentState& document,
                               AddTreeInputs& remembered, UiPort& ui, AddTreePort& port,
                               const TextOrder& order)
    : tree_(tree), scan_(scan), document_(document), remembered_(remembered), ui_(ui), port_(port),
      order_(order) {}

std::optional<CaptureOutcome> AddTreeCommand::OnAddTree() {
    const std::optional<AddTreeDialogResult> input = port_.runAddTreeDialog(remembered_);
    if (!input) {
        return std::nullopt;
    }
    CaptureRequest request;
    request.path = input->path;
    request.filter = input->filter;
    request.label = input->label;
    const CaptureOutcome outcome = CaptureTree(tree_, scan_, request, port_, order_);

    ui_.messageBox(
        BuildCaptureSummary(outcome.folders, outcome.files, outcome.total, outcome.stopped),
        kCaptureSummaryCaption, MessageIcon::Information, MessageButtons::Ok);
    document_.modified = true;
    return outcome;
}

} // namespace zelvane
