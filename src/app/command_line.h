// Which snapshot, if any, the command line asks to open at start.
#pragma once

#include <optional>
#include <span>
#include <string>

namespace zelvane {

// The arguments after the program's name (the toolkit's own options already taken out):
// exactly one non-empty argument names a snapshot to open; none, two or more, or one empty
// argument mean a new untitled snapshot.
std::optional<std::u16string> snapshotToOpen(std::span<const std::u16string> arguments);

} // namespace zelvane
