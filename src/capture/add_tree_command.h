// The Add Tree command: the Add Tree dialog, one capture with its scanning state, the
// summary box and the modified flag. The dialog's own rules (how its fields are read on
// OK, what it remembers, what the folder chooser gives back) are here too, so that the
// desktop dialog and the tests share them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "capture/add_tree_inputs.h"
#include "capture/capture_command.h"
#include "capture/scan_state.h"
#include "document/document_state.h"
#include "document/snapshot_tree.h"
#include "document/tree_order.h"
#include "document/ui_port.h"
#include "text/text.h"

namespace zelvane {

inline constexpr std::u16string_view kAddTreeCaption = u"Add Tree";
inline constexpr std::u16string_view kChooseFolderCaption = u"Choose Folder";
inline constexpr std::u16string_view kChooseFolderLine = u"Selected Folder";
// A field of the Add Tree dialog is read into a buffer of 250 characters, terminator
// included.
inline constexpr std::size_t kAddTreeFieldMax = 249;

// "Add Tree".
struct AddTreeDialog {
    // In: the remembered inputs the fields open with. Out: the fields as OK read them
    // (each cut to 249 characters with cutText; nothing trimmed or checked), valid when
    // accepted is set.
    AddTreeInputs fields;
    bool accepted = false; // OK; false when the dialog was closed any other way
};

// The dialog's OK over the three fields as they stand.
void acceptAddTreeDialog(AddTreeDialog& dialog, std::u16string_view pathField,
                         std::u16string_view titleField, std::u16string_view filterField);

// The folder chooser's answer as it goes into the path field: one trailing "/" removed,
// except that the root of the file system stays "/".
std::u16string chosenFolderPath(std::u16string path);

class AddTreeCommand {
public:
    AddTreeCommand(SnapshotTree& tree, ScanState& scan, DocumentState& document,
                   AddTreeInputs& remembered, UiPort& ui, ScanObserver& observer,
                   const TextOrder& order);

    // The dialog; on OK the remembered inputs, the capture (counters, filter, the new root
    // with its kind, scanning state, scan, bold root, sort), the summary box and the
    // modified flag. A path that does not open is refused, and when memory runs out the
    // capture is taken away again: then the "I/O ERROR" box names the path and the reason
    // instead of the summary, and the modified flag stays as it was.
    // Returns the capture's outcome, or nullopt when the dialog was cancelled (then
    // nothing has changed).
    std::optional<CaptureOutcome> OnAddTree();

private:
    SnapshotTree& tree_;
    ScanState& scan_;
    DocumentState& document_;
    AddTreeInputs& remembered_;
    UiPort& ui_;
    ScanObserver& observer_;
    const TextOrder& order_;
};

} // namespace zelvane
