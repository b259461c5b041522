// The desktop program's settings file under hostile conditions: whatever stands where the
// file belongs, start-up gets the defaults without waiting, and exit writes nothing over it.
#include "ui/qsettings_backend_qt.h"

#include "support/test_common.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <sys/sysmacros.h>

namespace zelvane {
namespace {

namespace fs = std::filesystem;
enum Outcome { kDefaults = 10, kStored, kOther }; // how the child in loadAndSave exits

// Loads and saves changed settings in a child given five seconds; its wait status.
int loadAndSave() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(5);
        QSettingsBackend store;
        RememberedInputs changed;
        changed.search = {u"*.Ω", false, true};
        const RememberedInputs loaded = loadSettings(store);
        saveSettings(store, changed);
        ::_exit(loaded == RememberedInputs{} ? kDefaults : loaded == changed ? kStored : kOther);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

TEST(QSettingsBackendFile, WhatIsNotARegularFileGivesTheDefaultsAndIsLeftAsItWas) {
    const QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    const QString path = QSettingsBackend::settingsFilePath();
    EXPECT_EQ(path, home.path() + "/Halcyra/Zelvane.conf");
    const std::string file = path.toStdString(), other = home.path().toStdString() + "/o";
    const std::tuple<std::string, std::function<void()>, Outcome, fs::file_type> cases[] = {
        // The first run writes the file; the next one reads it back.
        {"none", [] {}, kDefaults, fs::file_type::regular},
        {"regular", [] {}, kStored, fs::file_type::regular},
        {"fifo", [&] { ::mkfifo(file.c_str(), 0644); }, kDefaults, fs::file_type::fifo},
        {"link", [&] { ::mkfifo(other.c_str(), 0644), fs::create_symlink(other, file); }, kDefaults,
         fs::file_type::fifo},
        {"folder", [&] { fs::create_directory(file); }, kDefaults, fs::file_type::directory},
        // Only root makes devices; the fifo covers the same path otherwise.
        {"device", [&] { ::mknod(file.c_str(), S_IFCHR | 0666, makedev(1, 3)); }, kDefaults,
         ::geteuid() == 0 ? fs::file_type::character : fs::file_type::regular},
    };
    for (const auto& [name, setup, loaded, after] : cases) {
        if (name != "regular") {
            QDir(home.path()).removeRecursively();
            QDir().mkpath(home.path() + "/Halcyra");
        }
        setup();
        const int status = loadAndSave();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == loaded) << name << status;
        std::error_code ignored;
        EXPECT_EQ(fs::status(file, ignored).type(), after) << name;
    }
    fs::remove(file);
    QSettings("Halcyra", "Zelvane").setValue("Search_IsMatchCase", "yes"); // not a number
    QSettingsBackend store;
    store.open(kSettingsSubkey);
    EXPECT_EQ(store.readNumber(u"Search_IsMatchCase"), std::nullopt);
    store.close();
}

} // namespace
} // namespace zelvane
