// Renders the README's pictures of every window into a folder, with the program's own
// windows over a small demonstration snapshot. Run by tools/screenshots.sh.
//
//   zelvane_screenshots OUTPUT_DIR LICENSE_FILE [ARCHIVES_SNAPSHOT]
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "about/about_command.h"
#include "app/command_ids.h"
#include "app/main_dlg_qt.h"
#include "app/snapshot_tree_model_qt.h"
#include "app/snapshot_tree_view_qt.h"
#include "capture/classification.h"
#include "document/tree_order.h"
#include "items/item_commands.h"
#include "support/memory_settings.h"
#include "ui/about_dlg_qt.h"
#include "ui/add_folder_location_qt.h"
#include "ui/item_dialogs_qt.h"
#include "ui/search_dialog_qt.h"
#include "ui/search_results_window_qt.h"
#include "ui/text_qt.h"

namespace {

using namespace zelvane;

QString outputDir;
int failures = 0;

// The main window's menu item with the command identifier id.
QAction* command(CMainDlg& dlg, int id) {
    return dlg.findChild<QAction*>(QStringLiteral("command_%1").arg(id));
}

void save(QWidget& window, const QString& name) {
    window.show();
    QApplication::processEvents();
    if (!window.grab().save(outputDir + "/" + name)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(name));
        ++failures;
    } else {
        std::printf("%s/%s\n", qPrintable(outputDir), qPrintable(name));
    }
}

void savePicture(const QPixmap& picture, const QString& name) {
    if (!picture.save(outputDir + "/" + name)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(name));
        ++failures;
    } else {
        std::printf("%s/%s\n", qPrintable(outputDir), qPrintable(name));
    }
}

// The main window with its View menu open, the menu drawn where it pops up (past the
// window's right edge, as beside a real window).
void viewMenuOpen(CMainDlg& dlg) {
    dlg.resize(480, 300);
    dlg.show();
    QApplication::processEvents();
    QAction* view = nullptr;
    auto* bar = dlg.findChild<QMenuBar*>();
    for (QAction* menu : bar->actions()) {
        if (menu->menu() != nullptr && menu->text() == QStringLiteral("&View")) {
            view = menu;
        }
    }
    bar->setActiveAction(view);
    QApplication::processEvents();
    QWidget* popup = QApplication::activePopupWidget();
    if (view == nullptr || popup == nullptr) {
        std::fprintf(stderr, "the View menu did not open\n");
        ++failures;
        return;
    }
    const QRect window = dlg.geometry();
    const QRect menu = popup->geometry();
    const QRect all = window.united(menu);
    QPixmap picture(all.size());
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.drawPixmap(window.topLeft() - all.topLeft(), dlg.grab());
    painter.drawPixmap(menu.topLeft() - all.topLeft(), popup->grab());
    painter.end();
    popup->close();
    savePicture(picture, "menu-view-open.png");
}

// The message box that show opens, as the window shows it.
void boxPicture(const QString& name, const std::function<void()>& show) {
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            poll.stop();
            QApplication::processEvents();
            savePicture(box->grab(), name);
            box->button(box->buttons().size() == 1 ? QMessageBox::Ok : QMessageBox::No)->click();
        }
    });
    poll.start(10);
    show();
}

// The warning before a folder is deleted, and the address of a web page that no browser
// could open.
void messageBoxes(CMainDlg& dlg) {
    boxPicture("message-box.png", [&] {
        dlg.messageBox(deleteWarningText(kKindFolder, u" Music"), u"Warning",
                       MessageIcon::Exclamation, MessageButtons::YesNo);
    });
    dlg.setUrlOpener([](const QUrl&) { return false; });
    boxPicture("about-no-browser.png", [&] { dlg.openWebPage(kZelvaneHomePage); });
}

struct Demo {
    NodeId music = kNoNode;
    NodeId selected = kNoNode;   // intro.mp3
    NodeId properties = kNoNode; // report.txt
};

NodeId folder(SnapshotTree& tree, NodeId parent, const char16_t* name) {
    const std::u16string text = std::u16string(u" ") + name;
    const NodeId node = tree.insertLast(parent, text);
    tree.setKind(node, kKindFolder);
    tree.setTextAndBold(node, text);
    return node;
}

NodeId file(SnapshotTree& tree, NodeId parent, const char16_t* name) {
    const NodeId node = tree.insertLast(parent, name);
    const NameParts parts = splitExtension(name);
    tree.setKind(node, classifyFile(parts.base, parts.extension));
    return node;
}

NodeId drive(SnapshotTree& tree, const char16_t* name, int kind) {
    const NodeId node = tree.insertLast(kTopLevel, name);
    tree.setKind(node, kind);
    tree.setTextAndBold(node, name);
    return node;
}

