// The scripted port extended with the two item dialogs. The script says what the user does
// in each dialog; every dialog is recorded, in order with the message boxes, as it opened.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "items/items_port.h"
#include "support/scripted_port.h"

namespace zelvane::testing {

enum class PropertiesAction { Close, Change, Parent };

// The user's turns in one run of the rename dialog: each typed text is confirmed with OK;
// nullopt is Cancel. The dialog runs them in order until one is accepted or Cancel ends it.
using RenameTurns = std::vector<std::optional<std::u16string>>;

class ScriptedItemsPort : public ScriptedPort, public ItemsPort {
public:
    ScriptedItemsPort& properties(PropertiesAction action) {
        custom("properties", action);
        return *this;
    }
    ScriptedItemsPort& rename(RenameTurns turns) {
        custom("rename", std::move(turns));
        return *this;
    }
    ScriptedItemsPort& renameTo(std::u16string typed) { return rename({std::move(typed)}); }
    ScriptedItemsPort& renameCancel() { return rename({std::nullopt}); }

    // Every properties dialog, as the command filled it.
    std::vector<ItemPropertiesDialog> propertiesShown;
    // The name every rename dialog opened with.
    std::vector<std::u16string> renameShown;

    void showItemProperties(ItemPropertiesDialog& dialog) override {
        propertiesShown.push_back(dialog);
        std::u16string shown = dialog.name + u" | " + dialog.parentName + u" | " + dialog.fullPath;
        if (!dialog.parentEnabled) {
            shown += u" | no parent";
        }
        const std::any value = takeCustom("properties", shown);
        if (const auto* action = std::any_cast<PropertiesAction>(&value)) {
            dialog.renameRequested = *action == PropertiesAction::Change;
            dialog.parentRequested = *action == PropertiesAction::Parent;
            if (dialog.parentRequested && !dialog.parentEnabled) {
                ADD_FAILURE() << "\"Properties...\" pressed while disabled";
                dialog.parentRequested = false;
            }
        }
    }

    void runRenameItem(RenameItemDialog& dialog) override {
        renameShown.push_back(dialog.name);
        const std::any value = takeCustom("rename", dialog.name);
        const auto* turns = std::any_cast<RenameTurns>(&value);
        if (turns == nullptr) {
            return;
        }
        for (const std::optional<std::u16string>& turn : *turns) {
            if (!turn) {
                return;
            }
            if (confirmNewName(dialog, *turn, *this)) {
                return;
            }
        }
        ADD_FAILURE() << "the rename dialog is still open after its scripted turns";
    }
};

} // namespace zelvane::testing
