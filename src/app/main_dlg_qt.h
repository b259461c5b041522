// The main window (template 102): the menu bar, the snapshot tree filling the client
// area, and the progress text and Stop button of a scan. It shows the Document and forwards
// the File menu to it; it is the program's UiPort (every command talks to the user through
// it) and the scan's observer. Each menu item is connected to its handler, and the item's
// command identifier is its data (QAction::data) and its object name ("command_269").
#pragma once

#include <QDialog>
#include <QIcon>
#include <QKeySequence>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/scan_state.h"
#include "document/document.h"
#include "document/ui_port.h"
#include "settings/settings_store.h"
#include "ui/icon_set_qt.h"

class QAction;
class QMenu;
class QMenuBar;
class QPushButton;
class QUrl;
class QWidget;

namespace zelvane {

class CAboutDlg;
class CSearchResults;
class ProgressText;
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
    // A command of the window menu (Alt+Space).
    void OnSysCommand(int id);
    void OnTreeRightClick(const QPoint& globalPos);
    void OnTreeBeginLabelEdit();

    // Replaces the icon set with one of size pixels and shows it in the tree.
    void RebuildIconList(int size);
    // Sizes the tree to the whole client area, if the window is visible.
    void FitTreeToClient();

    // --- The handlers of the menus, the right-click menu and the Stop button ---
    // During a scan only Stop is heard: each of the others drops its command then.
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
    // Stop button is heard; every other command is dropped (commandHeard).
    void pump() override;
    // Shows the text in the progress text at once, each of the scan's counts included.
    void setProgressText(std::u16string_view text) override;

    // The open snapshot, its state and its File commands.
    Document& document() { return document_; }
    // What asks the desktop to open a web page: QDesktopServices::openUrl, unless replaced.
    void setUrlOpener(std::function<bool(const QUrl&)> opener) { urlOpener_ = std::move(opener); }

protected:
    void accept() override { OnOK(); }
    void reject() override { OnCancel(); }
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createMenuBar();
    void createWindowMenu();
    void showWindowMenu();
    // Adds the menu item text with the command identifier id, connected to handler, with
    // the shortcut key if any.
    QAction* addCommand(QMenu* menu, const char* text, int id, void (CMainDlg::*handler)(),
                        const QKeySequence& key = {});
    // False during a scan, when the command at hand is dropped.
    bool commandHeard();
    // Checks the View item of size pixels, and only that one.
    void checkViewItem(int size);
    void setViewSize(int id);
    // The window that owns a message box or dialog opened now: the modal window on top,
    // or this window.
    QWidget* topWindow();
    ItemCommands& itemCommands();
    // The width that shows every menu of the bar, none folded into its chevron.
    int menuBarRoom() const;
    // True for a box or dialog owned by this window or by a window it owns.
    bool ownsWindow(const QWidget* window) const;

    SettingsBackend& settings_;
    RememberedInputs remembered_;
    Document document_;
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
    std::vector<QAction*> viewActions_; // in the order of viewSizes()
    QAction* maximizeAction_ = nullptr;
    QAction* restoreAction_ = nullptr;
    std::unique_ptr<CSearchResults> searchResults_;

    std::function<bool(const QUrl&)> urlOpener_;
    std::vector<std::u16string> arguments_;
    bool scanning_ = false;
    bool exitRequested_ = false;
};

} // namespace zelvane
