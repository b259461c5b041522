#include "cli/cli_options.h"

#include <algorithm>

#include "cli/cli_common.h"
#include "cli/cli_output.h"

namespace zelvane::cli {

bool CommandLine::has(int id) const {
    return std::any_of(options.begin(), options.end(),
                       [id](const GivenOption& o) { return o.id == id; });
}

std::optional<std::string_view> CommandLine::last(int id) const {
    for (auto o = options.rbegin(); o != options.rend(); ++o) {
        if (o->id == id) {
            return o->value;
        }
    }
    return std::nullopt;
}

namespace {

// "a, b or c"
std::string alternatives(const std::vector<std::string_view>& words, std::string_view prefix) {
    std::string text;
    for (std::size_t k = 0; k < words.size(); ++k) {
        text.append(k == 0 ? "" : k + 1 == words.size() ? " or " : ", ").append(prefix);
        text.append(words[k]);
    }
    return text;
}

// The option --name (or a beginning of it) names; reports an unknown or ambiguous one.
const OptionSpec* findLong(const CommandSpec& spec, std::string_view name) {
    const OptionSpec* found = nullptr;
    std::vector<std::string_view> candidates;
    for (const OptionSpec& o : spec.options) {
        if (o.longName == name) {
            return &o;
        }
        if (!name.empty() && o.longName.substr(0, name.size()) == name) {
            if (found == nullptr || found->id != o.id) {
                candidates.push_back(o.longName);
            }
            found = found == nullptr ? &o : found;
        }
    }
    if (candidates.size() > 1) {
        usageError(spec.name, "option '--" + displayArgument(name) + "' is ambiguous (" +
                                  alternatives(candidates, "--") + ")");
        return nullptr;
    }
    if (found == nullptr) {
        usageError(spec.name, "unknown option '--" + displayArgument(name) + "'");
    }
    return found;
}

const OptionSpec* findShort(const CommandSpec& spec, char name) {
    for (const OptionSpec& o : spec.options) {
        if (o.shortName == name && name != '\0') {
            return &o;
        }
    }
    usageError(spec.name, "unknown option '-" + displayArgument(std::string(1, name)) + "'");
    return nullptr;
}

// Checks a value against the option's kind; reports and returns false when it does not fit.
bool valueFits(const CommandSpec& spec, const OptionSpec& o, std::string_view value) {
    std::string label(o.longName.empty() ? "-" : "--");
    label.append(o.longName.empty() ? std::string(1, o.shortName) : std::string(o.longName));
    if (o.value == ValueKind::Choice &&
        std::find(o.choices.begin(), o.choices.end(), value) == o.choices.end()) {
        usageError(spec.name, label + " is " + alternatives(o.choices, "") + ", not '" +
                                  displayArgument(value) + "'");
        return false;
    }
    if (o.value == ValueKind::Number &&
        (value.empty() || value.size() > 18 ||
         !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))) {
        usageError(spec.name, label + " needs a number, not '" + displayArgument(value) + "'");
        return false;
    }
    return true;
}

} // namespace

std::optional<CommandLine> parseCommandLine(const CommandSpec& spec, const Args& args) {
    CommandLine line;
    bool ended = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (ended || arg.size() < 2 || arg[0] != '-') {
            line.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            ended = true;
            continue;
        }
        // The option at arg (from its dash), its value inline when it has one there.
        auto take = [&](const OptionSpec* o, std::string spelled,
                        std::optional<std::string_view> inlineValue) {
            if (o == nullptr) {
                return false;
            }
            GivenOption given{o->id, {}, std::move(spelled)};
            if (o->value == ValueKind::None) {
                if (inlineValue) {
                    usageError(spec.name, "--" + std::string(o->longName) + " takes no value");
                    return false;
                }
            } else if (inlineValue) {
                given.value = *inlineValue;
            } else if (i + 1 < args.size()) {
                given.value = args[++i];
            } else {
                usageError(spec.name, displayArgument(given.spelled) + " needs a value");
                return false;
            }
            if (!valueFits(spec, *o, given.value)) {
                return false;
            }
            line.options.push_back(std::move(given));
            return true;
        };
        if (arg[1] == '-') {
            const std::string_view body = arg.substr(2);
            const std::size_t equals = body.find('=');
            const std::string_view name = body.substr(0, equals);
            std::optional<std::string_view> value;
            if (equals != std::string_view::npos) {
                value.emplace(body.substr(equals + 1));
            }
            if (!take(findLong(spec, name), std::string(arg.substr(0, 2 + name.size())), value)) {
                return std::nullopt;
            }
            continue;
        }
        for (std::size_t k = 1; k < arg.size(); ++k) {
            const OptionSpec* o = findShort(spec, arg[k]);
            const bool rest = o != nullptr && o->value != ValueKind::None && k + 1 < arg.size();
            if (!take(o, std::string{'-', arg[k]},
                      rest ? std::optional(arg.substr(k + 1)) : std::nullopt)) {
                return std::nullopt;
            }
            if (o->value != ValueKind::None) {
                break;
            }
        }
    }
    return line;
}

std::string optionLabel(const OptionSpec& o) {
    std::string label;
    if (o.shortName != '\0') {
        label.append("-").push_back(o.shortName);
    }
    if (!o.longName.empty()) {
        label.append(label.empty() ? "    --" : ", --").append(o.longName);
    }
    if (o.value != ValueKind::None) {
        label.append(" ").append(o.valueName);
    }
    return label;
}

std::string helpText(const CommandSpec& spec) {
    constexpr std::size_t kColumn = 26;
    constexpr std::size_t kWidth = 80;
    std::string text(spec.usage);
    text += "Options:\n";
    for (const OptionSpec& o : spec.options) {
        std::string row = "  " + optionLabel(o);
        if (row.size() + 2 > kColumn) {
            text.append(row).append("\n");
            row.clear();
        }
        row.resize(kColumn, ' ');
        // The help's words, wrapped to the width (a '\n' in it is a space like any other).
        std::size_t at = 0;
        while (at < o.help.size()) {
            const std::size_t end = o.help.find_first_of(" \n", at);
            const std::string_view word = o.help.substr(at, end - at);
            at = end == std::string_view::npos ? o.help.size() : end + 1;
            if (word.empty()) {
                continue;
            }
            if (row.size() > kColumn && row.size() + 1 + word.size() >= kWidth) {
                text.append(row).append("\n");
                row.assign(kColumn, ' ');
            }
            row.append(row.size() > kColumn ? " " : "").append(word);
        }
        text.append(row).append("\n");
    }
    return text.append(spec.epilogue);
}

} // namespace zelvane::cli
