// The settings store's backend in the desktop program: QSettings for organisation "Halcyra"
// and application "Zelvane", that is $XDG_CONFIG_HOME/Halcyra/Zelvane.conf (by default
// ~/.config/Halcyra/Zelvane.conf). A settings file that cannot be read, or that is not a
// regular file, gives the defaults and is never written over.
#pragma once

#include <memory>

#include "settings/settings_store.h"

class QSettings;
class QString;

namespace zelvane {

class QSettingsBackend : public SettingsBackend {
public:
    QSettingsBackend();
    ~QSettingsBackend() override;

    // The subkey is fixed by the organisation and application names; the argument is
    // only the store's own name for it.
    void open(std::u16string_view subkey) override;
    // Writes what changed to the file.
    void close() override;
    std::optional<std::u16string> readText(std::u16string_view name) override;
    std::optional<long long> readNumber(std::u16string_view name) override;
    void writeText(std::u16string_view name, std::u16string_view text) override;
    void writeNumber(std::u16string_view name, std::uint32_t number) override;

    // The settings file. When it exists and is not a regular file, it is neither read nor
    // written: every value takes its default.
    static QString settingsFilePath();

private:
    std::unique_ptr<QSettings> settings_;
    bool readable_ = false;
};

} // namespace zelvane
