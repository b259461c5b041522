// A capture through the desktop program's main window, offscreen.
//
//   bench_add_tree DIR                  Tree > Add Tree... of DIR, the dialog answered at
//                                       once; prints the time from OK to the summary box
//                                       and to the window painted with the new root
//   bench_add_tree --stop-after N DIR   the same, with the Stop button clicked (through
//                                       the event queue) once N entries are in; prints how
//                                       long Stop took to be heard and to end the capture
//
// The main window is the program's own, with its real message pumping: only the Add Tree
// dialog and the summary box are answered by the benchmark.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/command_ids.h"
#include "app/main_dlg_qt.h"
#include "app/snapshot_tree_view_qt.h"
#include "capture/scan_state.h"
#include "support/memory_settings.h"
#include "ui/add_folder_location_qt.h"

namespace {

using namespace zelvane;
using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

void postClick(QWidget* widget) {
    const QPointF at = QRectF(widget->rect()).center();
    const QPointF global = widget->mapToGlobal(at);
    QCoreApplication::postEvent(widget, new QMouseEvent(QEvent::MouseButtonPress, at, global,
                                                        Qt::LeftButton, Qt::LeftButton, {}));
    QCoreApplication::postEvent(widget, new QMouseEvent(QEvent::MouseButtonRelease, at, global,
                                                        Qt::LeftButton, Qt::NoButton, {}));
}

// The program's main window, noting when the scan hands over to the sort.
class BenchWindow : public CMainDlg {
public:
    explicit BenchWindow(SettingsBackend& settings) : CMainDlg(u"zelvane", settings) {}
    void setProgressText(std::u16string_view text) override {
        if (text == u"Sorting...") {
            sorting = Clock::now();
        }
        CMainDlg::setProgressText(text);
    }
    Clock::time_point sorting{};
};

// Answers the Add Tree dialog with the folder as soon as it is shown, noting when OK was
// pressed, and the first message box (the summary), noting when it appeared.
class Answerer : public QObject {
public:
    QString folder;
    Clock::time_point ok{}, summary{};
    QString summaryText;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show) {
            return false;
        }
        if (auto* addTree = qobject_cast<CAddFolderLocation*>(watched)) {
            addTree->pathField()->setText(folder);
            addTree->titleField()->clear();
            addTree->filterField()->setText(QStringLiteral("*"));
            QTimer::singleShot(0, addTree, [this, addTree] {
                ok = Clock::now();
                addTree->okButton()->click();
            });
        } else if (auto* box = qobject_cast<QMessageBox*>(watched)) {
            if (summary == Clock::time_point{}) {
                summary = Clock::now();
                summaryText = box->text();
            }
            QTimer::singleShot(0, box, &QMessageBox::accept);
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    long stopAfter = -1;
    QString dir;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == "--stop-after" && i + 1 < args.size()) {
            stopAfter = args[++i].toLong();
        } else {
            dir = args[i];
        }
    }
    if (dir.isEmpty()) {
        std::fprintf(stderr, "usage: bench_add_tree [--stop-after N] DIR\n");
        return 2;
    }

    MemorySettingsBackend settings;
    BenchWindow dlg(settings);
    Answerer answerer;
    answerer.folder = dir;
    app.installEventFilter(&answerer);
    Clock::time_point clicked{}, heard{};
    dlg.OnInitDialog();
    dlg.resize(640, 480);
    QApplication::processEvents();
    auto* stop = dlg.findChild<QPushButton*>(QStringLiteral("control_%1").arg(IDC_STOP));

    if (stopAfter >= 0) {
        // Timers run inside the scan's pumps: one clicks Stop, one sees it heard.
        auto* watch = new QTimer(&dlg);
        QObject::connect(watch, &QTimer::timeout, [&] {
            const ScanState& state = processScanState();
            if (!stop->isVisible()) {
                return;
            }
            if (clicked == Clock::time_point{} &&
                static_cast<long>(state.folders + state.files) >= stopAfter) {
                clicked = Clock::now();
                postClick(stop);
            } else if (clicked != Clock::time_point{} && heard == Clock::time_point{} &&
                       state.stopRequested) {
                heard = Clock::now();
                watch->stop();
            }
        });
        watch->start(0);
    }

    dlg.findChild<QAction*>(QStringLiteral("command_%1").arg(ID_TREE_ADDTREE))->trigger();
    dlg.findChild<SnapshotTreeView*>()->repaint();
    const Clock::time_point painted = Clock::now();

    const Clock::time_point ok = answerer.ok;
    const Clock::time_point summary = answerer.summary;
    std::printf("%s\n", answerer.summaryText.toUtf8().constData());
    std::printf("capture %.3f s (OK to summary; scan %.3f s), %.3f s to the painted window\n",
                msBetween(ok, summary) / 1000, msBetween(ok, dlg.sorting) / 1000,
                msBetween(ok, painted) / 1000);
    std::fflush(stdout);
    if (stopAfter >= 0) {
        if (clicked == Clock::time_point{}) {
            std::printf("the capture ended before %ld entries; Stop was not clicked\n", stopAfter);
        } else {
            std::printf("stop: heard %.1f ms after the click, scan ended %.1f ms after it, "
                        "summary (after sorting what was captured) %.1f ms after it\n",
                        heard == Clock::time_point{} ? -1.0 : msBetween(clicked, heard),
                        msBetween(clicked, dlg.sorting), msBetween(clicked, summary));
        }
    }
    return 0;
}
