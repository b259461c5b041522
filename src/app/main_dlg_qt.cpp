#include "app/main_dlg_qt.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionMenuItem>
#include <QTimer>
#include <QVBoxLayout>

#include "app/command_ids.h"
#include "app/command_line.h"
#include "app/progress_text_qt.h"
#include "app/snapshot_tree_model_qt.h"
#include "app/snapshot_tree_view_qt.h"
#include "icons/view_sizes.h"
#include "items/item_commands.h"
#include "ui/dialog_layout_qt.h"
#include "ui/search_results_window_qt.h"
#include "ui/standard_dialogs_qt.h"
#include "ui/text_qt.h"

namespace zelvane {

namespace {

// Template 102, in dialog units.
constexpr int kTemplateWidth = 280;
constexpr int kTemplateHeight = 210;
constexpr DialogPlace kProgressPlace{7, 7, 266, 24};
constexpr DialogPlace kStopPlace{7, 32, 48, 14};

// A menu bar style that places the menus after the bar's first separator at the bar's right
// end and draws no separator; everything else is the application's style.
class RightJustifyingMenuBarStyle : public QProxyStyle {
public:
    RightJustifyingMenuBarStyle() : QProxyStyle(QApplication::style()->name()) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_DrawMenuBarSeparator) {
            return 1;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

CMainDlg::CMainDlg(std::u16string applicationName, SettingsBackend& settings, QWidget* parent)
    : QDialog(parent), settings_(settings),
      document_(*this, std::move(applicationName),
                [this] { saveSettings(settings_, remembered_); }),
      windowIcon_(applicationIcon()) {
    createControls();
}

CMainDlg::~CMainDlg() {
    // The view goes before the tree it shows.
    delete treeView_;
    treeView_ = nullptr;
    delete model_;
    model_ = nullptr;
}

void CMainDlg::createControls() {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Zelvane"));
    setObjectName(QStringLiteral("CMainDlg"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    createMenuBar();
    layout->setMenuBar(menuBar_);

    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    client_->installEventFilter(this);
    QApplication::instance()->installEventFilter(this); // every box and dialog that closes
    layout->addWidget(client_);

    // In template order: the tree is the first tab stop.
    model_ = new SnapshotTreeModel(document_.tree(), this);
    treeView_ = new SnapshotTreeView(client_);
    treeView_->setObjectName(QStringLiteral("control_%1").arg(IDC_TREE));
    treeView_->setSnapshotModel(model_);
    connect(treeView_, &SnapshotTreeView::rightClicked, this, &CMainDlg::OnTreeRightClick);
    connect(treeView_, &SnapshotTreeView::beginLabelEdit, this, &CMainDlg::OnTreeBeginLabelEdit);

    progress_ = new ProgressText(QStringLiteral("Console"), client_);
    progress_->setObjectName(QStringLiteral("control_%1").arg(IDC_PROGRESS));

    stop_ = new QPushButton(QStringLiteral("Stop"), client_);
    stop_->setObjectName(QStringLiteral("control_%1").arg(IDC_STOP));
    stop_->setAutoDefault(false);
    connect(stop_, &QPushButton::clicked, this, &CMainDlg::OnStopScan);

    const DialogBaseUnits base = baseUnitsOf(*this);
    place(progress_, kProgressPlace, base);
    // A fixed size: a new text repaints the label and lays nothing out again.
    progress_->setFixedSize(progress_->size());
    place(stop_, kStopPlace, base);
    const QSize client = templateSize(kTemplateWidth, kTemplateHeight, base);
    treeView_->setGeometry(0, 0, client.width(), client.height());
    // The template gives the client area; the menu bar comes on top of it.
    resize(client.width(), client.height() + menuBar_->sizeHint().height());

    createWindowMenu();
    // Alt+F4 closes the window even where no window manager provides it.
    auto* closeKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F4), this);
    connect(closeKey, &QShortcut::activated, this, [this] { OnSysCommand(SC_CLOSE); });
}

void CMainDlg::createMenuBar() {
    menuBar_ = new QMenuBar(this);
    menuBar_->setObjectName(QStringLiteral("menu_%1").arg(IDR_MAIN_MENU));
    // The menus after the bar's separator stand at its right end; they stay in this one bar,
    // so the arrow keys go through all of them.
    auto* style = new RightJustifyingMenuBarStyle;
    style->setParent(menuBar_);
    menuBar_->setStyle(style);
    auto addMenu = [this](const char* text) { return menuBar_->addMenu(QString::fromUtf8(text)); };
    // The usual keys of this desktop reach six commands too; they are shown in the menus
    // and, like every menu command, dropped during a scan.
    QMenu* file = addMenu("&File");
    addCommand(file, "&New", ID_FILE_NEW, &CMainDlg::OnFileNew, Qt::CTRL | Qt::Key_N);
    addCommand(file, "&Open...", ID_FILE_OPEN, &CMainDlg::OnFileOpen, Qt::CTRL | Qt::Key_O);
    addCommand(file, "&Save", ID_FILE_SAVE, &CMainDlg::OnFileSave, Qt::CTRL | Qt::Key_S);
    addCommand(file, "Save &As...", ID_FILE_SAVEAS, &CMainDlg::OnFileSaveAs);
    file->addSeparator();
    addCommand(file, "E&xit", ID_FILE_EXIT, &CMainDlg::OnFileExit, Qt::CTRL | Qt::Key_Q);
    // The Item menu doubles as the tree's right-click menu.
    itemMenu_ = addMenu("&Item");
    addCommand(itemMenu_, "&Rename", ID_ITEM_RENAME, &CMainDlg::OnItemRename);
    addCommand(itemMenu_, "&Delete", ID_ITEM_DELETE, &CMainDlg::OnItemDelete, Qt::Key_Delete);
    itemMenu_->addSeparator();
    addCommand(itemMenu_, "Properties...", ID_ITEM_PROPERTIES, &CMainDlg::OnItemProperties);
    QMenu* tree = addMenu("&Tree");
    addCommand(tree, "&Add Tree...", ID_TREE_ADDTREE, &CMainDlg::OnAddTree);
    tree->addSeparator();
    addCommand(tree, "&Search...", ID_TREE_SEARCH, &CMainDlg::OnSearch, Qt::CTRL | Qt::Key_F);
    menuBar_->addSeparator(); // View and Help stand at the right end
    QMenu* view = addMenu("&View");
    viewActions_ = {addCommand(view, "&16 x 16", ID_VIEW_16X16, &CMainDlg::OnView16x16),
                    addCommand(view, "&24 x 24", ID_VIEW_24X24, &CMainDlg::OnView24x24),
                    addCommand(view, "&32 x 32", ID_VIEW_32X32, &CMainDlg::OnView32x32),
                    addCommand(view, "&48 x 48", ID_VIEW_48X48, &CMainDlg::OnView48x48)};
    for (QAction* action : viewActions_) {
        action->setCheckable(true);
    }
    checkViewItem(kStartIconSize);
    QMenu* help = addMenu("&Help");
    addCommand(help, "&About...", ID_HELP_ABOUT, &CMainDlg::OnHelpAbout);
}

QAction* CMainDlg::addCommand(QMenu* menu, const char* text, int id, void (CMainDlg::*handler)(),
                              const QKeySequence& key) {
    QAction* action = menu->addAction(QString::fromUtf8(text));
    action->setShortcut(key);
    action->setData(id);
    action->setObjectName(QStringLiteral("command_%1").arg(id));
    connect(action, &QAction::triggered, this, handler);
    return action;
}

void CMainDlg::createWindowMenu() {
    windowMenu_ = new QMenu(this);
    windowMenu_->setObjectName(QStringLiteral("window_menu"));
    auto add = [this](const QString& text, int id) {
        QAction* action = windowMenu_->addAction(text);
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { OnSysCommand(id); });
        return action;
    };
    add(QStringLiteral("Mi&nimize"), SC_MINIMIZE);
    maximizeAction_ = add(QStringLiteral("Ma&ximize"), SC_MAXIMIZE);
    restoreAction_ = add(QStringLiteral("&Restore"), SC_RESTORE);
    add(QStringLiteral("&Close\tAlt+F4"), SC_CLOSE);
    // Maximize or Restore, whichever applies now.
    connect(windowMenu_, &QMenu::aboutToShow, this, [this] {
        const bool maximized = isMaximized();
        maximizeAction_->setVisible(!maximized);
        restoreAction_->setVisible(maximized);
    });
    auto* key = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    connect(key, &QShortcut::activated, this, &CMainDlg::showWindowMenu);
}

void CMainDlg::showWindowMenu() {
    // Maximize or Restore is chosen as the menu is about to show (createWindowMenu).
    if (scanning_) {
        // A menu that waits for its choice would hold the scan until it closes: during a
        // scan the window menu only opens and the scan's pumps serve it.
        windowMenu_->popup(mapToGlobal(QPoint(0, 0)));
        return;
    }
    windowMenu_->exec(mapToGlobal(QPoint(0, 0)));
}

void CMainDlg::setCommandLine(std::vector<std::u16string> arguments) {
    arguments_ = std::move(arguments);
}

int CMainDlg::DoModal() {
    OnInitDialog();
    return exec();
}

bool CMainDlg::OnInitDialog() {
    // 1. The controls exist already (createControls). 2. The window menu gets its
    // separator and About item.
    windowMenu_->addSeparator();
    QAction* about = windowMenu_->addAction(QStringLiteral("&About Zelvane..."));
    about->setData(IDM_ABOUTBOX);
    connect(about, &QAction::triggered, this, [this] { OnSysCommand(IDM_ABOUTBOX); });
    // 3. The window icon (the kind-0 picture), one icon at every size. A minimised window
    // is drawn by the window manager here, from this icon; there is nothing to paint.
    setWindowIcon(windowIcon_);
    // 4. Normal state.
    progress_->hide();
    stop_->hide();
    // 5. Centred on the screen, then shown.
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
    // 6. The remembered inputs.
    remembered_ = loadSettings(settings_);
    // 7. Icons at 16 pixels.
    RebuildIconList(kStartIconSize);
    // 8.
    FitTreeToClient();
    // 9. An empty untitled snapshot.
    OnFileNew();
    // 10. The snapshot named on the command line.
    if (const std::optional<std::u16string> file = snapshotToOpen(arguments_)) {
        document_.OpenFromCommandLine(*file);
    }
    // 11.
    treeView_->setFocus();
    return true;
}

void CMainDlg::OnOK() {}

void CMainDlg::OnCancel() {
    if (scanning_) {
        // The scan stops first; the capture finishes and then runs Exit.
        exitRequested_ = true;
        OnStopScan();
        return;
    }
    OnFileExit();
}

bool CMainDlg::commandHeard() {
    if (!scanning_) {
        return true;
    }
    // Dropped. A View item has toggled its own check mark on the way here: the marks go
    // back to the size that is shown.
    checkViewItem(iconSet_.size());
    return false;
}

void CMainDlg::OnSysCommand(int id) {
    if (isAboutSysCommand(id)) {
        OnHelpAbout(); // dropped during a scan, as Help > About... is
        return;
    }
    switch (id & 0xFFF0) {
    case SC_MINIMIZE:
        showMinimized();
        break;
    case SC_MAXIMIZE:
        showMaximized();
        break;
    case SC_RESTORE:
        showNormal();
        break;
    case SC_CLOSE:
        close();
        break;
    default:
        break;
    }
}

void CMainDlg::OnTreeRightClick(const QPoint& globalPos) {
    if (!commandHeard()) {
        return;
    }
    const QPoint point = treeView_->viewport()->mapFromGlobal(globalPos);
    const TreeHit hit = treeView_->hitTest(point);
    if (hit.node == kNoNode || !hit.onItem()) {
        return;
    }
    document_.tree().select(hit.node);
    itemMenu_->exec(globalPos);
}

void CMainDlg::OnTreeBeginLabelEdit() {
    if (!commandHeard()) {
        return;
    }
    // The text only ever changes through the Rename dialog.
    OnItemRename();
}

void CMainDlg::RebuildIconList(int size) {
    IconSet fresh = IconSet::build(size);
    model_->setIconSet(nullptr);
    iconSet_ = std::move(fresh);
    treeView_->setNodeIconSize(size);
    model_->setIconSet(&iconSet_);
    // The smallest window keeps every menu of the bar (none folded into its chevron) and one
    // row of the tree whole, with room for a horizontal scroll bar under it.
    setMinimumSize(menuBarRoom(), menuBar_->sizeHint().height() + treeView_->rowHeightHint() +
                                      style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

bool CMainDlg::ownsWindow(const QWidget* window) const {
    for (const QWidget* owner = window->parentWidget(); owner != nullptr;
         owner = owner->parentWidget()) {
        if (owner == this) {
            return true;
        }
    }
    return false;
}

int CMainDlg::menuBarRoom() const {
    // The bar's size hint counts only the menus its width shows now: each menu is measured
    // as the bar measures it, with the bar's margins and the spaces between the menus.
    const QStyle* style = menuBar_->style();
    const int spacing = style->pixelMetric(QStyle::PM_MenuBarItemSpacing, nullptr, menuBar_);
    int room = 2 * (style->pixelMetric(QStyle::PM_MenuBarPanelWidth, nullptr, menuBar_) +
                    style->pixelMetric(QStyle::PM_MenuBarHMargin, nullptr, menuBar_));
    for (const QAction* action : menuBar_->actions()) {
        if (action->menu() != nullptr) {
            QStyleOptionMenuItem item;
            item.initFrom(menuBar_);
            item.menuItemType = QStyleOptionMenuItem::Normal;
            item.text = action->text();
            const QSize text = item.fontMetrics.size(Qt::TextShowMnemonic, item.text);
            room += style->sizeFromContents(QStyle::CT_MenuBarItem, &item, text, menuBar_).width() +
                    spacing;
        }
    }
    return room + spacing;
}

void CMainDlg::FitTreeToClient() {
    if (!isVisible()) {
        return;
    }
    treeView_->resize(client_->size());
}

bool CMainDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_ && event->type() == QEvent::Resize) {
        FitTreeToClient();
    }
    // A box or dialog of this window that closes gives the focus back to the window below it,
    // also when the window it sat on closes with it, where the window manager would leave none
    // active.
    if (event->type() == QEvent::Hide && watched != this && qobject_cast<QDialog*>(watched) &&
        static_cast<QWidget*>(watched)->isWindow() && ownsWindow(static_cast<QWidget*>(watched))) {
        QTimer::singleShot(0, this, [this] {
            if (isVisible()) {
                topWindow()->activateWindow();
            }
        });
    }
    return QDialog::eventFilter(watched, event);
}

void CMainDlg::setScanningState(bool scanning) {
    if (!scanning) {
        // Whatever the scan's last pump left posted (a queued call of a menu command, a
        // deferred notification) is delivered while the scanning state still drops it,
        // so nothing chosen during the scan runs after it.
        QCoreApplication::sendPostedEvents();
    }
    scanning_ = scanning;
    treeView_->setVisible(!scanning);
    progress_->setVisible(scanning);
    stop_->setVisible(scanning);
    if (scanning) {
        // With its focus frame, as when the keyboard brings the focus there.
        setAttribute(Qt::WA_KeyboardFocusChange);
        stop_->setFocus(Qt::TabFocusReason);
    } else {
        treeView_->setFocus();
    }
}

QWidget* CMainDlg::topWindow() {
    QWidget* modal = QApplication::activeModalWidget();
    return modal != nullptr ? modal : this;
}

MessageAnswer CMainDlg::messageBox(std::u16string_view text, std::u16string_view caption,
                                   MessageIcon icon, MessageButtons buttons) {
    return showQtMessageBox(topWindow(), text, caption, icon, buttons);
}

std::optional<ChosenFile> CMainDlg::fileDialog(const FileDialogRequest& request) {
    return showQtFileDialog(this, request);
}

void CMainDlg::setCaption(std::u16string_view caption) {
    setWindowTitle(toQString(caption));
}

void CMainDlg::endMainWindow(int result) {
    done(result);
}

void CMainDlg::checkViewItem(int size) {
    for (QAction* action : viewActions_) {
        action->setChecked(viewCommandSize(action->data().toInt()) == size);
    }
}

void CMainDlg::setViewSize(int id) {
    if (commandHeard()) {
        const int size = viewCommandSize(id).value_or(kStartIconSize);
        checkViewItem(size);
        RebuildIconList(size);
    }
}

void CMainDlg::OnView16x16() {
    setViewSize(ID_VIEW_16X16);
}
void CMainDlg::OnView24x24() {
    setViewSize(ID_VIEW_24X24);
}
void CMainDlg::OnView32x32() {
    setViewSize(ID_VIEW_32X32);
}
void CMainDlg::OnView48x48() {
    setViewSize(ID_VIEW_48X48);
}

void CMainDlg::OnFileNew() {
    if (commandHeard()) {
        document_.OnFileNew();
    }
}
void CMainDlg::OnFileOpen() {
    if (commandHeard()) {
        document_.OnFileOpen();
    }
}
void CMainDlg::OnFileSave() {
    if (commandHeard()) {
        document_.OnFileSave();
    }
}
void CMainDlg::OnFileSaveAs() {
    if (commandHeard()) {
        document_.OnFileSaveAs();
    }
}
void CMainDlg::OnFileExit() {
    if (commandHeard()) {
        document_.OnFileExit();
    }
}

} // namespace zelvane
