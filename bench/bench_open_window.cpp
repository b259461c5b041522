// Opening a large snapshot from the command line to a painted main window.
//
//   bench_open_window --generate FILE [NODES [LISTING]]
//                                               writes a snapshot of NODES nodes (1000000),
//                                               and their texts to LISTING, one a line
//                                               in UTF-8, for a peer tool to load
//   bench_open_window FILE                      starts the program as zelvane FILE does
//
// The second form runs the application object and the main window exactly as the program
// does, answers the "successfuly opened" box at once, and reports when the tree was first
// painted with the loaded snapshot, measured from the start of main(). It then times the
// expansion of the largest folder, a scroll to its end, a collapse and the * key on the
// root, each with its repaint, and prints the peak resident memory of the whole process. With
// --inserts it then compares 300,000 single insertions into the hidden tree (as a capture makes
// them) with the same insertions into an unwatched tree and inside one bulk update.
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScrollBar>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "app/main_app_qt.h"
#include "app/main_dlg_qt.h"
#include "app/snapshot_tree_model_qt.h"
#include "app/snapshot_tree_view_qt.h"
#include "bench_names.h"
#include "document/snapshot_file.h"
#include "document/tree_order.h"
#include "support/memory_settings.h"
#include "text/utf.h"

namespace {

using namespace zelvane;
using Clock = std::chrono::steady_clock;

using zelvane::bench::makeName;

// Three drives; folders of about 40 entries nested up to five deep, and one folder of
// 100,000 files, the kind of directory that makes a tree slow to expand. Sorted, as the
// program saves every snapshot: the load then checks the order all the way.
int generate(const char* path, int nodes, const char* listing) {
    SnapshotTree tree;
    std::vector<NodeId> folders;
    for (const char16_t* drive : {u"Backup drive", u"Photos disk", u"Install CD"}) {
        const NodeId root = tree.insertLast(kTopLevel, drive);
        tree.setTextAndBold(root, drive);
        tree.setKind(root, kKindDriveRoot);
        folders.push_back(root);
    }
    const NodeId big = tree.insertLast(folders[0], u" big folder");
    tree.setKind(big, kKindFolder);
    tree.setTextAndBold(big, u" big folder");
    for (int i = 0; i < 100000; ++i) {
        tree.setKind(tree.insertLast(big, makeName(i)), kKindMedia);
    }
    for (int i = static_cast<int>(tree.size()); i < nodes; ++i) {
        const NodeId parent = folders[static_cast<std::size_t>(i / 40) % folders.size()];
        if (i % 8 == 0 && tree.level(parent) < 5) {
            // GCC 12 at -O3 reports a bogus overlap (-Wrestrict) inside basic_string::insert,
            // which operator+ of a literal and a temporary string uses.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
            const std::u16string text = u" " + makeName(i);
#pragma GCC diagnostic pop
            const NodeId folder = tree.insertLast(parent, text);
            tree.setKind(folder, kKindFolder);
            tree.setTextAndBold(folder, text);
            folders.push_back(folder);
        } else {
            tree.setKind(tree.insertLast(parent, makeName(i)), i % 12 == 6 ? 8 : i % 12);
        }
    }
    SortTree(tree, TextOrder());
    if (listing != nullptr) {
        std::ofstream out(listing, std::ios::binary);
        walkPreOrder(
            tree, [&](NodeId node, std::size_t) { out << utf16ToUtf8(tree.text(node)) << '\n'; });
    }
    const WriteResult written = writeSnapshotFile(tree, path);
    std::printf("%zu nodes written to %s: %s\n", written.records, path,
                written.ok ? "ok" : "FAILED");
    return written.ok ? 0 : 2;
}

long peakResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Notes the first paint of the tree after it has been told to expect one.
class PaintWatch : public QObject {
public:
    bool armed = false;
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (armed && event->type() == QEvent::Paint) {
            painted = true;
            armed = false;
        }
        return false;
    }
};

