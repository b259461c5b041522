// The Search dialog (template 272): the pattern and the five search flags.
//
// It opens showing the options it is given. Search (also Enter) reads the pattern, cut to
// its first 510 characters, and the boxes; an empty pattern is refused with a message and
// the dialog stays open. Cancel changes nothing.
#pragma once

#include <QDialog>
#include <optional>

#include "search/search_command.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace zelvane {

// Control identifiers of template 272.
inline constexpr int IDC_SEARCH_PATTERN = 1001;
inline constexpr int IDC_SEARCH_MATCH_CASE = 1002;
inline constexpr int IDC_SEARCH_WHOLE_PATTERN = 1003;
inline constexpr int IDC_SEARCH_LOCAL = 1004;
inline constexpr int IDC_SEARCH_RECURSIVE = 1006;
inline constexpr int IDC_SEARCH_FILES_ONLY = 1007;
inline constexpr int IDC_SEARCH_OK = 1;     // "Search"
inline constexpr int IDC_SEARCH_CANCEL = 2; // "Cancel"

class CSearch : public QDialog {
    Q_OBJECT
public:
    // Opens showing dialog.options; Search fills them in (confirmSearchDialog), and ui
    // shows its refusal.
    CSearch(SearchDialog& dialog, UiPort& ui, QWidget* parent = nullptr);

    // The Search button's handler.
    void OnOK();

    QLineEdit* patternEdit() const { return pattern_; }
    // The check box with identifier id (1002, 1003, 1004, 1006, 1007), or nullptr.
    QCheckBox* checkBox(int id) const;
    QPushButton* searchButton() const { return search_; }
    QPushButton* cancelButton() const { return cancel_; }

private:
    void OnInitDialog(const SearchOptions& current);

    QLineEdit* pattern_ = nullptr;
    QCheckBox* matchCase_ = nullptr;
    QCheckBox* wholePattern_ = nullptr;
    QCheckBox* local_ = nullptr;
    QCheckBox* recursive_ = nullptr;
    QCheckBox* filesOnly_ = nullptr;
    QPushButton* search_ = nullptr;
    QPushButton* cancel_ = nullptr;
    SearchDialog& dialog_;
    UiPort& ui_;
};

} // namespace zelvane
