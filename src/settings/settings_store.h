// The settings store: the remembered inputs that outlive a run of the program (the last
// Add Tree inputs, the search options and the installation directory).
//
// The values are read once at start-up (Load settings) and written once at exit (Save
// settings); in between they live in a RememberedInputs that the dialogs read and change.
// A value that is missing or cannot be read is replaced by its default, and the default is
// written back, so the first run creates every value.
//
// The store talks to a SettingsBackend: QSettings in the desktop program, an in-memory map
// in the tests (tests/support/memory_settings.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "capture/add_tree_inputs.h"
#include "search/search_options.h"

namespace zelvane {

// The per-user key that holds the values.
inline constexpr std::u16string_view kSettingsSubkey = u"Software\\Halcyra\\Zelvane";
// A text value holds at most this many code units; a longer one counts as a failed read.
inline constexpr std::size_t kSettingsTextMax = 511;

// Value names, in the order in which Load settings reads them.
inline constexpr std::u16string_view kAddTreePathName = u"AddTree_Path";
inline constexpr std::u16string_view kAddTreeFilterName = u"AddTree_Filter";
inline constexpr std::u16string_view kAddTreeTitleName = u"AddTree_Title";
inline constexpr std::u16string_view kSearchPatternName = u"Search_Pattern";
inline constexpr std::u16string_view kSearchIsLocalSearchName = u"Search_IsLocalSearch";
inline constexpr std::u16string_view kSearchIsMatchCaseName = u"Search_IsMatchCase";
inline constexpr std::u16string_view kSearchIsMatchWholePatternOnlyName =
    u"Search_IsMatchWholePatternOnly";
inline constexpr std::u16string_view kSearchIsRecursiveSearchName = u"Search_IsRecursiveSearch";
inline constexpr std::u16string_view kSearchIsFilesOnlyName = u"Search_IsFilesOnly";
inline constexpr std::u16string_view kInstallDirName = u"InstallDir";

// Everything the store keeps. A default-constructed object holds the defaults.
struct RememberedInputs {
    AddTreeInputs addTree;
    SearchOptions search;
    // Glued directly before "License.txt", so it names a folder only when it ends with "/".
    // Read at start, never written back.
    std::u16string installDir;

    bool operator==(const RememberedInputs&) const = default;
};

// Where the values are kept. Reads report failure with nullopt (missing, or stored in a form
// that cannot be read); writes fail silently. Nothing is checked beyond that: the limits
// and the defaults are the store's business.
class SettingsBackend {
public:
    virtual ~SettingsBackend() = default;
    // Opens the key, creating it when it does not exist. Failure is not reported: every
    // read then fails and every write is lost.
    virtual void open(std::u16string_view subkey) = 0;
    virtual void close() = 0;
    // The stored data taken as text (a number reads as its decimal digits).
    virtual std::optional<std::u16string> readText(std::u16string_view name) = 0;
    // The stored data taken as a number, unchecked for range.
    virtual std::optional<long long> readNumber(std::u16string_view name) = 0;
    virtual void writeText(std::u16string_view name, std::u16string_view text) = 0;
    virtual void writeNumber(std::u16string_view name, std::uint32_t number) = 0;
};

// Opens the key and reads and writes single values. Reading a value that is missing or
// does not fit creates it with its default.
class SettingsKey {
public:
    explicit SettingsKey(SettingsBackend& backend) : backend_(backend) {}
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;

    void open(std::u16string_view subkeyPath);
    void close();

    void writeText(std::u16string_view name, std::u16string_view text);
    void writeNumber(std::u16string_view name, std::uint32_t number);
    void writeFlag(std::u16string_view name, bool flag);
    // The stored text when it holds at most kSettingsTextMax code units; otherwise the
    // default, which is written back.
    std::u16string readText(std::u16string_view name, std::u16string_view defaultText);
    // The stored number when it fits in 32 bits; otherwise the default, written back.
    std::uint32_t readNumber(std::u16string_view name, std::uint32_t defaultNumber);
    // On only when the stored number is exactly 1.
    bool readFlag(std::u16string_view name, bool defaultFlag);

private:
    SettingsBackend& backend_;
    std::u16string path_;
};

// Reads the ten values in their order into a fresh set of remembered inputs; defaults holds
// the value used (and written back) for each one that fails.
RememberedInputs loadSettings(SettingsBackend& backend,
                              const RememberedInputs& defaults = RememberedInputs{});
// Writes the nine remembered inputs in their order. InstallDir is not written.
void saveSettings(SettingsBackend& backend, const RememberedInputs& inputs);

} // namespace zelvane
