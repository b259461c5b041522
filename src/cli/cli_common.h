// Shared pieces of the zelvane-cli commands.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "document/snapshot_file.h"
#include "document/snapshot_tree.h"

namespace zelvane::cli {

// Exit statuses of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitDefect = 1;  // the command ran, and found the input not well formed
inline constexpr int kExitFailure = 2; // a file could not be read or written, or bad usage

using Args = std::vector<std::string_view>;

struct Command {
    std::string_view name;
    std::string_view summary;
    std::string_view usage; // full help text of the command
    int (*run)(const Args& args);
};

// One line on standard error: "zelvane-cli: FILE: reason".
void reportFileError(std::string_view file, int error);
// One line on standard error and the usage hint; returns kExitFailure.
int usageError(std::string_view command, std::string_view message);
bool isHelp(const Args& args);
void printHelp(const Command& command);

// Reads a snapshot file into tree; on failure reports it and returns false.
bool loadOrReport(const std::string& path, SnapshotTree& tree, LoadStats& stats);

// The commands, in the order --help lists them.
const std::vector<Command>& commands();

} // namespace zelvane::cli
