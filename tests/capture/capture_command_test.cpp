#include "capture/capture_command.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture/temp_tree.h"
#include "text/utf.h"
#include "support/scripted_add_tree_port.h"

namespace zelvane {
namespace {

using testing::ScriptedAddTreePort;

// True when the last root is bold at the moment the progress text reads "Sorting...".
void watchRootAtSorting(ScriptedAddTreePort& port, const SnapshotTree& tree, bool& bold) {
    port.onProgress = [&port, &tree, &bold](std::u16string_view text) {
        if (text == u"Sorting...") {
            bold = tree.isBold(tree.childAt(kTopLevel, tree.childCount(kTopLevel) - 1));
        }
    };
}

CaptureRequest request(const std::string& path, std::u16string filter, std::u16string label) {
    return {utf8ToUtf16(path), std::move(filter), std::move(label)};
}

TEST(CaptureTree, RunsTheStepsInOrderAndLeavesASortedBoldRoot) {
    test::TempTree disk;
    disk.dir("Zeta");
    disk.dir("alpha");
    disk.file("Beta.txt", 100);
    disk.file("apple.txt", 23);
    disk.file("skip.bak", 1000);

    SnapshotTree tree;
    ScanState state;
    state.folders = 55; // left over from an earlier capture
    state.files = 66;
    state.stopRequested = true;
    ScriptedAddTreePort port;
    bool rootBoldWhenSorting = false;
    watchRootAtSorting(port, tree, rootBoldWhenSorting);
    const CaptureOutcome outcome =
        CaptureTree(tree, state, request(disk.path(), u"txt", u"My disk"), port, TextOrder(""));

    EXPECT_EQ(port.transcript(),
              (std::vector<std::string>{"scanning on", R"(progress "Scanning...")",
                                        R"(progress "Sorting...")", "scanning off"}));
    EXPECT_TRUE(rootBoldWhenSorting);
    EXPECT_EQ(outcome.folders, 2u);
    EXPECT_EQ(outcome.files, 2u);
    EXPECT_EQ(outcome.total, 123u);
    EXPECT_FALSE(outcome.stopped) << "the stop request is cleared before the scan";
    EXPECT_EQ(state.filter, u"txt");

    ASSERT_EQ(outcome.root, tree.firstRoot());
    EXPECT_EQ(tree.text(outcome.root), u"My disk");
    EXPECT_TRUE(tree.isBold(outcome.root));
    EXPECT_EQ(tree.kind(outcome.root), kKindDriveRoot);
    std::vector<std::u16string> texts;
    for (NodeId c = tree.firstChild(outcome.root); c != kNoNode; c = tree.nextSibling(c)) {
        texts.emplace_back(tree.text(c));
    }
    EXPECT_EQ(texts, (std::vector<std::u16string>{u" alpha", u" Zeta", u"apple.txt", u"Beta.txt"}));
    EXPECT_EQ(tree.selected(), kNoNode) << "the new root is not selected";
}

TEST(CaptureTree, ASecondCaptureJoinsTheRootsInTextOrderKeepingTheSelection) {
    test::TempTree disk;
    disk.dir("one");
    disk.file("one/x");
    disk.dir("two");
    disk.file("two/y");
    SnapshotTree tree;
    ScanState state;
    ScriptedAddTreePort port;
    const TextOrder order("");
    const CaptureOutcome first =
        CaptureTree(tree, state, request(disk.at("one"), u"*", u"b"), port, order);
    const NodeId x = tree.firstChild(first.root);
    tree.select(x);
    const CaptureOutcome second =
        CaptureTree(tree, state, request(disk.at("two"), u"*", u"A"), port, order);
    EXPECT_EQ(tree.firstRoot(), second.root);
    EXPECT_EQ(tree.nextSibling(second.root), first.root);
    EXPECT_EQ(second.folders, 0u) << "counters start again at zero";
    EXPECT_EQ(second.files, 1u);
    EXPECT_EQ(tree.selected(), x);
}

TEST(CaptureTree, AStoppedCaptureIsSortedAndReportedAsStopped) {
    test::TempTree disk;
    for (const char* folder : {"m", "k", "q"}) {
        disk.dir(folder);
        disk.manyFiles(folder, 20, "z");
    }
    SnapshotTree tree;
    ScanState state;
    ScriptedAddTreePort port;
    port.stopAtPump(state, 1);
    const CaptureOutcome outcome =
        CaptureTree(tree, state, request(disk.path(), u"*", u"r"), port, TextOrder(""));
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.folders, 1u);
    EXPECT_EQ(outcome.files, 20u);
    const NodeId folder = tree.firstChild(outcome.root);
    EXPECT_TRUE(tree.isBold(folder));
    EXPECT_EQ(tree.text(tree.firstChild(folder)), u"z0") << "sorted like a whole capture";
    EXPECT_EQ(tree.text(tree.childAt(folder, 1)), u"z1");
    EXPECT_EQ(port.transcript().back(), "scanning off");
}

} // namespace
} // namespace zelvane
