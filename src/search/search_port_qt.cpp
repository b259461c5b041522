#include "search/search_port_qt.h"

#include "search/search_dialog_qt.h"
#include "search/search_results_window_qt.h"

namespace zelvane {

QtSearchPort::QtSearchPort(QWidget* owner, QWidget* client, const IconSet* icons)
    : owner_(owner), client_(client), icons_(icons) {}

QtSearchPort::~QtSearchPort() = default;

std::optional<SearchOptions> QtSearchPort::runSearchDialog(const SearchOptions& current) {
    CSearch dialog(current, owner_);
    dialog.setMessageBoxFunction(messageBox_);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.confirmed();
}

void QtSearchPort::openSearchResults() {
    results_ = std::make_unique<CSearchResults>(owner_);
    results_->setWindowModality(Qt::ApplicationModal);
    results_->setIconSet(icons_);
    QWidget* anchor = client_ != nullptr ? client_ : owner_;
    if (anchor != nullptr) {
        results_->setOrigin(anchor->mapToGlobal(QPoint(0, 0)));
    }
    results_->open();
}

void QtSearchPort::showSearchResults(const SearchResults& results) {
    if (results_) {
        results_->fill(results);
    }
}

void QtSearchPort::searchResultsMessage(std::u16string_view text, std::u16string_view caption,
                                        MessageIcon icon) {
    QWidget* owner = results_ ? static_cast<QWidget*>(results_.get()) : owner_;
    messageBox_(owner, text, caption, icon, MessageButtons::Ok);
}

void QtSearchPort::runSearchResults(
    const std::function<void(std::optional<std::size_t>)>& activated) {
    if (!results_) {
        return;
    }
    results_->setActivatedHandler(activated);
    results_->exec();
    results_->setActivatedHandler(nullptr);
}

void QtSearchPort::closeSearchResults() {
    if (results_) {
        results_->hide();
        results_.reset();
    }
}

} // namespace zelvane
