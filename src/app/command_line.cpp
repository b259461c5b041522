#include "app/command_line.h"

namespace zelvane {

std::optional<std::u16string> snapshotToOpen(std::span<const std::u16string> arguments) {
    if (arguments.size() != 1 || arguments.front().empty()) {
        return std::nullopt;
    }
    return arguments.front();
}

} // namespace zelvane
