// The Add Tree command: the Add Tree dialog, one capture with its scanning state, the
// summary box and the modified flag. The dialog's own rules (how its fields are read on
// OK, what it remembers, what the folder chooser gives back) are here too, so that the
// desktop dialog and the tests share them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "ui/ui_port.h"
#include "capture/capture_command.h"
#include "capture/scan_state.h"
#include "capture/tree_order.h"
#include "document/document_state.h"
#include "document/snapshot_tree.h"
#include "capture/add_tree_inputs.h"

namespace zelvane {

inline constexpr std::u16string_view kAddTreeCaption = u"Add Tree";
inline constexpr std::u16string_view kChooseFolderCaption = u"Choose Folder";
inline constexpr std::u16string_view kChooseFolderLine = u"Selected Folder";
inline constexpr std::u16string_view kCaptureSummaryCaption = u"Information";
// A field of the Add Tree dialog is read into a buffer of 250 characters, terminator
// included.
inline constexpr std::size_t kAddTreeFieldMax = 249;

// What the Add Tree dialog gives the command after OK.
struct AddTreeDialogResult {
    std::u16string path;   // as typed, at most 249 characters
    std::u16string label;  // the title, or the path when the title was left empty
    std::u16string filter; // as typed

    bool operator==(const AddTreeDialogResult&) const = default;
};

// A field's text as OK reads it: its first 249 characters. A character that the cut would
// split in half (a surrogate pair) is left out whole.
std::u16string readAddTreeField(std::u16string_view text);

// The OK of the Add Tree dialog over the three fields as they stand: reads each one,
// remembers the path, the title as typed (possibly empty) and the filter, and gives the
// result with the label falling back to the path. Nothing is trimmed or checked.
AddTreeDialogResult acceptAddTreeFields(std::u16string_view pathField,
                                        std::u16string_view titleField,
                                        std::u16string_view filterField, AddTreeInputs& remembered);

// The folder chooser's answer as it goes into the path field: one trailing "/" removed,
// except that the root of the file system stays "/".
std::u16string chosenFolderPath(std::u16string path);

// The main window's side of the Add Tree command: the dialog and the scanning state.
class AddTreePort : public CapturePort {
public:
    // Runs the Add Tree dialog modally, its fields filled from remembered, which its OK
    // updates. nullopt when the dialog was closed any other way (nothing is remembered).
    virtual std::optional<AddTreeDialogResult> runAddTreeDialog(AddTreeInputs& remembered) = 0;
};

class AddTreeCommand {
public:
    AddTreeCommand(SnapshotTree& tree, ScanState& scan, DocumentState& document,
                   AddTreeInputs& remembered, UiPort& ui, AddTreePort& port,
                   const TextOrder& order);

    // The dialog; on OK the capture (counters, filter, the new root with its kind,
    // scanning state, scan, bold root, sort), the summary box and the modified flag.
    // Returns the capture's outcome, or nullopt when the dialog was cancelled (then
    // nothing has changed).
    std::optional<CaptureOutcome> OnAddTree();

private:
    SnapshotTree& tree_;
    ScanState& scan_;
    DocumentState& document_;
    AddTreeInputs& remembered_;
    UiPort& ui_;
    AddTreePort& port_;
    const TextOrder& order_;
};

} // namespace zelvane
