#include "search/search_command.h"

namespace zelvane {

std::u16string matchesFoundMessage(std::size_t count) {
    std::u16string text;
    for (char c : std::to_string(count)) {
        text.push_back(static_cast<char16_t>(c));
    }
    text += u" matches found.";
    return text;
}

std::optional<SearchOptions> acceptSearchDialog(const SearchDialogInput& input) {
    SearchOptions options;
    options.pattern = std::u16string(cutSearchPattern(input.typed));
    options.isLocalSearch = input.localSearch;
    options.isMatchCase = input.matchCase;
    options.isMatchWholePatternOnly = input.wholePatternOnly;
    options.isRecursiveSearch = input.recursive;
    options.isFilesOnly = input.filesOnly;
    // Only an empty text is refused; a pattern of spaces is searched for as typed.
    if (options.pattern.empty()) {
        return std::nullopt;
    }
    return options;
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

void OnSearch(SearchPort& port, SnapshotTree& tree, SearchOptions& options) {
    std::optional<SearchOptions> confirmed = port.runSearchDialog(options);
    if (!confirmed) {
        return; // Cancel: nothing stored, no search
    }
    // Replaced as a set before the search runs, whatever it finds.
    options = std::move(*confirmed);

    port.openSearchResults();
    SearchEngine engine;
    SearchResults results;
    engine.run(tree, options, results);
    port.showSearchResults(results);
    port.searchResultsMessage(matchesFoundMessage(engine.matchCount()), kSearchInformationCaption,
                              MessageIcon::Information);
    // With no match the window goes as soon as the message is dismissed.
    if (engine.matchCount() > 0) {
        port.runSearchResults(
            [&](std::optional<std::size_t> row) { selectSearchResult(tree, results, row); });
    }
    port.closeSearchResults();
}

} // namespace zelvane
