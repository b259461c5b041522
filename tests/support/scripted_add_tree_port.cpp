#include "support/scripted_add_tree_port.h"

#include <any>

namespace zelvane::testing {

namespace {

struct Cancelled {};

std::string quoted(std::u16string_view text) {
    return "\"" + toUtf8(text) + "\"";
}

std::string fieldsText(std::u16string_view path, std::u16string_view title,
                       std::u16string_view filter) {
    return quoted(path) + " | " + quoted(title) + " | " + quoted(filter);
}

} // namespace

ScriptedAddTreePort& ScriptedAddTreePort::addTreeOk(AddTreeFields fields) {
    custom("add tree dialog", std::move(fields));
    return *this;
}

ScriptedAddTreePort& ScriptedAddTreePort::addTreeCancel() {
    custom("add tree dialog", Cancelled{});
    return *this;
}

void ScriptedAddTreePort::stopAtPump(ScanState& state, std::size_t pump) {
    onPump = [&state, pump](std::size_t n) {
        if (n == pump) {
            OnStopScan(state);
        }
    };
}

std::optional<AddTreeDialogResult>
ScriptedAddTreePort::runAddTreeDialog(AddTreeInputs& remembered) {
    const std::string shown = fieldsText(remembered.path, remembered.title, remembered.filter);
    const std::any value = takeCustom("add tree dialog");
    std::optional<AddTreeDialogResult> result;
    std::string answer = "cancel";
    if (const auto* fields = std::any_cast<AddTreeFields>(&value)) {
        result = acceptAddTreeFields(fields->path, fields->title, fields->filter, remembered);
        answer = "ok " + fieldsText(fields->path, fields->title, fields->filter);
    }
    // The transcript names what the dialog showed and how it was closed.
    if (PortCall* call = lastCall()) {
        call->name += " " + shown;
        call->answer = answer;
    }
    return result;
}

void ScriptedAddTreePort::setScanningState(bool scanning) {
    PortCall call;
    call.name = scanning ? "scanning on" : "scanning off";
    record(std::move(call));
}

void ScriptedAddTreePort::pump() {
    ++pumps_;
    if (onPump) {
        onPump(pumps_);
    }
}

void ScriptedAddTreePort::setProgressText(std::u16string_view text) {
    PortCall call;
    call.name = "progress";
    call.text = text;
    record(std::move(call));
    if (onProgress) {
        onProgress(text);
    }
}

} // namespace zelvane::testing
