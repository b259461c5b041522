// The settings store's test double: the values in memory, with every open, close and write
// recorded in order. The benchmarks and the screenshot tool run the main window with it too,
// so that they neither read nor change the user's settings.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "settings/settings_store.h"

namespace zelvane {

class MemorySettingsBackend : public SettingsBackend {
public:
    // A value that exists but cannot be read.
    struct Unreadable {
        bool operator==(const Unreadable&) const = default;
    };
    using Value = std::variant<std::u16string, std::uint32_t, Unreadable>;

    struct Event {
        enum class Kind { Open, Close, WriteText, WriteNumber };
        Kind kind;
        std::u16string name; // the value name, or the subkey for Open
        Value value;
        bool operator==(const Event&) const = default;
    };

    void open(std::u16string_view subkey) override;
    void close() override;
    std::optional<std::u16string> readText(std::u16string_view name) override;
    std::optional<long long> readNumber(std::u16string_view name) override;
    void writeText(std::u16string_view name, std::u16string_view text) override;
    void writeNumber(std::u16string_view name, std::uint32_t number) override;

    // When set, the key cannot be opened: reads fail and writes are dropped.
    void setBroken(bool broken) { broken_ = broken; }

    std::map<std::u16string, Value, std::less<>> values;
    std::vector<Event> events;

private:
    bool broken_ = false;
    bool open_ = false;
};

} // namespace zelvane