// Answers every message box as soon as it is shown (with its default button), keeping the
// text of the first one.
class BoxAnswerer : public QObject {
public:
    QString firstText;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            if (auto* box = qobject_cast<QMessageBox*>(watched)) {
                if (firstText.isEmpty()) {
                    firstText = box->text();
                }
                QTimer::singleShot(0, box, &QMessageBox::accept);
            }
        }
        return false;
    }
};

double timedRepaint(CMainDlg& dlg, PaintWatch& watch, const std::function<void()>& action) {
    const auto start = Clock::now();
    watch.painted = false;
    watch.armed = true;
    action();
    dlg.findChild<SnapshotTreeView*>()->viewport()->update();
    while (!watch.painted) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return msSince(start);
}

} // namespace

int main(int argc, char** argv) {
    const auto start = Clock::now();
    if (argc >= 3 && std::strcmp(argv[1], "--generate") == 0) {
        return generate(argv[2], argc >= 4 ? std::atoi(argv[3]) : 1000000,
                        argc >= 5 ? argv[4] : nullptr);
    }
    CMainApp app(argc, argv);
    std::vector<std::u16string> arguments = app.commandArguments();
    const bool inserts = !arguments.empty() && arguments.front() == u"--inserts";
    if (inserts) {
        arguments.erase(arguments.begin());
    }
    if (arguments.size() != 1) {
        std::fprintf(stderr,
                     "usage: bench_open_window [--inserts] FILE | --generate FILE [NODES]\n");
        return 2;
    }
    // Remembered inputs in memory: the user's own settings stay untouched.
    MemorySettingsBackend settings;
    CMainDlg dlg(app.applicationBaseName(), settings);
    dlg.setCommandLine(arguments);
    BoxAnswerer answerer;
    app.installEventFilter(&answerer);
    PaintWatch watch;
    dlg.findChild<SnapshotTreeView*>()->viewport()->installEventFilter(&watch);

    double openMs = 0;
    double expandMs = 0;
    double scrollMs = 0;
    double collapseMs = 0;
    double starMs = 0;
    long starGrowthKb = 0;
    std::size_t most = 0;
    auto report = [&](std::size_t nodes, long peakKb) {
        std::printf("nodes loaded: %zu (%s)\n", nodes,
                    answerer.firstText.section('\n', 0, 0).toUtf8().constData());
        std::printf("open to painted window: %.0f ms\n", openMs);
        std::printf("expand a folder of %zu nodes: %.1f ms; scroll to its end: %.1f ms; "
                    "collapse: %.1f ms\n",
                    most, expandMs, scrollMs, collapseMs);
        std::printf("peak resident memory after opening: %.1f MB\n",
                    static_cast<double>(peakKb) / 1024);
        std::printf("the * key on the root: %.1f ms, peak resident memory %.1f MB more\n", starMs,
                    static_cast<double>(starGrowthKb) / 1024);
    };
    auto measure = [&] {
        // The window is up and the snapshot is loaded.
        // Painted at once: under the offscreen platform an update asked for right after the
        // start-up box has closed may wait for the next event to arrive.
        watch.armed = true;
        dlg.findChild<SnapshotTreeView*>()->viewport()->repaint();
        while (!watch.painted) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        openMs = msSince(start);

        SnapshotTree& tree = dlg.document().tree();
        NodeId biggest = kNoNode;
        for (NodeId c = tree.firstChild(tree.firstRoot()); c != kNoNode; c = tree.nextSibling(c)) {
            if (tree.childCount(c) > most) {
                most = tree.childCount(c);
                biggest = c;
            }
        }
        SnapshotTreeView* view = dlg.findChild<SnapshotTreeView*>();
        const QModelIndex root =
            dlg.findChild<SnapshotTreeView*>()->snapshotModel()->indexOf(tree.firstRoot());
        const QModelIndex folder =
            dlg.findChild<SnapshotTreeView*>()->snapshotModel()->indexOf(biggest);
        view->expand(root);
        expandMs = timedRepaint(dlg, watch, [&] { view->expand(folder); });
        scrollMs = timedRepaint(dlg, watch, [&] { view->scrollToBottom(); });
        collapseMs = timedRepaint(dlg, watch, [&] { view->collapse(folder); });
        // The * key on the root, which holds every node.
        view->collapse(root);
        view->setCurrentIndex(root);
        const long beforeStarKb = peakResidentKb();
        starMs = timedRepaint(dlg, watch, [&] {
            QKeyEvent star(QEvent::KeyPress, Qt::Key_Asterisk, Qt::NoModifier, "*");
            QApplication::sendEvent(view, &star);
        });
        starGrowthKb = peakResidentKb() - beforeStarKb;
        // A capture-like burst of single insertions while the tree is hidden, as the scan
        // makes them, against the same insertions into a tree that nobody watches.
        auto insertBurst = [](SnapshotTree& into) {
            const auto t0 = Clock::now();
            const NodeId root = into.insertLast(kTopLevel, u"capture");
            std::vector<NodeId> folders{root};
            for (int i = 0; i < 300000; ++i) {
                const NodeId parent = folders[static_cast<std::size_t>(i / 40) % folders.size()];
                const NodeId node = into.insertLast(parent, makeName(i));
                into.setKind(node, i % 8 == 0 ? kKindFolder : kKindOther);
                if (i % 8 == 0) {
                    // GCC 12 at -O3 reports a bogus overlap (-Wrestrict) inside
                    // basic_string::insert, which operator+ of a literal and a
                    // temporary string uses.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
                    into.setTextAndBold(node, u" " + makeName(i));
#pragma GCC diagnostic pop
                    folders.push_back(node);
                }
            }
            return msSince(t0);
        };
        const long openPeakKb = peakResidentKb();
        if (!inserts) {
            report(tree.size(), openPeakKb);
            dlg.done(0);
            return;
        }
        dlg.setScanningState(true);
        const double watchedMs = insertBurst(tree);
        dlg.setScanningState(false);
        double bulkMs = 0;
        {
            const auto t0 = Clock::now();
            {
                SnapshotTree::BulkUpdate bulk(tree);
                insertBurst(tree);
            }
            bulkMs = msSince(t0);
        }
        SnapshotTree unwatched;
        const double plainMs = insertBurst(unwatched);
        // Sorting the whole shown tree (every parent reordered) against the unwatched one.
        auto timedSort = [&](SnapshotTree& t) {
            const auto t0 = Clock::now();
            SortTree(t, TextOrder());
            dlg.findChild<SnapshotTreeView*>()->snapshotModel()->finishPendingLayoutChange();
            QApplication::processEvents();
            return msSince(t0);
        };
        // The same tree, unwatched: the same file and the same two bursts.
        SnapshotTree copy;
        readSnapshotFile(utf16ToUtf8(dlg.document().state().path), copy);
        insertBurst(copy);
        insertBurst(copy);
        const double sortShownMs = timedSort(tree);
        const double sortPlainMs = timedSort(copy);
        std::printf("sorting the shown tree of %zu nodes: %.0f ms (unwatched tree of %zu: %.0f "
                    "ms)\n",
                    tree.size(), sortShownMs, copy.size(), sortPlainMs);
        report(tree.size() - 600002, openPeakKb);
        std::printf("300,000 single insertions into the hidden tree: %.0f ms (unwatched tree: "
                    "%.0f ms; in one bulk update: %.0f ms)\n",
                    watchedMs, plainMs, bulkMs);
        std::printf("peak resident memory: %.1f MB\n",
                    static_cast<double>(peakResidentKb()) / 1024);
        dlg.done(0);
    };
    // What DoModal() does, in its two steps: the start-up sequence (which loads the file and
    // shows the "opened" box), then the modal run, in which the measurements start.
    dlg.OnInitDialog();
    QTimer::singleShot(0, &dlg, measure);
    dlg.exec();
    return 0;
}
