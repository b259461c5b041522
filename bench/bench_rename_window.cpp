// A rename in the main window over a snapshot of ten million nodes, from the click on OK
// to the repainted tree.
//
//   bench_rename_window [NODES [SIBLINGS [RENAMES]]]   (10000000, 1000, 20; run offscreen)
//
// The snapshot is made in memory: one drive with folders of SIBLINGS files each (random
// names of about 20 characters, a fifth of them non-Latin), sorted as a capture leaves it.
// One folder is expanded and one of its files selected; then Item > Rename runs RENAMES
// times through the real dialog, typing a name that sends the file alternately to the top
// and to the bottom of its folder. Reported: the time from OK to the next paint of the
// tree, the least and the median, and the same after a load, when the first rename sorts
// the whole tree.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "app/main_app_qt.h"
#include "app/main_dlg_qt.h"
#include "app/snapshot_tree_model_qt.h"
#include "app/snapshot_tree_view_qt.h"
#include "document/snapshot_file.h"
#include "document/tree_order.h"
#include "support/memory_settings.h"
#include "ui/item_dialogs_qt.h"

namespace {

using namespace zelvane;
using Clock = std::chrono::steady_clock;

// The processor time of this thread: on a machine that others keep busy, the wall clock
// mostly measures waiting for a turn.
double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

std::u16string randomName(std::mt19937& random) {
    static const std::u16string latin =
        u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_- ";
    static const std::u16string other =
        u"\u0430\u0431\u0432\u0433\u0434\u03b1\u03b2\u03b3\u65e5\u672c";
    const std::u16string& alphabet = random() % 5 == 0 ? other : latin;
    std::u16string name;
    for (std::size_t i = 0, n = 14 + random() % 10; i < n; ++i) {
        name.push_back(alphabet[random() % alphabet.size()]);
    }
    return name + u".txt";
}

// Types the next name into the rename dialog and presses OK, noting the moment.
class RenameAnswerer : public QObject {
public:
    std::u16string next;
    Clock::time_point okAt{};
    double okCpuMs = 0;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            if (auto* dialog = qobject_cast<CRenameItem*>(watched)) {
                dialog->nameField()->setText(QString::fromStdU16String(next));
                QTimer::singleShot(0, dialog, [this, dialog] {
                    okAt = Clock::now();
                    okCpuMs = threadCpuMs();
                    dialog->okButton()->click();
                });
            }
        }
        return false;
    }
};

