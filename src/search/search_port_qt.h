// The Search command's port in the desktop program: CSearch for the options and
// CSearchResults for the rows, both owned by the main window.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "ui/standard_dialogs_qt.h"
#include "search/search_command.h"

namespace zelvane {

class CSearch;
class CSearchResults;
class IconSet;

class QtSearchPort : public SearchPort {
public:
    // owner: the main window; client: its client area, whose top-left corner is where the
    // results window goes; icons: the main window's icon set, borrowed (may be nullptr).
    QtSearchPort(QWidget* owner, QWidget* client, const IconSet* icons);
    ~QtSearchPort() override;

    std::optional<SearchOptions> runSearchDialog(const SearchOptions& current) override;
    void openSearchResults() override;
    void showSearchResults(const SearchResults& results) override;
    void searchResultsMessage(std::u16string_view text, std::u16string_view caption,
                              MessageIcon icon) override;
    void
    runSearchResults(const std::function<void(std::optional<std::size_t>)>& activated) override;
    void closeSearchResults() override;

    // Test seam: how the message boxes are shown (the Search dialog's own included).
    void setMessageBoxFunction(MessageBoxFunction function) { messageBox_ = std::move(function); }

    CSearchResults* resultsWindow() const { return results_.get(); }

private:
    QWidget* owner_;
    QWidget* client_;
    const IconSet* icons_;
    std::unique_ptr<CSearchResults> results_;
    MessageBoxFunction messageBox_ = showQtMessageBox;
};

} // namespace zelvane
