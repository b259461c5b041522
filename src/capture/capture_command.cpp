#include "capture/capture_command.h"

#include <cerrno>
#include <new>
#include <stdexcept>

#include "capture/directory_scanner.h"
#include "platform/directory.h"
#include "platform/drive_type.h"
#include "text/utf.h"

namespace zelvane {

ScanState& processScanState() {
    static ScanState state;
    return state;
}

int rootKindForPath(std::u16string_view path) {
    return platform::driveTypeOf(utf16ToUtf8(path)) == platform::DriveType::CdRom ? kKindCdRomRoot
                                                                                  : kKindDriveRoot;
}

int captureRootError(std::u16string_view path) {
    const platform::Directory root = platform::Directory::openPath(utf16ToUtf8(path));
    return root.isOpen() ? 0 : root.error();
}

CaptureOutcome captureTree(SnapshotTree& tree, ScanState& state, const CaptureRequest& request,
                           ScanObserver& observer, const TextOrder& order) {
    CaptureOutcome outcome;
    outcome.error = captureRootError(request.path);
    if (outcome.error != 0) {
        return outcome;
    }
    state.folders = 0;
    state.files = 0;
    const bool wasInOrder = tree.inOrder();
    bool scanning = false;
    try {
        state.filter = request.filter;
        outcome.root = tree.insertLast(kTopLevel, request.label);
        tree.setKind(outcome.root, rootKindForPath(request.path));

        scanning = true;
        observer.setScanningState(true);
        // The tree is hidden from here until the end of the sort: whoever watches it is
        // told once, at the end, instead of node by node (open branches and the selection
        // are kept).
        const SnapshotTree::BulkUpdate bulk(tree);
        observer.setPhase(ScanPhase::Scanning);
        observer.setProgressText(u"Scanning...");
        state.stopRequested = false;

        DirectoryScanner scanner(tree, state, observer, request.rules);
        outcome.total = scanner.ScanDirectory(request.path, outcome.root);
        outcome.members = scanner.members();

        tree.setTextAndBold(outcome.root, request.label);
        observer.setPhase(ScanPhase::Sorting);
        observer.setProgressText(u"Sorting...");
        sortTreeAfterCapture(tree, outcome.root, wasInOrder, order);
    } catch (const std::bad_alloc&) {
        outcome.error = ENOMEM;
    } catch (const std::length_error&) {
        outcome.error = ENOMEM;
    }
    if (outcome.error != 0) {
        // What the scan has freed on its way out is room enough to take the branch away.
        tree.remove(outcome.root);
        outcome.root = kNoNode;
        outcome.total = 0;
        if (wasInOrder) {
            tree.markInOrder(); // the root's insertion was the only change
        }
    }
    if (scanning) {
        observer.setScanningState(false);
    }

    outcome.folders = state.folders;
    outcome.files = state.files;
    outcome.stopped = state.stopRequested;
    return outcome;
}

} // namespace zelvane
