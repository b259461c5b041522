// The Search command (Tree > Search...): the Search dialog edits the search options, then
// the Search Results window lists what the engine finds and reports the count.
//
// The command decides the order of the steps; the UiPort only shows and asks. The desktop
// program shows CSearch and CSearchResults.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "document/snapshot_tree.h"
#include "document/ui_port.h"
#include "search/search_engine.h"
#include "search/search_options.h"
#include "text/text.h"

namespace zelvane {

// Command identifier of Tree > Search..., and the two dialog templates.
inline constexpr int kSearchCommandId = 271;
inline constexpr int kSearchDialogId = 272;
inline constexpr int kSearchResultsDialogId = 273;

inline constexpr std::u16string_view kSearchCaption = u"Search";
inline constexpr std::u16string_view kSearchResultsCaption = u"Search Results";
inline constexpr std::u16string_view kFillPatternText = u"Please, fill pattern!";

// "%i matches found." with the count.
std::u16string matchesFoundMessage(std::size_t count);

// "Search".
struct SearchDialog {
    // In: the options the dialog opens with. Out: the options confirmed with Search, valid
    // when accepted is set.
    SearchOptions options;
    bool accepted = false; // Search; false for Cancel
};

// What the Search dialog reads when the user presses Search: the edit's text and the five
// boxes.
struct SearchDialogInput {
    std::u16string typed; // the edit's whole text
    bool matchCase = false;
    bool wholePatternOnly = false;
    bool localSearch = false;
    bool recursive = false;
    bool filesOnly = false;
};
// The dialog's Search button. The pattern is cut to 510 code units (cutText); an empty
// one gets kFillPatternText (caption "Error") and false, and the dialog stays open. Any
// other pattern, spaces included, replaces dialog.options as a set with the five boxes,
// sets dialog.accepted and gives true.
bool confirmSearchDialog(SearchDialog& dialog, const SearchDialogInput& input, UiPort& ui);

// The whole command. options are the process-wide search options: replaced as a set when
// the dialog is confirmed, left alone when it is cancelled. Selecting a found node is the
// only change it makes to the tree.
void OnSearch(UiPort& ui, SnapshotTree& tree, SearchOptions& options);

// A double-click on a results row: makes the row's node the selected node of the tree.
// Nothing happens without a row.
void selectSearchResult(SnapshotTree& tree, const SearchResults& results,
                        std::optional<std::size_t> row);

} // namespace zelvane
