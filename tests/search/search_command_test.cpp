// The Search command through the scripted user interface.
#include <gtest/gtest.h>

#include "search/search_command.h"
#include "support/scripted_ui.h"

namespace zelvane {
namespace {

using testing::Lines;

class SearchCommandTest : public ::testing::Test {
protected:
    SearchCommandTest() { tree.select(notes); }
    SnapshotTree tree;
    NodeId drive = tree.insertLast(kTopLevel, u"Drive"), folder = tree.insertLast(drive, u" Docs");
    NodeId readme = tree.insertLast(folder, u"ReadMe.txt");
    NodeId notes = tree.insertLast(drive, u"notes\t.txt");
    SearchOptions options{u"old", true, true, true, false, true};
    testing::ScriptedUi ui;
};

// Cancel keeps the options; an empty pattern is refused, spaces are a pattern; the boxes
// replace the options as a set; with nothing matched the window closes without running.
TEST_F(SearchCommandTest, CancelEmptyPatternAndZeroMatches) {
    const SearchOptions before = options;
    ui.cancelSearch();
    OnSearch(ui, tree, options);
    EXPECT_EQ(options, before);
    ui.search({{u"", true, true, true, true, true}, {u"  ", false, false, false, false, false}});
    OnSearch(ui, tree, options);
    EXPECT_EQ(ui.transcript(),
              (Lines{"search \"old\" [case whole local files] -> cancel",
                     "search \"old\" [case whole local files] -> search \"\" [case whole local "
                     "recursive files]",
                     "message \"Please, fill pattern!\" | \"Error\" | Exclamation | Ok -> Ok",
                     "search \"old\" [case whole local files] -> search \"  \" []", "results open",
                     "results 0 rows",
                     "message \"0 matches found.\" | \"Information\" | Information | Ok -> Ok",
                     "results close"}));
    EXPECT_EQ(options, (SearchOptions{u"  ", false, false, false, false, false}));
    EXPECT_EQ(tree.selected(), notes);
}

// Double-clicks select the row's node; one with no row selected, a row past the end or a row
// whose node went selects nothing. The pattern is cut to 510 units, never inside a character.
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
    ui.clearTranscript(); // one match is enough for the window to stay
    ui.search({{u"readme.TXT", false, true, false, true, false}}).results({});
    ui.search({{std::u16string(509, u'x') + u"\U0001F600", false, false, false, true, false}});
    OnSearch(ui, tree, options);
    EXPECT_EQ(ui.transcript().at(4), "results run");
    OnSearch(ui, tree, options);
    EXPECT_EQ(options.pattern, std::u16string(509, u'x'));
    EXPECT_EQ(matchesFoundMessage(1234567), u"1234567 matches found.");
    const SearchResults results = searchTree(tree, {u"t", false, false, false, true, false});
    selectSearchResult(tree, results, 0);
    EXPECT_EQ(tree.selected(), readme);
    tree.remove(notes);
    selectSearchResult(tree, results, 1);
    EXPECT_EQ(tree.selected(), readme);
}

} // namespace
} // namespace zelvane
