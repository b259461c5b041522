#include "settings/settings_store.h"

#include <limits>

namespace zelvane {

void SettingsKey::open(std::u16string_view subkeyPath) {
    path_.assign(subkeyPath.substr(0, kSettingsTextMax));
    backend_.open(path_);
}

void SettingsKey::close() {
    backend_.close();
}

void SettingsKey::writeText(std::u16string_view name, std::u16string_view text) {
    backend_.writeText(name, text);
}

void SettingsKey::writeNumber(std::u16string_view name, std::uint32_t number) {
    backend_.writeNumber(name, number);
}

void SettingsKey::writeFlag(std::u16string_view name, bool flag) {
    writeNumber(name, flag ? 1u : 0u);
}

std::u16string SettingsKey::readText(std::u16string_view name, std::u16string_view defaultText) {
    std::optional<std::u16string> stored = backend_.readText(name);
    if (stored && stored->size() <= kSettingsTextMax) {
        return std::move(*stored);
    }
    writeText(name, defaultText);
    return std::u16string(defaultText);
}

std::uint32_t SettingsKey::readNumber(std::u16string_view name, std::uint32_t defaultNumber) {
    const std::optional<long long> stored = backend_.readNumber(name);
    if (stored && *stored >= 0 && *stored <= std::numeric_limits<std::uint32_t>::max()) {
        return static_cast<std::uint32_t>(*stored);
    }
    writeNumber(name, defaultNumber);
    return defaultNumber;
}

bool SettingsKey::readFlag(std::u16string_view name, bool defaultFlag) {
    return readNumber(name, defaultFlag ? 1u : 0u) == 1u;
}

RememberedInputs loadSettings(SettingsBackend& backend, const RememberedInputs& defaults) {
    RememberedInputs in;
    SettingsKey key(backend);
    key.open(kSettingsSubkey);
    in.addTree.path = key.readText(kAddTreePathName, defaults.addTree.path);
    in.addTree.filter = key.readText(kAddTreeFilterName, defaults.addTree.filter);
    in.addTree.title = key.readText(kAddTreeTitleName, defaults.addTree.title);
    in.search.pattern = key.readText(kSearchPatternName, defaults.search.pattern);
    in.search.isLocalSearch = key.readFlag(kSearchIsLocalSearchName, defaults.search.isLocalSearch);
    in.search.isMatchCase = key.readFlag(kSearchIsMatchCaseName, defaults.search.isMatchCase);
    in.search.isMatchWholePatternOnly =
        key.readFlag(kSearchIsMatchWholePatternOnlyName, defaults.search.isMatchWholePatternOnly);
    in.search.isRecursiveSearch =
        key.readFlag(kSearchIsRecursiveSearchName, defaults.search.isRecursiveSearch);
    in.search.isFilesOnly = key.readFlag(kSearchIsFilesOnlyName, defaults.search.isFilesOnly);
    in.installDir = key.readText(kInstallDirName, defaults.installDir);
    key.close();
    return in;
}

void saveSettings(SettingsBackend& backend, const RememberedInputs& in) {
    SettingsKey key(backend);
    key.open(kSettingsSubkey);
    key.writeText(kAddTreePathName, in.addTree.path);
    key.writeText(kAddTreeFilterName, in.addTree.filter);
    key.writeText(kAddTreeTitleName, in.addTree.title);
    key.writeText(kSearchPatternName, in.search.pattern);
    key.writeFlag(kSearchIsLocalSearchName, in.search.isLocalSearch);
    key.writeFlag(kSearchIsMatchCaseName, in.search.isMatchCase);
    key.writeFlag(kSearchIsMatchWholePatternOnlyName, in.search.isMatchWholePatternOnly);
    key.writeFlag(kSearchIsRecursiveSearchName, in.search.isRecursiveSearch);
    key.writeFlag(kSearchIsFilesOnlyName, in.search.isFilesOnly);
    key.close();
}

} // namespace zelvane