// Notes the time of the first paint of the tree after each OK.
class PaintWatch : public QObject {
public:
    bool armed = false;
    Clock::time_point paintedAt{};
    double paintedCpuMs = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (armed && event->type() == QEvent::Paint) {
            paintedAt = Clock::now();
            paintedCpuMs = threadCpuMs();
            armed = false;
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    const std::size_t nodes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10000000;
    const std::size_t siblings = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1000;
    const int renames = argc > 3 ? std::atoi(argv[3]) : 20;
    char* qtArgv[] = {argv[0], const_cast<char*>("-platform"), const_cast<char*>("offscreen"),
                      nullptr};
    int qtArgc = 3;
    CMainApp app(qtArgc, qtArgv);
    MemorySettingsBackend settings;
    CMainDlg dlg(app.applicationBaseName(), settings);
    auto measure = [&] {
        SnapshotTree& tree = dlg.document().tree();
        std::mt19937 random(17);
        NodeId file = kNoNode;
        NodeId folder = kNoNode;
        {
            const SnapshotTree::BulkUpdate bulk(tree);
            tree.reserve(nodes, nodes * 20);
            const NodeId root = tree.insertLast(kTopLevel, u"Generated disk");
            tree.setKind(root, kKindDriveRoot);
            while (tree.size() < nodes) {
                // GCC 12 at -O3 reports a bogus overlap (-Wrestrict) inside
                // basic_string::insert, which operator+ of a literal and a temporary
                // string uses.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
                folder = tree.insertLast(root, u" " + randomName(random));
#pragma GCC diagnostic pop
                tree.setKind(folder, kKindFolder);
                tree.setTextAndBold(folder, tree.text(folder));
                for (std::size_t i = 0; i + 1 < siblings && tree.size() < nodes; ++i) {
                    file = tree.insertLast(folder, randomName(random));
                }
            }
            SortTree(tree, TextOrder());
        }
        auto* view = dlg.findChild<SnapshotTreeView*>();
        SnapshotTreeModel* model = view->snapshotModel();
        view->expand(model->indexOf(tree.firstRoot()));
        view->expand(model->indexOf(folder));
        tree.select(file);
        QApplication::processEvents();

        RenameAnswerer answerer;
        app.installEventFilter(&answerer);
        PaintWatch watch;
        view->viewport()->installEventFilter(&watch);
        // Asks for a paint of the tree and waits for it: 10 s at most, or the bench fails.
        auto repaint = [&] {
            watch.armed = true;
            view->viewport()->update();
            const auto until = Clock::now() + std::chrono::seconds(10);
            while (watch.armed && Clock::now() < until) {
                QApplication::processEvents(QEventLoop::AllEvents, 5);
            }
            if (watch.armed) {
                std::fprintf(stderr, "bench_rename_window: the tree was not painted in 10 s\n");
                std::exit(1);
            }
        };
        // Nothing is painted before the window is shown on the screen.
        for (const auto until = Clock::now() + std::chrono::seconds(10);
             !(dlg.windowHandle() != nullptr && dlg.windowHandle()->isExposed()) &&
             Clock::now() < until;) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        struct Times {
            std::vector<double> wall, cpu; // sorted, each
        };
        auto timedRenames = [&](int count) {
            Times t;
            for (int i = 0; i < count; ++i) {
                answerer.next =
                    std::u16string(i % 2 == 0 ? u"aaa first " : u"zzz last ") + u"file.txt";
                dlg.OnItemRename(); // returns with the node renamed and the tree sorted
                repaint();
                t.wall.push_back(
                    std::chrono::duration<double, std::milli>(watch.paintedAt - answerer.okAt)
                        .count());
                t.cpu.push_back(watch.paintedCpuMs - answerer.okCpuMs);
            }
            std::sort(t.wall.begin(), t.wall.end());
            std::sort(t.cpu.begin(), t.cpu.end());
            return t;
        };
        // The repaint alone, for comparison: what any change of the shown rows costs.
        std::vector<double> paintCpu;
        for (int i = 0; i < renames; ++i) {
            const double before = threadCpuMs();
            repaint();
            paintCpu.push_back(watch.paintedCpuMs - before);
        }
        std::sort(paintCpu.begin(), paintCpu.end());
        std::printf("a repaint of the tree alone: processor time least %.2f ms, median %.2f ms\n",
                    paintCpu.front(), paintCpu[paintCpu.size() / 2]);
        const Times moved = timedRenames(renames);
        std::printf("%zu nodes, %zu siblings: rename from OK to repainted: least %.2f ms, median "
                    "%.2f ms, most %.2f ms (%d renames); processor time least %.2f ms, median "
                    "%.2f ms\n",
                    tree.size(), siblings, moved.wall.front(), moved.wall[moved.wall.size() / 2],
                    moved.wall.back(), renames, moved.cpu.front(), moved.cpu[moved.cpu.size() / 2]);
        // As after a load: the tree does not know it is in order, so the first rename sorts it.
        tree.insertLast(kTopLevel, u"Another root");
        const Times whole = timedRenames(1);
        std::printf("first rename after a change that can break the order (whole sort): %.0f ms, "
                    "processor time %.0f ms\n",
                    whole.wall.front(), whole.cpu.front());
        // After a load of the tree saved sorted: without the order (as the load was before
        // it checked) the first rename sorts the whole tree; with it, one node moves.
        SortTree(tree, TextOrder());
        const std::string path = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp")
                                     .append("/bench_rename_window.zelv");
        writeSnapshotFile(tree, path);
        const TextOrder order;
        for (const bool checked : {false, true}) {
            const auto start = Clock::now();
            const double startCpuMs = threadCpuMs();
            readSnapshotFile(path, tree, {}, checked ? &order : nullptr);
            const double loadCpuMs = threadCpuMs() - startCpuMs;
            const double loadMs =
                std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            NodeId root = tree.firstRoot();
            while (!tree.hasChildren(root)) {
                root = tree.nextSibling(root); // past "Another root"
            }
            const NodeId first = tree.firstChild(root);
            view->expand(model->indexOf(root));
            view->expand(model->indexOf(first));
            tree.select(tree.firstChild(first));
            QApplication::processEvents();
            const Times loaded = timedRenames(1);
            std::printf("load %s the order check: %.0f ms, processor time %.0f ms; first rename "
                        "after it: %.1f ms, processor time %.1f ms\n",
                        checked ? "with" : "without", loadMs, loadCpuMs, loaded.wall.front(),
                        loaded.cpu.front());
        }
        std::remove(path.c_str());
        dlg.done(0);
    };
    dlg.OnInitDialog();
    QTimer::singleShot(0, &dlg, measure);
    dlg.exec();
    return 0;
}
