// The two dialogs of the item commands, as the commands see them: each dialog is a struct
// with what it shows (filled by the command) and what the user did (filled by the dialog).
// The main window implements ItemsPort with the Qt dialogs CItemProperties and
// CRenameItem; tests implement it with a scripted double.
#pragma once

#include <string>
#include <string_view>

#include "ui/ui_port.h"

namespace zelvane {

// "Item Properties". Everything it shows is read-only; it never changes the snapshot.
struct ItemPropertiesDialog {
    // --- What the dialog shows ---
    // The node's kind: its icon (icon 254 + kind) at the standard icon size. A kind of 12
    // or more, possible in a loaded file, shows no icon.
    int kind = 0;
    std::u16string name;        // control 1001: the node's display name
    std::u16string parentName;  // control 1002: the parent's display name, or "*root*"
    bool parentEnabled = false; // control 1009 "Properties...": disabled for a root
    std::u16string fullPath;    // control 1006: the containers from the top down

    // --- What the user did (both stay false for "Close", Escape and the close box) ---
    bool renameRequested = false; // "Change..."
    bool parentRequested = false; // "Properties..."
};

// "Rename Item".
struct RenameItemDialog {
    // In: the name shown when the dialog opens. Out: the accepted name (at most 510
    // characters), valid when accepted is set.
    std::u16string name;
    bool accepted = false; // OK with a name that was accepted; false for Cancel
};

class ItemsPort {
public:
    virtual ~ItemsPort() = default;
    // Runs "Item Properties" modally and fills in what the user did.
    virtual void showItemProperties(ItemPropertiesDialog& dialog) = 0;
    // Runs "Rename Item" modally. Its OK hands the typed text to confirmNewName (below),
    // which refuses it with a message and keeps the dialog open, or accepts it and lets
    // the dialog close.
    virtual void runRenameItem(RenameItemDialog& dialog) = 0;
};

// The rename dialog's OK. An empty text gets "The name must not be empty!" and one that
// begins with a space "The name must not start with space!" (caption "Error", error icon,
// through ui); both return false and the dialog stays open. Any other text is accepted:
// dialog.name becomes its first 510 characters (fewer by one when the cut would split a
// surrogate pair), dialog.accepted is set, and the result is true.
bool confirmNewName(RenameItemDialog& dialog, std::u16string_view typed, UiPort& ui);

} // namespace zelvane
