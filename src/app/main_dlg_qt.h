// The main window (template 102): the menu bar, the snapshot tree filling the client
// area, and the progress text and Stop button of a scan. It is the program's UiPort and
// routes every command through the one routing table (command_routing.h).
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QIcon>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "about/about_command.h"
#include "about/about_dlg_qt.h"
#include "app/command_routing.h"
#include "ui/dialog_units.h"
#include "ui/standard_dialogs_qt.h"
#include "ui/ui_port.h"
#include "capture/add_folder_location_qt.h"
#include "capture/add_tree_command.h"
#include "document/document_state.h"
#include "document/snapshot_tree.h"
#include "icons/icon_set_qt.h"
#include "items/items_port.h"
#include "settings/settings_store.h"

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;

namespace zelvane {

class DocumentCommands;
class ItemCommands;
class SnapshotTreeModel;
class SnapshotTreeView;

class CMainDlg : public QDialog,
                 public UiPort,
                 public AboutPort,
                 public ItemsPort,
                 public AddTreePort,
                 public MainCommands {
    Q_OBJECT
public:
    // applicationName: the executable's name, the caption of the boxes that give none.
    explicit CMainDlg(std::u16string applicationName, QWidget* parent = nullptr);
    ~CMainDlg() override;

    // --- Set up before the window runs ---

    // The arguments after the program's name, the toolkit's own options taken out.
    void setCommandLine(std::vector<std::u16string> arguments);
    // Loading at start-up and saving at exit of the remembered inputs (rememberedInputs()).
    void setSettingsFunctions(std::function<void()> load, std::function<void()> save);

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

    // --- Scanning state, for the capture ---

    // Tree hidden, progress text and Stop button shown (true); or the normal state.
    void SetScanningState(bool scanning);
    bool isScanning() const { return scanning_; }
    void SetProgressText(std::u16string_view text);
    // True once when the window was asked to close during a scan (the close stops the
    // scan; the capture runs Exit when it has finished).
    bool takeExitRequest();

    // --- UiPort ---
    MessageAnswer messageBox(std::u16string_view text, std::u16string_view caption,
                             MessageIcon icon, MessageButtons buttons) override;
    std::optional<ChosenFile> fileDialog(const FileDialogRequest& request) override;
    void setCaption(std::u16string_view caption) override;
    void endMainWindow(int result) override;

    // --- ItemsPort: the item dialogs, owned by this window ---
    void showItemProperties(ItemPropertiesDialog& dialog) override;
    void runRenameItem(RenameItemDialog& dialog) override;

    // --- AboutPort: the About box and its licence window, owned by this window ---
    void runAboutBox(AboutBoxHandlers& handlers) override;
    void openWebPage(std::string_view address) override;
    void showLicenseWindow(std::u16string_view text) override;
    // The About box while it runs, else nullptr.
    CAboutDlg* aboutBox() const { return aboutBox_; }

    // --- AddTreePort: the Add Tree dialog and the scanning state of a capture ---
    std::optional<AddTreeDialogResult> runAddTreeDialog(AddTreeInputs& remembered) override;
    void setScanningState(bool scanning) override;
    // Handles the window's pending events once: it repaints, moves and resizes, and the
    // Stop button is heard; every other command is dropped (OnCommand).
    void pump() override;
    // The scan's counts are shown at most every kProgressRepaintMs (the latest counts
    // win); "Scanning..." and "Sorting..." at once.
    void setProgressText(std::u16string_view text) override;
    static constexpr int kProgressRepaintMs = 15;

    // --- MainCommands: each routed identifier arrives at one of these ---
    void OnFileNew() override;
    void OnFileOpen() override;
    void OnFileSave() override;
    void OnFileSaveAs() override;
    void OnFileExit() override;
    void OnItemRename() override;
    void OnItemDelete() override;
    void OnItemProperties() override;
    void OnAddTree() override;
    void OnSearch() override;
    void OnStopScan() override;
    void OnView16x16() override;
    void OnView24x24() override;
    void OnView32x32() override;
    void OnView48x48() override;
    void OnHelpAbout() override;

    // --- What the other windows and the tests use ---
    SnapshotTree& tree() { return tree_; }
    DocumentState& document() { return document_; }
    // The remembered Add Tree inputs, search options and installation directory.
    RememberedInputs& rememberedInputs() { return remembered_; }
    DocumentCommands& documentCommands() { return *documentCommands_; }
    const IconSet& iconSet() const { return iconSet_; }
    const std::u16string& applicationName() const { return appName_; }
    SnapshotTreeView* treeView() const { return treeView_; }
    SnapshotTreeModel* treeModel() const { return model_; }
    QWidget* clientArea() const { return client_; }
    QLabel* progressText() const { return progress_; }
    QPushButton* stopButton() const { return stop_; }
    QMenuBar* menuBar() const { return menuBar_; }
    QMenu* itemMenu() const { return itemMenu_; }
    QMenu* windowMenu() const { return windowMenu_; }
    // The menu item with a command identifier (the View, File, ... items), or nullptr.
    QAction* commandAction(int id) const;
    // The window menu's item with a command identifier, or nullptr.
    QAction* windowMenuAction(int id) const;
    DialogBaseUnits dialogBaseUnits() const;

    // Test seams: the standard dialogs, the pop-up menus and the command target can be
    // replaced. The pop-up function shows a menu at a global position and returns when the
    // menu has closed.
    using PopupFunction = std::function<void(QMenu* menu, const QPoint& globalPos)>;
    void setMessageBoxFunction(MessageBoxFunction function);
    void setFileDialogFunction(FileDialogFunction function);
    void setPopupFunction(PopupFunction function);
    void setCommandTarget(MainCommands* target);
    void setOpenUrlFunction(OpenUrlFunction function) { openUrl_ = std::move(function); }
    void setAddTreeDialogFunction(AddTreeDialogFunction function);

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
    ItemCommands& itemCommands();

    SnapshotTree tree_;
    DocumentState document_;
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
    QLabel* progress_ = nullptr;
    QPushButton* stop_ = nullptr;
    std::map<int, QAction*> commandActions_;
    std::map<int, QAction*> windowMenuActions_;

    std::vector<std::u16string> arguments_;
    std::u16string appName_;
    std::function<void()> loadSettings_;
    std::function<void()> saveSettings_;
    MessageBoxFunction messageBox_ = showQtMessageBox;
    FileDialogFunction fileDialog_ = showQtFileDialog;
    PopupFunction popup_;
    MainCommands* commandTarget_ = this;
    AddTreeDialogFunction addTreeDialog_ = runAddFolderLocation;
    bool scanning_ = false;
    bool exitRequested_ = false;
    QElapsedTimer progressShown_; // since the progress text was last changed
    QString pendingProgress_;     // counts not shown yet
    CAboutDlg* aboutBox_ = nullptr;
    OpenUrlFunction openUrl_ = openUrlWithDesktop;
};

} // namespace zelvane
