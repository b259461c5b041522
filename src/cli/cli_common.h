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
                                       // (search: found nothing; scan: some folders unreadable)
inline constexpr int kExitFailure = 2; // a file could not be read or written, or bad usage
inline constexpr int kExitInterrupted = 130; // stopped by Ctrl-C, as shells report SIGINT

using Args = std::vector<std::string_view>;

struct Command {
    std::string_view name;
    std::string_view summary;
    std::string_view usage; // full help text of the command
    int (*run)(const Args& args);
};

// One line on standard error: "zelvane-cli: FILE: reason", the name made safe to print.
void reportFileError(std::string_view file, int error);
// One line on standard error and the usage hint; returns kExitFailure.
int usageError(std::string_view command, std::string_view message);
bool isHelp(const Args& args);
bool isVersion(const Args& args);
// Prints the command's help or the version line; the exit status.
int printHelp(const Command& command);
int printVersion();

// The file to open for an input argument: "-" is standard input.
std::string inputPath(std::string_view argument);

// Reads a snapshot file ("-": standard input) into tree; on failure reports it and returns
// false.
bool loadOrReport(std::string_view file, SnapshotTree& tree, LoadStats& stats);

// The commands, in the order --help lists them.
const std::vector<Command>& commands();

} // namespace zelvane::cli
