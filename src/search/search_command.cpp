#include "search/search_command.h"

namespace zelvane {

std::u16string matchesFoundMessage(std::size_t count) {
    return decimalText(count) + u" matches found.";
}

bool confirmSearchDialog(SearchDialog& dialog, const SearchDialogInput& input, UiPort& ui) {
    // Only an empty text is refused; a pattern of spaces is searched for as typed.
    if (input.typed.empty()) {
        ui.messageBox(kFillPatternText, kErrorCaption, MessageIcon::Exclamation,
                      MessageButtons::Ok);
        return false;
    }
    SearchOptions options;
    options.pattern = cutText(input.typed, kMaxSearchPatternLength);
    options.isLocalSearch = input.localSearch;
    options.isMatchCase = input.matchCase;
    options.isMatchWholePatternOnly = input.wholePatternOnly;
    options.isRecursiveSearch = input.recursive;
    options.isFilesOnly = input.filesOnly;
    dialog.options = std::move(options);
    dialog.accepted = true;
    return true;
}

void selectSearchResult(SnapshotTree& tree, const SearchResults& results,
                        std::optional<std::size_t> row) {
    if (!row || *row >= results.size()) {
        return;
    }
    const NodeId node = results.node(*row);
    if (tree.isValid(node)) {
        tree.select(node);
    }
}

void OnSearch(UiPort& ui, SnapshotTree& tree, SearchOptions& options) {
    SearchDialog dialog{options};
    ui.runSearchDialog(dialog);
    if (!dialog.accepted) {
        return; // Cancel: nothing stored, no search
    }
    // Replaced as a set before the search runs, whatever it finds.
    options = std::move(dialog.options);

    ui.openSearchResults();
    SearchEngine engine;
    SearchResults results;
    engine.run(tree, options, results);
    ui.showSearchResults(results);
    // Owned by the results window, which is on top now.
    ui.messageBox(matchesFoundMessage(engine.matchCount()), kInformationCaption,
                  MessageIcon::Information, MessageButtons::Ok);
    // With no match the window goes as soon as the message is dismissed.
    if (engine.matchCount() > 0) {
        ui.runSearchResults(
            [&](std::optional<std::size_t> row) { selectSearchResult(tree, results, row); });
    }
    ui.closeSearchResults();
}

} // namespace zelvane
