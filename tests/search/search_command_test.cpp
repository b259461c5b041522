// The Search command through a scripted SearchPort: the order of its steps, what is shown,
// what happens to the options and to the tree's selection.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "search/search_command.h"

namespace zelvane {
namespace {

using ::testing::ElementsAre;

std::string utf8(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

std::string describe(const SearchOptions& o) {
    return "\"" + utf8(o.pattern) + "\"" + (o.isLocalSearch ? " local" : "") +
           (o.isMatchCase ? " case" : "") + (o.isMatchWholePatternOnly ? " whole" : "") +
           (o.isRecursiveSearch ? " recursive" : "") + (o.isFilesOnly ? " files" : "");
}

// Records every call as one line and answers from its script: the dialog's result, and
// the double-clicks the user makes while the results window is open.
class ScriptedSearchPort : public SearchPort {
public:
    std::optional<SearchOptions> dialogAnswer;
    std::vector<std::optional<std::size_t>> doubleClicks;
    std::vector<std::string> calls;
    const SearchResults* shown = nullptr;
    // The tree's selection after each double-click.
    std::vector<NodeId> selectionAfterClicks;
    const SnapshotTree* tree = nullptr;

    std::optional<SearchOptions> runSearchDialog(const SearchOptions& current) override {
        calls.push_back("dialog " + describe(current) + " -> " +
                        (dialogAnswer ? describe(*dialogAnswer) : "cancel"));
        return dialogAnswer;
    }
    void openSearchResults() override { calls.push_back("open results"); }
    void showSearchResults(const SearchResults& results) override {
        shown = &results;
        std::string line = "show";
        for (std::size_t i = 0; i < results.size(); ++i) {
            line += " [" + utf8(results.path(i)) + "|" + utf8(results.item(i)) + "]";
        }
        calls.push_back(line);
    }
    void searchResultsMessage(std::u16string_view text, std::u16string_view caption,
                              MessageIcon icon) override {
        calls.push_back("message \"" + utf8(text) + "\" | \"" + utf8(caption) + "\" | " +
                        (icon == MessageIcon::Information ? "Information" : "other"));
    }
    void
    runSearchResults(const std::function<void(std::optional<std::size_t>)>& activated) override {
        calls.push_back("run results");
        for (const auto& row : doubleClicks) {
            activated(row);
            selectionAfterClicks.push_back(tree->selected());
        }
    }
    void closeSearchResults() override {
        calls.push_back("close results");
        shown = nullptr;
    }
};

class SearchCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = tree.insertLast(kTopLevel, u"Disk");
        tree.setKind(root, kKindDriveRoot);
        folder = tree.insertLast(root, u" Docs");
        tree.setKind(folder, kKindFolder);
        readme = tree.insertLast(folder, u"ReadMe.txt");
        tree.setKind(readme, kKindDocument);
        notes = tree.insertLast(folder, u"notes.txt");
        tree.setKind(notes, kKindDocument);
        port.tree = &tree;
        stored.pattern = u"old";
    }

    SearchOptions confirmed(std::u16string pattern) {
        SearchOptions o;
        o.pattern = std::move(pattern);
        return o;
    }

    SnapshotTree tree;
    NodeId root, folder, readme, notes;
    ScriptedSearchPort port;
    SearchOptions stored;
};

TEST_F(SearchCommandTest, CancelStoresNothingAndSearchesNothing) {
    stored.isMatchCase = true;
    const SearchOptions before = stored;
    OnSearch(port, tree, stored);
    EXPECT_THAT(port.calls, ElementsAre("dialog \"old\" case recursive -> cancel"));
    EXPECT_EQ(stored, before);
}

TEST_F(SearchCommandTest, MatchesAreListedThenCountedThenLeftToTheUser) {
    port.dialogAnswer = confirmed(u".txt");
    OnSearch(port, tree, stored);
    EXPECT_THAT(port.calls,
                ElementsAre("dialog \"old\" recursive -> \".txt\" recursive", "open results",
                            "show [ Disk\\ Docs|ReadMe.txt] [ Disk\\ Docs|notes.txt]",
                            "message \"2 matches found.\" | \"Information\" | Information",
                            "run results", "close results"));
    EXPECT_EQ(stored.pattern, u".txt");
}

TEST_F(SearchCommandTest, NoMatchShowsTheCountAndClosesTheWindow) {
    SearchOptions answer = confirmed(u"nowhere");
    answer.isFilesOnly = true;
    answer.isRecursiveSearch = false;
    port.dialogAnswer = answer;
    OnSearch(port, tree, stored);
    EXPECT_THAT(port.calls,
                ElementsAre("dialog \"old\" recursive -> \"nowhere\" files", "open results", "show",
                            "message \"0 matches found.\" | \"Information\" | Information",
                            "close results"));
    // Confirmed options are kept even though nothing was found.
    EXPECT_EQ(stored, answer);
}

TEST_F(SearchCommandTest, DoubleClicksSelectNodesAndTheLastStaysSelected) {
    tree.select(root);
    port.dialogAnswer = confirmed(u"t");
    // notes.txt, nothing selected in the list, then ReadMe.txt.
    port.doubleClicks = {1, std::nullopt, 0};
    OnSearch(port, tree, stored);
    EXPECT_THAT(port.selectionAfterClicks, ElementsAre(notes, notes, readme));
    EXPECT_EQ(tree.selected(), readme);
}

TEST_F(SearchCommandTest, LocalSearchFollowsTheSelectionAtTheTime) {
    tree.select(readme);
    SearchOptions answer = confirmed(u"O");
    answer.isLocalSearch = true;
    port.dialogAnswer = answer;
    OnSearch(port, tree, stored);
    EXPECT_EQ(port.calls[2], "show [ Docs|notes.txt]");
}

} // namespace
} // namespace zelvane