// A backup disk with every kind of node, and a CD.
Demo buildDemo(SnapshotTree& tree) {
    Demo demo;
    const NodeId disk = drive(tree, u"Backup disk", kKindDriveRoot);
    const NodeId documents = folder(tree, disk, u"Documents");
    file(tree, folder(tree, documents, u"Letters"), u"to the bank.txt");
    for (const char16_t* name : {u"budget.xls", u"cv.doc", u"manual.pdf"}) {
        file(tree, documents, name);
    }
    demo.properties = file(tree, documents, u"report.txt");
    demo.music = folder(tree, disk, u"Music");
    file(tree, folder(tree, demo.music, u"Albums"), u"README.TXT");
    demo.selected = file(tree, demo.music, u"intro.mp3");
    for (const char16_t* name : {u"readme first.txt", u"Readme.lnk", u"holiday readme.jpg"}) {
        file(tree, demo.music, name);
    }
    for (const char16_t* name : {u"Photos", u"Programs", u"System"}) {
        file(tree, folder(tree, disk, name), u"notes.txt");
    }
    for (const char16_t* name : {u"AUTORUN.INF", u"catalogue.zelv", u"Home page.url", u"readme.txt",
                                 u"setup.exe", u"kernel32.dll", u"photos.zip"}) {
        file(tree, disk, name);
    }
    file(tree, folder(tree, drive(tree, u"Install CD", kKindCdRomRoot), u"Setup"), u"setup.exe");
    return demo;
}

class NoHandlers : public AboutBoxHandlers {
    void onVisitHomePage() override {}
    void onVisitCompany() override {}
    void onLicense() override {}
};

// The main window during a real capture of a generated folder, grabbed once the scan has
// added 6000 entries; the dialog and the summary box are answered as they come.
void captureInProgress() {
    QTemporaryDir disk;
    for (int i = 0; i < 300; ++i) {
        const QString dir = disk.filePath(QStringLiteral("folder %1").arg(i));
        QDir().mkpath(dir);
        for (int f = 0; f < 40; ++f) {
            QFile(dir + QStringLiteral("/file %1.txt").arg(f)).open(QIODevice::WriteOnly);
        }
    }
    MemorySettingsBackend settings;
    CMainDlg dlg(u"zelvane", settings);
    dlg.OnInitDialog();
    dlg.resize(560, 420);
    bool saved = false;
    const auto* stop = dlg.findChild<QPushButton*>(QStringLiteral("control_%1").arg(IDC_STOP));
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* addTree = qobject_cast<CAddFolderLocation*>(modal)) {
            addTree->pathField()->setText(disk.path());
            addTree->okButton()->click();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            box->accept();
        } else if (!saved && stop->isVisible() &&
                   processScanState().folders + processScanState().files >= 6000) {
            saved = true;
            save(dlg, "capture-in-progress.png");
        }
    });
    poll.start(0);
    command(dlg, ID_TREE_ADDTREE)->trigger();
    if (!saved) {
        std::fprintf(stderr, "the capture ended before its picture was taken\n");
        ++failures;
    }
}

// Grabs the box captioned caption, once it is the modal window, and answers every box.
class BoxGrabber {
public:
    BoxGrabber(QString caption, QString name)
        : caption_(std::move(caption)), name_(std::move(name)) {
        QObject::connect(&poll_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* addTree = qobject_cast<CAddFolderLocation*>(modal)) {
                addTree->pathField()->setText(QStringLiteral("/media/backup"));
                addTree->okButton()->click();
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                if (box->windowTitle() == caption_ && !saved_) {
                    saved_ = true;
                    QApplication::processEvents();
                    savePicture(box->grab(), name_);
                }
                box->accept();
            }
        });
        poll_.start(10);
    }
    ~BoxGrabber() {
        if (!saved_) {
            std::fprintf(stderr, "no \"%s\" box for %s\n", qPrintable(caption_), qPrintable(name_));
            ++failures;
        }
    }

private:
    QTimer poll_;
    QString caption_, name_;
    bool saved_ = false;
};

