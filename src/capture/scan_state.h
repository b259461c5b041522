// The scan state shared by the Add Tree command and the directory scanner, and the
// observer through which a scan keeps the user interface alive.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvane {

struct ScanState {
    std::uint32_t folders = 0; // folders added by the current capture
    std::uint32_t files = 0;   // files added (that passed the filter)
    std::u16string filter = u"*";
    bool stopRequested = false;
};

// What a capture from the command line may ask beyond the Add Tree dialog's filter.
struct ScanRules {
    // Stay on the file system of the captured folder: a folder mounted from another one
    // is captured, empty.
    bool oneFileSystem = false;
    // When not empty, a file is captured when its extension (without its dot) is one of
    // these, instead of the state's filter; letter case ignored when extensionsIgnoreCase.
    std::vector<std::u16string> extensions;
    bool extensionsIgnoreCase = false;
    // When set, the folders and files for which it is true are left out (a folder with
    // everything in it): their name and their path below the captured folder ("a/b/c"),
    // as the file system's bytes.
    std::function<bool(std::string_view name, std::string_view relativePath)> excluded;
    // When above 0, every regular file that is an archive gets its members as children,
    // and the archives inside it too, down to this many levels of archives.
    unsigned archiveDepth = 0;
};

// The program's one scan state (only one capture runs at a time).
ScanState& processScanState();

// The Stop button's handler: asks the running scan to stop after the folder it is in, at
// the latest before it enters another.
inline void OnStopScan(ScanState& state) {
    state.stopRequested = true;
}

// The steps of a capture while the user interface is in its scanning state.
enum class ScanPhase { Scanning, Sorting };

// What a capture asks of the user interface while it runs: the desktop program's main
// window implements it, and so does the command-line tool for the terminal.
class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    // On: hide the tree, show the progress text and the Stop button. Off: the reverse.
    virtual void setScanningState(bool scanning) = 0;
    // Called every 8 added items: handle pending window events once (repaint, the Stop
    // button), dropping every other command.
    virtual void pump() = 0;
    // The progress text of the main window.
    virtual void setProgressText(std::u16string_view text) = 0;
    // The capture enters a step: Scanning once the scanning state is on, Sorting once the
    // scan is over, each just before the progress text names it ("Scanning...",
    // "Sorting..."). The desktop program needs no more than the text.
    virtual void setPhase(ScanPhase /*phase*/) {}
    // A folder that could not be opened or read to its end (error: its errno); path is its
    // path on disk, the root's path as given followed by the names below it. The capture
    // goes on: the folder keeps what was read of it. The desktop program says nothing.
    virtual void folderUnreadable(std::string_view /*path*/, int /*error*/) {}
    // An archive that could not be listed whole (a bound, damage, encryption: reason says
    // which); path as for folderUnreadable, an inner archive's followed by its path inside.
    virtual void archiveUnreadable(std::string_view /*path*/, std::string_view /*reason*/) {}
    // A folder that is one of the folders it lies in (same device and inode): it is
    // captured empty, as the rest of the capture already holds what it holds. The desktop
    // program says nothing.
    virtual void folderLoop(std::string_view /*path*/) {}
};

} // namespace zelvane
