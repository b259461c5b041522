// The Add Tree dialog (template 136): the path, filter and title of a capture, with a
// "..." button that fills the path from a folder chooser. It remembers what OK confirmed
// and offers it again the next time; it checks nothing.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "capture/add_tree_command.h"
#include "capture/add_tree_inputs.h"

class QLineEdit;
class QPushButton;

namespace zelvane {

// Control identifiers of template 136.
inline constexpr int IDD_ADD_TREE = 136;
inline constexpr int IDC_ADD_TREE_PATH = 1001;
inline constexpr int IDC_ADD_TREE_TITLE = 1002;
inline constexpr int IDC_ADD_TREE_FILTER = 1006;
inline constexpr int IDC_ADD_TREE_BROWSE = 1008;
inline constexpr int IDC_OK = 1;
inline constexpr int IDC_CANCEL = 2;

// Shows a folder chooser owned by owner and returns the chosen folder's path, or nullopt
// when the user cancelled.
using FolderChooserFunction = std::function<std::optional<std::u16string>(QWidget* owner)>;

// The standard folder chooser: captioned "Choose Folder", with "Selected Folder" on the
// line above its folder view, folders only, nothing selected when it opens.
std::optional<std::u16string> showQtFolderChooser(QWidget* owner);

class CAddFolderLocation : public QDialog {
    Q_OBJECT
public:
    // Opens showing dialog.fields; OK fills them in (acceptAddTreeDialog).
    explicit CAddFolderLocation(AddTreeDialog& dialog, QWidget* parent = nullptr);

    // Fills the fields and runs the dialog; QDialog::Accepted after OK.
    int DoModal();
    // Fills the fields; the focus goes to the path field.
    bool OnInitDialog();
    // Reads the fields (each cut to 249 characters) and ends the dialog.
    void OnOK();
    // "...": puts the chosen folder into the path field; a cancelled chooser changes nothing.
    void OnBrowse();

    QLineEdit* pathField() const { return path_; }
    QLineEdit* titleField() const { return title_; }
    QLineEdit* filterField() const { return filter_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* browseButton() const { return browse_; }

    void setFolderChooser(FolderChooserFunction chooser) { chooser_ = std::move(chooser); }

protected:
    void accept() override { OnOK(); }

private:
    void createControls();

    AddTreeDialog& dialog_;
    FolderChooserFunction chooser_ = showQtFolderChooser;
    QLineEdit* path_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QLineEdit* title_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* browse_ = nullptr;
};

} // namespace zelvane
