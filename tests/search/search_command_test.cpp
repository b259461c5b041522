// The Search command through the scripted user interface.
#include <gtest/gtest.h>

#include "search/search_command.h"
#include "support/scripted_ui.h"

namespace zelvane {
namespace {

std::string joined(const testing::Lines& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += line + '\n';
    }
    return out;
}

// Cancel keeps the options; an empty pattern is refused, spaces are a pattern; the boxes
// replace the options as a set; with nothing matched the window closes without running.
// Double-clicks select the row's node; one with no row selected, a row past the end or a row
// whose node went selects nothing. The pattern is cut to 510 units, never inside a character.
TEST(SearchCommand, RefusesEmptyPatternsListsMatchesAndSelectsOnDoubleClick) {
    SnapshotTree tree;
    const NodeId drive = tree.insertLast(kTopLevel, u"Drive");
    const NodeId folder = tree.insertLast(drive, u" Docs");
    const NodeId readme = tree.insertLast(folder, u"ReadMe.txt");
    const NodeId notes = tree.insertLast(drive, u"notes\t.txt");
    SearchOptions options{u"old", true, true, true, false, true};
    const SearchOptions before = options;
    testing::ScriptedUi ui;
    tree.select(notes);
    ui.cancelSearch();
    OnSearch(ui, tree, options);
    EXPECT_EQ(options, before);
    ui.search({{u"", true, true, true, true, true}, {u"  ", false, false, false, false, false}});
    OnSearch(ui, tree, options);
    EXPECT_EQ(options, (SearchOptions{u"  ", false, false, false, false, false}));
    EXPECT_EQ(tree.selected(), notes);
    tree.select(folder);
    ui.search({{u"T", false, false, false, true, false}}).results({1, std::nullopt, 2});
    OnSearch(ui, tree, options);
    EXPECT_EQ(joined(ui.transcript()),
              "search \"old\" [case whole local files] -> cancel\n"
              "search \"old\" [case whole local files] -> search \"\" [case whole local recursive "
              "files]\nmessage \"Please, fill pattern!\" | \"Error\" | Exclamation | Ok -> Ok\n"
              "search \"old\" [case whole local files] -> search \"  \" []\nresults open\n"
              "results 0 rows\nmessage \"0 matches found.\" | \"Information\" | Information | Ok "
              "-> Ok\nresults close\nsearch \"  \" [] -> search \"T\" [recursive]\nresults open\n"
              "results 2 rows\nmessage \"2 matches found.\" | \"Information\" | Information | Ok "
              "-> Ok\nresults run\nresults double-click 1\nresults double-click none\n"
              "results double-click 2\nresults close\n");
    EXPECT_EQ(joined(ui.shownRows), " Drive\\ Docs\tReadMe.txt\n Drive\tnotes\t.txt\n");
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
