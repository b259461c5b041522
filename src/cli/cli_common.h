// Shared pieces of the zelvane-cli commands.
#pragma once

#include <cstddef>
#include <optional>
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
// Reports an option the command does not know; false.
bool unknownOption(std::string_view command, std::string_view option);
// The value that follows the option args[i], i moved onto it; nullopt, reported, when the
// option is the last argument.
std::optional<std::string_view> optionValue(std::string_view command, const Args& args,
                                            std::size_t& i);

// Reads a command's arguments the way every command does: a word that does not start with
// '-' ("-" alone too, and every word after "--") is an operand; each option goes to
// takeOption(option, i), which moves i past a value it takes and returns false once it has
// reported a misuse. Returns false when it did.
template <class TakeOption>
bool readArguments(const Args& args, std::vector<std::string_view>& operands,
                   TakeOption takeOption) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (!takeOption(arg, i)) {
            return false;
        }
    }
    return true;
}

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

// The commands, in the order --help lists them: X(name, Stem, summary) for each one, whose
// own file defines run<Stem>() and k<Stem>Usage, the text of its --help. A new command is
// one more line here.
#define ZELVANE_CLI_COMMANDS(X)                                                                    \
    X(diff, Diff, "lists what was added and removed between snapshots")                            \
    X(export, Export, "writes a snapshot as CSV, JSON Lines or HTML")                              \
    X(info, Info, "counts and defects of a snapshot file")                                         \
    X(list, List, "prints a snapshot as an indented tree")                                         \
    X(scan, Scan, "captures a directory tree into a snapshot file")                                \
    X(search, Search, "lists the nodes whose names match a pattern")

#define ZELVANE_CLI_DECLARE_COMMAND(name, Stem, summary)                                           \
    int run##Stem(const Args& args);                                                               \
    extern const char k##Stem##Usage[];
ZELVANE_CLI_COMMANDS(ZELVANE_CLI_DECLARE_COMMAND)
#undef ZELVANE_CLI_DECLARE_COMMAND

// The table of ZELVANE_CLI_COMMANDS.
const std::vector<Command>& commands();

} // namespace zelvane::cli
