#include "app/app_name.h"

#include <climits>
#include <gtest/gtest.h>
#include <unistd.h>

#include "text/utf.h"

namespace zelvane {
namespace {

TEST(AppNameTest, FileNameWithoutExtension) {
    EXPECT_EQ(applicationNameFromPath(u"/usr/bin/zelvane"), u"zelvane");
    EXPECT_EQ(applicationNameFromPath(u"C:/Programs/Zelvane.exe"), u"Zelvane");
    EXPECT_EQ(applicationNameFromPath(u"./my.tool.bin"), u"my.tool");
    EXPECT_EQ(applicationNameFromPath(u"zelvane"), u"zelvane");
    EXPECT_EQ(applicationNameFromPath(u"/opt/.zelvane"), u".zelvane");
    EXPECT_EQ(applicationNameFromPath(u"/opt/Снимок.run"), u"Снимок");
    EXPECT_EQ(applicationNameFromPath(u"/opt/dir.d/tool"), u"tool");
    EXPECT_EQ(applicationNameFromPath(u"/opt/"), u"");
}

TEST(AppNameTest, RunningProgramIsNamedAfterItsExecutable) {
    char buffer[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    ASSERT_GT(n, 0);
    const std::string exe(buffer, static_cast<std::size_t>(n));
    const std::string file = exe.substr(exe.rfind('/') + 1);
    EXPECT_EQ(currentApplicationName(nullptr), utf8ToUtf16(file.substr(0, file.rfind('.'))));
    // argv[0] does not decide while the executable can be found.
    EXPECT_EQ(currentApplicationName("/elsewhere/other-name"), currentApplicationName(nullptr));
}

} // namespace
} // namespace zelvane
