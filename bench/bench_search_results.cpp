// Filling the Search Results window with many rows.
//
//   bench_search_results [--no-peer] [ROWS...]      (default 100000 1000000)
//
// For each count, a snapshot of that many nodes (folders about 40 entries wide, nested up
// to six deep, generated names) is searched with a pattern that every node matches. The
// window is then opened and filled exactly as the Search command does, and the time from
// the start of the fill to the first paint of the filled list is printed with the widths
// the columns were given. The peer is the full measurement that a view makes when it asks
// every row for its size (Qt's size hint for a column, with no limit on the rows it
// measures): its time and widths follow in the same run, and the widths must be equal.
// It takes minutes for a million rows; --no-peer leaves it out.
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QHeaderView>
#include <QTreeView>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "bench_names.h"
#include "search/search_engine.h"
#include "ui/icon_set_qt.h"
#include "ui/search_results_window_qt.h"

namespace {

using namespace zelvane;

void buildTree(SnapshotTree& tree, int nodes) {
    std::vector<NodeId> folders;
    for (const char16_t* drive : {u"Backup drive", u"Photos disk", u"Install CD"}) {
        const NodeId root = tree.insertLast(kTopLevel, drive);
        tree.setTextAndBold(root, drive);
        tree.setKind(root, kKindDriveRoot);
        folders.push_back(root);
    }
    for (int i = static_cast<int>(tree.size()); i < nodes; ++i) {
        const NodeId parent = folders[static_cast<std::size_t>(i / 40) % folders.size()];
        if (i % 8 == 0 && tree.level(parent) < 6) {
            // GCC 12 at -O3 reports a bogus overlap (-Wrestrict) inside basic_string::insert,
            // which operator+ of a literal and a temporary string uses.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
            const std::u16string text = u" " + bench::makeName(i);
#pragma GCC diagnostic pop
            const NodeId folder = tree.insertLast(parent, text);
            tree.setKind(folder, kKindFolder);
            tree.setTextAndBold(folder, text);
            folders.push_back(folder);
        } else {
            tree.setKind(tree.insertLast(parent, bench::makeName(i)), i % 12 == 6 ? 8 : i % 12);
        }
    }
}

// The processor time of this thread, which a busy machine does not inflate.
double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted = true;
        }
        return false;
    }
};

void run(int nodes, const IconSet& icons, bool peer) {
    SnapshotTree tree;
    buildTree(tree, nodes);
    SearchResults results;
    SearchEngine().run(tree, SearchOptions{u""}, results);

    CSearchResults window;
    window.setIconSet(&icons);
    window.open();
    QApplication::processEvents();
    PaintWatch watch;
    window.list()->viewport()->installEventFilter(&watch);
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = threadCpuMs();
    window.fill(results);
    window.list()->viewport()->update();
    while (!watch.painted) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    const double fillMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    const double fillCpuMs = threadCpuMs() - cpuStart;
    const int item = window.list()->columnWidth(0);
    const int path = window.list()->columnWidth(1);

    if (!peer) {
        std::printf("%zu rows at %d px: fill to painted list %.0f ms (%.0f ms processor), "
                    "columns %d + %d\n",
                    results.size(), icons.size(), fillMs, fillCpuMs, item, path);
        return;
    }
    // The peer: every row measured.
    timer.restart();
    window.list()->header()->setResizeContentsPrecision(-1);
    const QAbstractItemView* view = window.list();
    const int fullItem = view->sizeHintForColumn(0);
    const int fullPath = view->sizeHintForColumn(1);
    const double fullMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;

    std::printf("%zu rows at %d px: fill to painted list %.0f ms (%.0f ms processor), "
                "columns %d + %d; every row measured %.0f ms, columns %d + %d (%s)\n",
                results.size(), icons.size(), fillMs, fillCpuMs, item, path, fullMs, fullItem,
                fullPath, item == fullItem && path == fullPath ? "equal" : "DIFFERENT");
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::vector<int> counts;
    bool peer = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-peer") == 0) {
            peer = false;
        } else {
            counts.push_back(std::atoi(argv[i]));
        }
    }
    if (counts.empty()) {
        counts = {100000, 1000000};
    }
    for (int size : {16, 48}) {
        const IconSet icons = IconSet::build(size);
        for (int count : counts) {
            run(count, icons, peer);
        }
    }
    return 0;
}
