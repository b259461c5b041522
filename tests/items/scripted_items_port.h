// The scripted port with the two item dialogs, recorded in order with the message boxes:
// properties "kind 5 | name | parent | full path[ | no parent]", rename "shown name".
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "document/snapshot_tree.h"
#include "text/utf.h"
#include "items/items_port.h"
#include "support/scripted_port.h"

namespace zelvane::testing {

inline NodeId add(SnapshotTree& tree, NodeId parent, std::u16string_view text, int kind) {
    const NodeId node = tree.insertLast(parent, text);
    tree.setKind(node, kind);
    if (isContainerKind(kind)) {
        tree.setTextAndBold(node, text);
    }
    return node;
}

// The nodes under parent in order, "text/kind" with "*" when bold, children in braces.
inline std::string dump(const SnapshotTree& tree, NodeId parent = kTopLevel) {
    std::string out;
    for (NodeId n = tree.firstChild(parent); n != kNoNode; n = tree.nextSibling(n)) {
        out += (out.empty() ? "" : ",") + utf16ToUtf8(tree.text(n)) + "/" +
               std::to_string(tree.kind(n)) + (tree.isBold(n) ? "*" : "");
        out += tree.firstChild(n) == kNoNode ? "" : "{" + dump(tree, n) + "}";
    }
    return out;
}

enum class PropertiesAction { Close, Change, Parent };

// The user's turns in one run of the rename dialog: each typed text is confirmed with OK;
// nullopt is Cancel. Scripted with custom("properties", action) and custom("rename", turns).
using RenameTurns = std::vector<std::optional<std::u16string>>;

class ScriptedItemsPort : public ScriptedPort, public ItemsPort {
public:
    void showItemProperties(ItemPropertiesDialog& dialog) override {
        const std::any value = takeCustom(
            "properties", utf8ToUtf16("kind " + std::to_string(dialog.kind) + " | ") + dialog.name +
                              u" | " + dialog.parentName + u" | " + dialog.fullPath +
                              (dialog.parentEnabled ? u"" : u" | no parent"));
        if (const auto* action = std::any_cast<PropertiesAction>(&value)) {
            dialog.renameRequested = *action == PropertiesAction::Change;
            dialog.parentRequested = *action == PropertiesAction::Parent;
            EXPECT_FALSE(dialog.parentRequested && !dialog.parentEnabled) << "disabled pressed";
        }
    }

    void runRenameItem(RenameItemDialog& dialog) override {
        const std::any value = takeCustom("rename", dialog.name);
        if (const auto* turns = std::any_cast<RenameTurns>(&value)) {
            for (const std::optional<std::u16string>& turn : *turns) {
                if (!turn || confirmNewName(dialog, *turn, *this)) {
                    return;
                }
            }
            ADD_FAILURE() << "the rename dialog is still open after its scripted turns";
        }
    }
};

} // namespace zelvane::testing
