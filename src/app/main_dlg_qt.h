// The main window (template 102): the menu bar, the snapshot tree filling the client
// area, and the progress text and Stop button of a scan. It is the program's UiPort (every
// command talks to the user through it) and the scan's observer, and it routes every
// command identifier to its handler.
#pragma once

#include <QDialog>
#include <QIcon>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "capture/scan_state.h"
#include "document/document_state.h"
#include "document/snapshot_tree.h"
#include "document/ui_port.h"
#include "settings/settings_store.h"
#include "ui/dialog_units.h"
#include "ui/icon_set_qt.h"

class QAction;
class QMenu;
class QMenuBar;
class QPushButton;

namespace zelvane {

class CAboutDlg;
class CSearchResults;
class ProgressText;
class DocumentCommands;
class ItemCommands;
class SnapshotTreeModel;
class SnapshotTreeView;

class CMainDlg : public QDialog, public UiPort, public ScanObserver {
    Q_OBJECT
public:
    // applicationName: the executable's name, the caption of the boxes that give none.
    // settings: where the remembered inputs are loaded at start-up and saved at exit.
    CMainDlg(std::u16string applicationName, SettingsBackend& settings, QWidget* parent = nullptr);
    ~CMainDlg() override;

    // --- Set up before the window runs ---

    // The arguments after the program's name, the toolkit's own options taken out.
    void setCommandLine(std::vector<std::u16string> arguments);

    // Runs the start-up sequence, then the window modally until Exit ends it.
    int DoModal();
    // The start-up sequence; returns true (the focus goes to the tree).
    bool OnInitDialog();

    // --- The window's actions ---

    void OnOK();     // Enter: nothing
    void OnCancel(); // Escape, the close box, Alt+F4, the window menu's Close: Exit
    // A command from the menus, the right-click menu or the Stop button. During a scan
    // only the Stop button's command is carried out; the others are dropped.
    void OnCommand(int id);
    // A command of the window menu (Alt+Space).
    void OnSysCommand(int id);
    void OnTreeRightClick(const QPoint& globalPos);
    void OnTreeBeginLabelEdit();

    // Replaces the icon set with one of size pixels and shows it in the tree.
    void RebuildIconList(int size);
    // Sizes the tree to the whole client area, if the window is visible.
    void FitTreeToClient();

    // --- The handlers that OnCommand routes to ---
    void OnFileNew();
    void OnFileOpen();
    void OnFileSave();
    void OnFileSaveAs();
    void OnFileExit();
    void OnItemRename();
    void OnItemDelete();
    void OnItemProperties();
    void OnAddTree();
    void OnSearch();
    void OnStopScan();
    void OnView16x16();
    void OnView24x24();
    void OnView32x32();
    void OnView48x48();
    void OnHelpAbout();

    // --- UiPort ---
    MessageAnswer messageBox(std::u16string_view text, std::u16string_view caption,
                             MessageIcon icon, MessageButtons buttons) override;
    std::optional<ChosenFile> fileDialog(const FileDialogRequest& request) override;
    void setCaption(std::u16string_view caption) override;
    void endMainWindow(int result) override;
    void runAddTreeDialog(AddTreeDialog& dialog) override;
    void showItemProperties(ItemPropertiesDialog& dialog) override;
    void runRenameItem(RenameItemDialog& dialog) override;
    void runSearchDialog(SearchDialog& dialog) override;
    void openSearchResults() override;
    void showSearchResults(const SearchResults& results) override;
    void
    runSearchResults(const std::function<void(std::optional<std::size_t>)>& activated) override;
    void closeSearchResults() override;
    void runAboutBox(AboutBoxHandlers& handlers) override;
    void openWebPage(std::string_view address) override;
    void showLicenseWindow(std::u16string_view text) override;

    // --- ScanObserver: the scanning state of a capture ---

    // Tree hidden, progress text and Stop button shown (true); or the normal state.
    void setScanningState(bool scanning) override;
    // Handles the window's pending events once: it repaints, moves and resizes, and the
    // Stop button is heard; every other command is dropped (OnCommand).
    void pump() override;
    // Shows the text in the progress text at once, each of the scan's counts included.
    void setProgressText(std::u16string_view text) override;
    bool isScanning() const { return scanning_; }

    // --- What the other windows and the tests look at ---
    SnapshotTree& tree() { return tree_; }
    DocumentState& document() { return document_; }
    // The remembered Add Tree inputs, search options and installation directory.
    RememberedInputs& rememberedInputs() { return remembered_; }
    const IconSet& iconSet() const { return iconSet_; }
    const std::u16string& applicationName() const { return appName_; }
    SnapshotTreeView* treeView() const { return treeView_; }
    SnapshotTreeModel* treeModel() const { return model_; }
    QWidget* clientArea() const { return client_; }
    ProgressText* progressText() const { return progress_; }
    QPushButton* stopButton() const { return stop_; }
    QMenuBar* menuBar() const { return menuBar_; }
    QMenu* itemMenu() const { return itemMenu_; }
    QMenu* windowMenu() const { return windowMenu_; }
    // The Search Results window while the Search command shows it, else nullptr.
    CSearchResults* searchResults() const { return searchResults_.get(); }
    // The menu item with a command identifier (the View, File, ... items), or nullptr.
    QAction* commandAction(int id) const;
    // The window menu's item with a command identifier, or nullptr.
    QAction* windowMenuAction(int id) const;
    DialogBaseUnits dialogBaseUnits() const;

protected:
    void accept() override { OnOK(); }
    void reject() override { OnCancel(); }
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void CreateMenuBar();
    void CreateWindowMenu();
    void ShowWindowMenu();
    void CheckViewItem(int id);
    void OnViewSize(int id);
    // The window that owns a message box or dialog opened now: the modal window on top,
    // or this window.
    QWidget* topWindow();
    ItemCommands& itemCommands();

    SnapshotTree tree_;
    DocumentState document_;
    SettingsBackend& settings_;
    RememberedInputs remembered_;
    std::unique_ptr<DocumentCommands> documentCommands_;
    std::unique_ptr<ItemCommands> itemCommands_; // made when first used
    QIcon windowIcon_;
    IconSet iconSet_;

    QMenuBar* menuBar_ = nullptr;
    QMenu* itemMenu_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    QWidget* client_ = nullptr;
    SnapshotTreeModel* model_ = nullptr;
    SnapshotTreeView* treeView_ = nullptr;
    ProgressText* progress_ = nullptr;
    QPushButton* stop_ = nullptr;
    std::map<int, QAction*> commandActions_;
    std::map<int, QAction*> windowMenuActions_;
    std::unique_ptr<CSearchResults> searchResults_;

    std::vector<std::u16string> arguments_;
    std::u16string appName_;
    bool scanning_ = false;
    bool exitRequested_ = false;
};

} // namespace zelvane