// Add Tree of a folder that is not there, and a file that is not a snapshot opened (the
// same noise every time).
void refusedAndDamaged() {
    MemorySettingsBackend settings;
    CMainDlg dlg(u"zelvane", settings);
    dlg.OnInitDialog();
    {
        BoxGrabber grabber(QStringLiteral("I/O ERROR"), QStringLiteral("add-tree-io-error.png"));
        command(dlg, ID_TREE_ADDTREE)->trigger();
    }
    QTemporaryDir dir;
    QFile noise(dir.filePath(QStringLiteral("photos.zelv")));
    noise.open(QIODevice::WriteOnly);
    std::uint32_t state = 25;
    for (int i = 0; i < 40000; ++i) {
        state = state * 1664525u + 1013904223u;
        noise.putChar(static_cast<char>(state >> 24));
    }
    noise.close();
    BoxGrabber grabber(QStringLiteral("Warning"), QStringLiteral("damaged-file-warning.png"));
    dlg.document().OpenFromCommandLine(noise.fileName().toStdU16String());
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: zelvane_screenshots OUTPUT_DIR LICENSE_FILE [SNAPSHOT]\n");
        return 2;
    }
    outputDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outputDir);

    MemorySettingsBackend settings;
    CMainDlg dlg(u"zelvane", settings);
    dlg.OnInitDialog();
    SnapshotTree& tree = dlg.document().tree();
    const Demo demo = buildDemo(tree);
    dlg.resize(560, 520);
    auto* view = dlg.findChild<SnapshotTreeView*>();
    view->expand(view->snapshotModel()->indexOf(tree.firstRoot()));
    view->expand(view->snapshotModel()->indexOf(tree.parent(demo.properties)));
    tree.select(demo.selected);
    for (auto [id, name] : {std::pair{ID_VIEW_16X16, "main-window-16.png"},
                            std::pair{ID_VIEW_48X48, "main-window-48.png"}}) {
        command(dlg, id)->trigger();
        view->scrollTo(view->currentIndex());
        save(dlg, name);
    }
    command(dlg, ID_VIEW_16X16)->trigger();
    viewMenuOpen(dlg);
    messageBoxes(dlg);
    dlg.resize(560, 520);

    AddTreeDialog addTree{{u"/media/backup", u"*", u"Backup disk"}};
    CAddFolderLocation addTreeWindow(addTree, &dlg);
    addTreeWindow.OnInitDialog();
    save(addTreeWindow, "add-tree-dialog.png");
    captureInProgress();
    refusedAndDamaged();

    const TextOrder order;
    ItemCommands items(tree, dlg.document().state(), dlg, order);
    ItemPropertiesDialog properties = items.propertiesOf(demo.properties);
    CItemProperties propertiesWindow(
        properties, renderKindIcon(properties.kind, CItemProperties::standardIconSize()), &dlg);
    save(propertiesWindow, "item-properties.png");
    RenameItemDialog rename{u"report.txt"};
    CRenameItem renameWindow(rename, dlg, &dlg);
    save(renameWindow, "rename-item.png");

    SearchDialog search{{u"readme", false, false, false, true, true}};
    CSearch searchWindow(search, dlg, &dlg);
    save(searchWindow, "search-dialog.png");
    SearchResults results;
    SearchEngine().run(tree, search.options, results);
    // At the first and the largest View size: the columns fit their texts at both.
    for (auto [size, name] :
         {std::pair{16, "search-results.png"}, std::pair{48, "search-results-48.png"}}) {
        const IconSet icons = IconSet::build(size);
        CSearchResults resultsWindow(&dlg);
        resultsWindow.setIconSet(&icons);
        resultsWindow.open();
        resultsWindow.fill(results);
        resultsWindow.list()->setCurrentIndex(resultsWindow.model()->index(1, 0));
        save(resultsWindow, name);
    }

    NoHandlers handlers;
    CAboutDlg about(handlers, &dlg);
    save(about, "about.png");
    QFile license(QString::fromLocal8Bit(argv[2]));
    if (!license.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    CLicenseWnd licenseWindow(QString::fromUtf8(license.readAll()).toStdU16String(), &dlg);
    save(licenseWindow, "about-license.png");
    if (argc == 4) {
        // A capture with archive members (zelvane-cli scan --archives), opened, every branch
        // open; then the Search Results of a name that only archives hold.
        dlg.document().state().modified = false; // no "Save changes ?" for the demonstration
        {
            const BoxGrabber counts(QStringLiteral("Information"),
                                    QStringLiteral("archive-open.png"));
            dlg.document().OpenFromCommandLine(QString::fromLocal8Bit(argv[3]).toStdU16String());
        }
        QFile::remove(outputDir + "/archive-open.png"); // the counts' box, not a README picture
        view->expandAll();
        dlg.resize(480, 260);
        save(dlg, "archive-members.png");
        SearchDialog member{{u"song", false, false, false, true, true}};
        SearchResults found;
        SearchEngine().run(tree, member.options, found);
        const IconSet icons = IconSet::build(16);
        CSearchResults resultsWindow(&dlg);
        resultsWindow.setIconSet(&icons);
        resultsWindow.open();
        resultsWindow.fill(found);
        save(resultsWindow, "archive-search-results.png");
    }
    return failures == 0 ? 0 : 1;
}
