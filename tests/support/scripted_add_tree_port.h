// The scripted port of the Add Tree command: the UiPort of ScriptedPort plus the Add Tree
// dialog and the scanning state of the main window.
//
// The dialog answers from the script: addTreeOk(fields) stands for a user who leaves the
// three fields as given and presses OK (the dialog's real OK rule is applied to them, so
// the remembered inputs change as in the program), addTreeCancel() for Cancel. Scanning
// state and progress texts are recorded in order; pumps are only counted, and a test can
// act at a pump (press Stop, look at the tree).
//
// Transcript lines:
//   add tree dialog "/" | "" | "*" -> ok "/data" | "" | "txt"
//   scanning on
//   progress "Scanning..."
//   scanning off
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "capture/add_tree_command.h"
#include "support/scripted_port.h"

namespace zelvane::testing {

// The three fields of the Add Tree dialog as the user leaves them.
struct AddTreeFields {
    std::u16string path;
    std::u16string title;
    std::u16string filter = u"*";
};

class ScriptedAddTreePort : public ScriptedPort, public AddTreePort {
public:
    ScriptedAddTreePort& addTreeOk(AddTreeFields fields);
    ScriptedAddTreePort& addTreeCancel();

    // Run at every pump with the pump's number (1 for the first).
    std::function<void(std::size_t pump)> onPump;
    // Run at every progress text, after it is recorded.
    std::function<void(std::u16string_view text)> onProgress;
    std::size_t pumps() const { return pumps_; }
    // Stops the scan at the given pump.
    void stopAtPump(ScanState& state, std::size_t pump);

    // --- AddTreePort ---
    std::optional<AddTreeDialogResult> runAddTreeDialog(AddTreeInputs& remembered) override;
    void setScanningState(bool scanning) override;
    void pump() override;
    void setProgressText(std::u16string_view text) override;

private:
    std::size_t pumps_ = 0;
};

} // namespace zelvane::testing
