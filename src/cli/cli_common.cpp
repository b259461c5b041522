#include "cli/cli_common.h"

#include "cli/cli_output.h"
#include "platform/replace_file.h"
#include "version.h"

#include <cstring>
#include <iostream>
#include <memory>
#include <sys/stat.h>

namespace zelvane::cli {

void reportFileError(std::string_view file, int error) {
    // An empty name is shown quoted, as find and du show it.
    std::cerr << "zelvane-cli: " << (file.empty() ? "''" : displayArgument(file)) << ": "
              << std::strerror(error) << '\n';
}

int usageError(std::string_view command, std::string_view message) {
    std::cerr << "zelvane-cli " << command << ": " << message << "\n"
              << "Try 'zelvane-cli " << command << " --help'.\n";
    return kExitFailure;
}

void warn(std::string_view command, std::string_view message) {
    std::cerr << "zelvane-cli " << command << ": warning: " << message << '\n';
}

std::vector<OptionSpec> withOptions(std::vector<OptionSpec> own, std::vector<OptionSpec> shared) {
    own.insert(own.end(), shared.begin(), shared.end());
    return own;
}

CommandSpec withCommonOptions(CommandSpec spec) {
    spec.options.push_back(
        {kOptHelp, 'h', "help", ValueKind::None, "", "print this help and exit"});
    spec.options.push_back(
        {kOptVersion, 'V', "version", ValueKind::None, "", "print the version and exit"});
    return spec;
}

int printText(std::string_view text) {
    Output out;
    out.buffer() += text;
    return out.finish() ? kExitOk : kExitFailure;
}

int printVersion() {
    return printText(std::string("zelvane-cli ") + kVersion + "\n");
}

std::size_t numberValue(std::string_view digits) {
    std::size_t n = 0;
    for (char c : digits) {
        n = n * 10 + static_cast<std::size_t>(c - '0');
    }
    return n;
}

const std::vector<const CommandSpec*>& commandSpecs() {
#define ZELVANE_CLI_COMMAND_ROW(name, Stem) &spec##Stem(),
    static const std::vector<const CommandSpec*> table = {
        ZELVANE_CLI_COMMANDS(ZELVANE_CLI_COMMAND_ROW)};
#undef ZELVANE_CLI_COMMAND_ROW
    return table;
}

int runCommand(std::string_view name, const Args& args) {
#define ZELVANE_CLI_COMMAND_CALL(word, Stem)                                                       \
    if (name == #word) {                                                                           \
        const std::optional<CommandLine> line = parseCommandLine(spec##Stem(), args);              \
        return !line                    ? kExitFailure                                             \
               : line->has(kOptHelp)    ? printText(helpText(spec##Stem()))                        \
               : line->has(kOptVersion) ? printVersion()                                           \
                                        : run##Stem(*line);                                        \
    }
    ZELVANE_CLI_COMMANDS(ZELVANE_CLI_COMMAND_CALL)
#undef ZELVANE_CLI_COMMAND_CALL
    std::cerr << "zelvane-cli: unknown command '" << displayArgument(name)
              << "'. Try 'zelvane-cli --help'.\n";
    return kExitFailure;
}

std::string inputPath(std::string_view argument) {
    return argument == "-" ? std::string("/dev/stdin") : std::string(argument);
}

int updateSnapshot(std::string_view source, std::string_view target, bool force,
                   const std::function<int(SnapshotTree& tree)>& update) {
    platform::Descriptor lock;
    struct stat from {
    }, to{};
    if (source != "-" && target != "-" && ::stat(std::string(source).c_str(), &from) == 0 &&
        ::stat(std::string(target).c_str(), &to) == 0 && from.st_dev == to.st_dev &&
        from.st_ino == to.st_ino) {
        int error = 0;
        lock = platform::lockForUpdate(std::string(target), error);
        if (!lock.valid()) {
            reportFileError(target, error);
            return kExitFailure;
        }
    }
    SnapshotTree tree;
    if (!loadForAppend(source, force, tree)) {
        return kExitFailure;
    }
    return update(tree);
}

bool readOrReport(std::string_view file, const LoadStats& stats) {
    if (!stats.opened || stats.error != 0) {
        reportFileError(file, stats.error);
        return false;
    }
    return true;
}

bool loadOrReport(std::string_view file, SnapshotTree& tree, LoadStats& stats) {
    stats = readSnapshotFile(inputPath(file), tree);
    return readOrReport(file, stats);
}

bool loadForAppend(std::string_view file, bool force, SnapshotTree& tree) {
    LoadStats stats;
    if (!loadOrReport(file, tree, stats)) {
        return false;
    }
    if (!stats.wellFormed() && !force) {
        std::cerr << "zelvane-cli: " << displayArgument(file)
                  << ": not a well-formed snapshot ('zelvane-cli info' lists its defects); "
                     "--force appends to it all the same\n";
        return false;
    }
    return true;
}

bool saveSnapshot(const SnapshotTree& tree, const std::string& target, WriteResult& written) {
    if (target == "-") {
        std::string bytes;
        written = encodeSnapshot(tree, bytes);
        Output out;
        out.buffer() = std::move(bytes);
        written.ok = out.finish();
        return written.ok;
    }
    written = writeSnapshotFile(tree, target);
    if (!written.ok) {
        reportFileError(target, written.error);
    }
    return written.ok;
}

void appendRoots(SnapshotTree& to, const SnapshotTree& from) {
    std::vector<NodeId> parents{kTopLevel}; // the copy's parent at each level
    walkPreOrder(from, [&](NodeId node, std::size_t level) {
        parents.resize(level + 1);
        const NodeId copy = to.insertLast(parents[level], from.text(node));
        to.setKind(copy, from.kind(node));
        parents.push_back(copy);
    });
}

bool loadEach(const std::vector<std::string_view>& files,
              std::vector<std::unique_ptr<SnapshotTree>>& trees) {
    for (const std::string_view file : files) {
        trees.push_back(std::make_unique<SnapshotTree>());
        LoadStats stats;
        if (!loadOrReport(file, *trees.back(), stats)) {
            return false;
        }
    }
    return true;
}

bool loadAll(const std::vector<std::string_view>& files, SnapshotTree& tree) {
    for (const std::string_view file : files) {
        const auto part = std::make_unique<SnapshotTree>();
        LoadStats stats;
        if (!loadOrReport(file, *part, stats)) {
            return false;
        }
        appendRoots(tree, *part);
    }
    return true;
}

} // namespace zelvane::cli
