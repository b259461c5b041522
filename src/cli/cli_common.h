// Shared pieces of the zelvane-cli commands.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_options.h"
#include "document/snapshot_file.h"
#include "document/snapshot_tree.h"

namespace zelvane::cli {

// Exit statuses of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitDefect = 1;  // the command ran, and found the input not well formed
                                       // (search: found nothing; scan: some folders unreadable)
inline constexpr int kExitFailure = 2; // a file could not be read or written, or bad usage
inline constexpr int kExitInterrupted = 130; // stopped by Ctrl-C, as shells report SIGINT

// One line on standard error: "zelvane-cli: FILE: reason", the name made safe to print.
void reportFileError(std::string_view file, int error);
// One line on standard error and the usage hint; returns kExitFailure.
int usageError(std::string_view command, std::string_view message);
// A warning on standard error: "zelvane-cli COMMAND: warning: message".
void warn(std::string_view command, std::string_view message);

// own, then shared: the options of a command that has both.
std::vector<OptionSpec> withOptions(std::vector<OptionSpec> own, std::vector<OptionSpec> shared);
// Adds -h/--help and -V/--version to a command's options.
CommandSpec withCommonOptions(CommandSpec spec);
// Prints text to standard output; the exit status.
int printText(std::string_view text);
int printVersion();

// A Number option's value (the parser has checked its digits).
std::size_t numberValue(std::string_view digits);

// The file to open for an input argument: "-" is standard input.
std::string inputPath(std::string_view argument);

// Whether a read of file went through; when not, reports it and returns false.
bool readOrReport(std::string_view file, const LoadStats& stats);
// Reads a snapshot file ("-": standard input) into tree; on failure reports it and returns
// false.
bool loadOrReport(std::string_view file, SnapshotTree& tree, LoadStats& stats);

// Reads the snapshot a new root is to be added to (scan --append, import --append); refuses,
// with a message, one that cannot be read, or that is not well formed unless force.
bool loadForAppend(std::string_view file, bool force, SnapshotTree& tree);
// Writes the snapshot to target ("-": standard output), replacing a file safely; reports a
// failure.
bool saveSnapshot(const SnapshotTree& tree, const std::string& target, WriteResult& written);
// Copies every root of from, with its branch (texts and kinds: bold is not saved), after
// the roots of to.
void appendRoots(SnapshotTree& to, const SnapshotTree& from);

// Loads every file of files after the roots of tree; false, told, when one cannot be read.
bool loadAll(const std::vector<std::string_view>& files, SnapshotTree& tree);
// Loads each file of files into a tree of its own, in order; false, told, when one cannot
// be read.
bool loadEach(const std::vector<std::string_view>& files,
              std::vector<std::unique_ptr<SnapshotTree>>& trees);
// The one read-modify-write of a snapshot file: when target is the file source names
// (however named), that file is locked (platform::lockForUpdate) before it is read, so that
// every other zelvane-cli updating it waits until update returns. source ("-": standard
// input) is read as loadForAppend reads it, then update(tree) changes the tree, saves it to
// target and gives the exit status. A source that cannot be locked or read is told, and
// gives kExitFailure.
int updateSnapshot(std::string_view source, std::string_view target, bool force,
                   const std::function<int(SnapshotTree& tree)>& update);

// The commands, in the order --help lists them: X(name, Stem) for each one, whose own file
// defines specStem(), its options and texts, and runStem(). A new command is one more line.
#define ZELVANE_CLI_COMMANDS(X)                                                                    \
    X(completion, Completion)                                                                      \
    X(diff, Diff)                                                                                  \
    X(export, Export)                                                                              \
    X(import, Import)                                                                              \
    X(info, Info)                                                                                  \
    X(list, List)                                                                                  \
    X(merge, Merge)                                                                                \
    X(scan, Scan)                                                                                  \
    X(search, Search)                                                                              \
    X(unique, Unique)

#define ZELVANE_CLI_DECLARE_COMMAND(name, Stem)                                                    \
    const CommandSpec& spec##Stem();                                                               \
    int run##Stem(const CommandLine& line);
ZELVANE_CLI_COMMANDS(ZELVANE_CLI_DECLARE_COMMAND)
#undef ZELVANE_CLI_DECLARE_COMMAND

// The commands' tables, in the order of ZELVANE_CLI_COMMANDS.
const std::vector<const CommandSpec*>& commandSpecs();
// Runs the command name with its arguments: its --help, --version, or the command itself.
int runCommand(std::string_view name, const Args& args);

} // namespace zelvane::cli
