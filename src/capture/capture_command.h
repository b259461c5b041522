// One capture of a directory tree, from the new root to the sorted tree, as the Add Tree
// command makes it once its dialog has closed with OK. The dialog before it and the
// summary box after it belong to the caller.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "capture/scan_state.h"
#include "document/snapshot_tree.h"
#include "document/tree_order.h"

namespace zelvane {

struct CaptureRequest {
    std::u16string path;   // the directory, as typed
    std::u16string filter; // "*" for every file, else one extension without its dot
    std::u16string label;  // the root's text: the title, or the path when it was empty
    ScanRules rules = {};  // the command line's; the dialog has none
};

struct CaptureOutcome {
    NodeId root = kNoNode;
    std::uint64_t total = 0; // bytes in the captured files
    std::uint32_t folders = 0;
    std::uint32_t files = 0;
    std::uint64_t members = 0; // nodes added for archive members (rules.archiveDepth)
    bool stopped = false;      // the stop request was set when the capture ended
    // Why the capture did not happen, 0 when it did. The errno of a path that does not open
    // as a directory (see captureRootError): nothing was added and nothing changed. ENOMEM
    // when memory ran out: the capture is taken away again (root is kNoNode) and the tree is
    // as it was before, the counters aside.
    int error = 0;
};

// The kind of a new root for path: 4 (CD-ROM root) on an optical disc, else 9.
int rootKindForPath(std::u16string_view path);

// A capture of path can begin only when its directory opens: 0 when it does, else the
// system's reason (no such file, not a folder, no permission). A folder below it that does
// not open is only left out of the capture.
int captureRootError(std::u16string_view path);

// Refuses a path that does not open (see captureRootError), touching nothing. Otherwise
// resets the counters, copies the filter, appends the root after the existing roots with
// its kind, enters the scanning state ("Scanning..."), clears the stop request, scans,
// gives the root its text in bold, sorts the whole tree ("Sorting...") and leaves the
// scanning state. The new root is neither selected nor expanded. When memory runs out the
// partly captured root goes again, the scanning state is left and the outcome's error says
// so.
CaptureOutcome captureTree(SnapshotTree& tree, ScanState& state, const CaptureRequest& request,
                           ScanObserver& observer, const TextOrder& order);

} // namespace zelvane
