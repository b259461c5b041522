// The Search command (Tree > Search...): the Search dialog edits the search options, then
// the Search Results window lists what the engine finds and reports the count.
//
// The command decides the order of the steps; the SearchPort only shows and asks. The
// desktop program implements the port with CSearch and CSearchResults.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "ui/ui_port.h"
#include "document/snapshot_tree.h"
#include "search/search_engine.h"
#include "search/search_options.h"

namespace zelvane {

// Command identifier of Tree > Search..., and the two dialog templates.
inline constexpr int kSearchCommandId = 271;
inline constexpr int kSearchDialogId = 272;
inline constexpr int kSearchResultsDialogId = 273;

inline constexpr std::u16string_view kSearchCaption = u"Search";
inline constexpr std::u16string_view kSearchResultsCaption = u"Search Results";
inline constexpr std::u16string_view kFillPatternText = u"Please, fill pattern!";
inline constexpr std::u16string_view kSearchErrorCaption = u"Error";
inline constexpr std::u16string_view kSearchInformationCaption = u"Information";

// "%i matches found." with the count.
std::u16string matchesFoundMessage(std::size_t count);

// What the Search dialog reads when the user presses Search: the pattern cut to its first
// 510 code units and the five boxes. The pattern is refused only when it is empty.
struct SearchDialogInput {
    std::u16string_view typed; // the edit's whole text
    bool matchCase = false;
    bool wholePatternOnly = false;
    bool localSearch = false;
    bool recursive = false;
    bool filesOnly = false;
};
// The options the dialog confirms, or nullopt when the pattern is empty (the dialog then
// shows kFillPatternText and stays open).
std::optional<SearchOptions> acceptSearchDialog(const SearchDialogInput& input);

class SearchPort {
public:
    virtual ~SearchPort() = default;
    // Runs the Search dialog modally, opened with current. Returns the options confirmed
    // with Search, or nullopt for Cancel. An empty pattern never comes back: the dialog
    // refuses it itself.
    virtual std::optional<SearchOptions> runSearchDialog(const SearchOptions& current) = 0;
    // Creates the Search Results window and shows it, with its two columns and no rows.
    virtual void openSearchResults() = 0;
    // Puts the rows in the list in their order, fits the columns when there are rows,
    // sizes the window to the columns (no wider than the screen) and fits the list.
    // results stays alive and unchanged until closeSearchResults().
    virtual void showSearchResults(const SearchResults& results) = 0;
    // A message box owned by the results window, with an OK button.
    virtual void searchResultsMessage(std::u16string_view text, std::u16string_view caption,
                                      MessageIcon icon) = 0;
    // Leaves the results window to the user until it is closed. Each double-click on the
    // list calls activated with the first selected row, or nullopt when none is selected.
    virtual void
    runSearchResults(const std::function<void(std::optional<std::size_t>)>& activated) = 0;
    // Ends the results window and destroys it.
    virtual void closeSearchResults() = 0;
};

// The whole command. options are the process-wide search options: replaced as a set when
// the dialog is confirmed, left alone when it is cancelled. Selecting a found node is the
// only change it makes to the tree.
void OnSearch(SearchPort& port, SnapshotTree& tree, SearchOptions& options);

// A double-click on a results row: makes the row's node the selected node of the tree.
// Nothing happens without a row.
void selectSearchResult(SnapshotTree& tree, const SearchResults& results,
                        std::optional<std::size_t> row);

} // namespace zelvane
