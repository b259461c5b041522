// The desktop program's settings file under hostile conditions: whatever stands where the
// file belongs, start-up gets the defaults without waiting, and exit writes nothing over it.
#include "ui/qsettings_backend_qt.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <array>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zelvane {
namespace {

// GCC 12 at -O3 wrongly reports this constant's strings as maybe uninitialized.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
const RememberedInputs kChanged{
    {u"/media/cdrom", u"mp3", u"My CD"}, {u"*.Ω", true, true, true, false, true}, u""};
#pragma GCC diagnostic pop

// Loads and saves changed settings in a child given five seconds: "defaults", "stored" (what
// a regular file held), "other", or how the child ended.
std::string loadAndSave() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(5);
        QSettingsBackend store;
        const RememberedInputs loaded = loadSettings(store);
        saveSettings(store, kChanged);
        ::_exit(loaded == RememberedInputs{} ? 10 : loaded == kChanged ? 11 : 12);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) - 10 : -1;
    return code >= 0 && code <= 2 ? std::array{"defaults", "stored", "other"}[code]
                                  : "status " + std::to_string(status);
}

TEST(QSettingsBackendFile, WhatIsNotARegularFileGivesTheDefaultsAndIsLeftAsItWas) {
    const QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    const QString path = QSettingsBackend::settingsFilePath();
    EXPECT_EQ(path, home.path() + "/Halcyra/Zelvane.conf");
    const QByteArray file = QFile::encodeName(path), other = QFile::encodeName(home.path() + "/o");
    const struct {
        std::string name;
        std::function<void()> setup;
        std::string loaded, after;
    } cases[] = {
        // The first run writes the file; the next one reads it back.
        {"none", [] {}, "defaults", "file"},
        {"regular", [] {}, "stored", "file"},
        {"fifo", [&] { ::mkfifo(file, 0644); }, "defaults", "fifo"},
        {"link", [&] { ::mkfifo(other, 0644), ::symlink(other, file); }, "defaults", "fifo"},
        {"folder", [&] { ::mkdir(file, 0755); }, "defaults", "folder"},
        // Only root makes devices; the fifo covers the same path otherwise.
        {"device", [&] { ::mknod(file, S_IFCHR | 0666, makedev(1, 3)); }, "defaults",
         ::geteuid() == 0 ? "device" : "file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.name != "regular") {
            QDir(home.path()).removeRecursively();
            QDir().mkpath(home.path() + "/Halcyra");
        }
        c.setup();
        EXPECT_EQ(loadAndSave(), c.loaded);
        EXPECT_EQ(kindOf(path), c.after);
    }
}

TEST(QSettingsBackendFile, ReadsANonNumberAsMissing) {
    const QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    QSettings("Halcyra", "Zelvane").setValue("Search_IsMatchCase", "yes");
    QSettingsBackend store;
    store.open(kSettingsSubkey);
    EXPECT_EQ(store.readNumber(u"Search_IsMatchCase"), std::nullopt);
    store.close();
}

} // namespace
} // namespace zelvane

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
