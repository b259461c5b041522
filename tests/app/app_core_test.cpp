// The toolkit-free parts: the program's name, its command line and the window menu's About item.
#include "support/test_common.h"

#include "app/app_name.h"
#include "app/command_ids.h"
#include "app/command_line.h"
#include "text/utf.h"

namespace zelvane {
namespace {

TEST(AppName, IsTheFileNameWithoutItsExtension) {
    EXPECT_EQ(applicationNameFromPath(u"/usr/bin/zelvane"), u"zelvane");
    EXPECT_EQ(applicationNameFromPath(u"./my.tool.bin"), u"my.tool");
    EXPECT_EQ(applicationNameFromPath(u"/opt/.zelvane"), u".zelvane");
    EXPECT_EQ(applicationNameFromPath(u"/opt/dir.d/tool"), u"tool");
    EXPECT_EQ(applicationNameFromPath(u"/opt/"), u"");
}

TEST(AppName, OfTheRunningProgramIsItsExecutablesAlsoAfterItIsDeleted) {
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    if (std::getenv("ZELVANE_DELETE_SELF") != nullptr) { // the copy started below
        std::filesystem::remove(exe);
        EXPECT_EQ(currentApplicationName(nullptr), u"zelvane-copy");
        return;
    }
    const std::string file = exe.substr(exe.rfind('/') + 1);
    EXPECT_EQ(currentApplicationName(nullptr), utf8ToUtf16(file.substr(0, file.rfind('.'))));
    EXPECT_EQ(currentApplicationName("/elsewhere/other-name"), currentApplicationName(nullptr));
    // The kernel adds " (deleted)" to the link of an executable removed while it runs.
    const testing::TempTree dir;
    std::filesystem::copy_file(exe, dir.at("zelvane-copy"));
    const std::string run = "ZELVANE_DELETE_SELF=1 " + dir.at("zelvane-copy");
    EXPECT_EQ(std::system((run + " --gtest_filter=AppName.OfTheRunning*").c_str()), 0);
}

TEST(CommandLine, ExactlyOneNonEmptyArgumentOpensASnapshot) {
    using Args = std::vector<std::u16string>;
    EXPECT_EQ(snapshotToOpen(Args{u"backup.zelv"}), u"backup.zelv");
    EXPECT_FALSE(snapshotToOpen(Args{}).has_value());
    EXPECT_FALSE(snapshotToOpen(Args{u""}).has_value());
    EXPECT_FALSE(snapshotToOpen(Args{u"a.zelv", u"b.zelv"}).has_value());
}

// The window menu's About item is recognised after masking the low four bits.
static_assert(isAboutSysCommand(IDM_ABOUTBOX) && isAboutSysCommand(IDM_ABOUTBOX | 0x000F));
static_assert(!isAboutSysCommand(32) && !isAboutSysCommand(SC_CLOSE));

} // namespace
} // namespace zelvane
