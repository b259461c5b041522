// The Search command through the scripted user interface.
#include <gtest/gtest.h>

#include "search/search_command.h"
#include "support/scripted_ui.h"

namespace zelvane {
namespace {

using testing::Lines;
using testing::ScriptedUi;

class SearchCommandTest : public ::testing::Test {
protected:
    SearchCommandTest() {
        drive = tree.insertLast(kTopLevel, u"Drive");
        folder = tree.insertLast(drive, u" Docs");
        readme = tree.insertLast(folder, u"ReadMe.txt");
        notes = tree.insertLast(drive, u"notes\t.txt");
        tree.select(notes);
    }
    SnapshotTree tree;
    NodeId drive, folder, readme, notes;
    SearchOptions options{u"old", true, true, true, false, true};
    const SearchOptions before = options;
    ScriptedUi ui;
};

TEST_F(SearchCommandTest, CancelStoresNothingAndSearchesNothing) {
    ui.cancelSearch();
    OnSearch(ui, tree, options);
    EXPECT_EQ(ui.transcript(), (Lines{"search \"old\" [case whole local files] -> cancel"}));
    EXPECT_EQ(options, before);
    EXPECT_EQ(tree.selected(), notes);
}

// An empty pattern is refused, spaces are a pattern; the boxes replace the options as a set;
// with nothing matched the window closes without running.
TEST_F(SearchCommandTest, EmptyPatternRefusedThenZeroMatches) {
    ui.search({{u"", true, true, true, true, true}, {u"  ", false, false, false, false, false}});
    OnSearch(ui, tree, options);
    EXPECT_EQ(ui.transcript(),
              (Lines{"search \"old\" [case whole local files] -> search \"\" [case whole local "
                     "recursive files]",
                     "message \"Please, fill pattern!\" | \"Error\" | Exclamation | Ok -> Ok",
                     "search \"old\" [case whole local files] -> search \"  \" []", "results open",
                     "results 0 rows",
                     "message \"0 matches found.\" | \"Information\" | Information | Ok -> Ok",
                     "results close"}));
    EXPECT_EQ(options, (SearchOptions{u"  ", false, false, false, false, false}));
    EXPECT_EQ(tree.selected(), notes);
}

// Double-clicks select the row's node; one with no row selected, or a row past the end,
// selects nothing. The pattern is cut to 510 units without splitting a character.
TEST_F(SearchCommandTest, MatchesAreListedAndADoubleClickSelects) {
    tree.select(folder);
    ui.search({{u"T", false, false, false, true, false}}).results({1, std::nullopt, 2});
    OnSearch(ui, tree, options);
    EXPECT_EQ(ui.transcript(),
              (Lines{"search \"old\" [case whole local files] -> search \"T\" [recursive]",
                     "results open", "results 2 rows",
                     "message \"2 matches found.\" | \"Information\" | Information | Ok -> Ok",
                     "results run", "results double-click 1", "results double-click none",
                     "results double-click 2", "results close"}));
    EXPECT_EQ(ui.shownRows, (Lines{" Drive\\ Docs\tReadMe.txt", " Drive\tnotes\t.txt"}));
    EXPECT_EQ(tree.selected(), notes);

    // One match is enough for the window to stay.
    ui.clearTranscript();
    ui.search({{u"readme.TXT", false, true, false, true, false}}).results({});
    OnSearch(ui, tree, options);
    EXPECT_EQ(ui.transcript().at(4), "results run");
    ui.clearTranscript();
    ui.search({{std::u16string(509, u'x') + u"\U0001F600", false, false, false, true, false}});
    OnSearch(ui, tree, options);
    EXPECT_EQ(options.pattern, std::u16string(509, u'x'));
    EXPECT_EQ(ui.transcript().back(), "results close");
    EXPECT_EQ(matchesFoundMessage(1234567), u"1234567 matches found.");
}

TEST_F(SearchCommandTest, ARowWhoseNodeWentSelectsNothing) {
    options = {u"t", false, false, false, true, false};
    const SearchResults results = searchTree(tree, options);
    ASSERT_EQ(results.size(), 2u);
    tree.select(drive);
    selectSearchResult(tree, results, 0);
    EXPECT_EQ(tree.selected(), readme);
    tree.remove(notes);
    tree.select(folder);
    selectSearchResult(tree, results, 1);
    EXPECT_EQ(tree.selected(), folder);
}

} // namespace
} // namespace zelvane
