// zelvane-cli search, run as a program over a snapshot file written for the test.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "document/snapshot_file.h"
#include "document/snapshot_tree.h"
#include "document/utf.h"

namespace zelvane {
namespace {

struct CliRun {
    int status = -1;
    std::string out;
};

CliRun runCli(const std::string& arguments) {
    CliRun run;
    const std::string command = std::string(ZELVANE_CLI_PATH) + " " + arguments + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.out.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class CliSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zelvane-cli-search-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        file_ = dir_ + "/s.zelv";

        SnapshotTree tree;
        const NodeId root = tree.insertLast(kTopLevel, u"Disk");
        tree.setKind(root, kKindDriveRoot);
        const NodeId docs = tree.insertLast(root, u" Docs");
        tree.setKind(docs, kKindFolder);
        tree.setKind(tree.insertLast(docs, u"ReadMe.txt"), kKindDocument);
        tree.setKind(tree.insertLast(docs, u"bad\x1b[31m.txt"), kKindDocument);
        tree.setKind(tree.insertLast(root, u"readme.md"), kKindDocument);
        ASSERT_TRUE(writeSnapshotFile(tree, file_).ok);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string dir_;
    std::string file_;
};

TEST_F(CliSearchTest, PrintsPathTabItemThenTheCount) {
    const CliRun run = runCli("search " + file_ + " readme");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, " Disk\\\\ Docs\tReadMe.txt\n Disk\treadme.md\n2 matches found.\n");
}

TEST_F(CliSearchTest, FlagsSelectTheOptions) {
    EXPECT_EQ(runCli("search " + file_ + " readme --match-case").out,
              " Disk\treadme.md\n1 matches found.\n");
    EXPECT_EQ(runCli("search --whole " + file_ + " ' Docs'").out,
              " Disk\t Docs\n1 matches found.\n");
    EXPECT_EQ(runCli("search " + file_ + " D --files-only --no-recursive").out,
              "0 matches found.\n");
    EXPECT_EQ(runCli("search " + file_ + " D --no-recursive").out, "\tDisk\n1 matches found.\n");
    // After "--" a pattern may begin with a dash.
    EXPECT_EQ(runCli("search " + file_ + " -- --x").out, "0 matches found.\n");
}

TEST_F(CliSearchTest, ControlCharactersAreEscaped) {
    const CliRun run = runCli("search " + file_ + " bad");
    EXPECT_EQ(run.out, " Disk\\\\ Docs\tbad\\x1B[31m.txt\n1 matches found.\n");
}

TEST_F(CliSearchTest, BadUsageAndMissingFilesFail) {
    EXPECT_EQ(runCli("search " + file_).status, 2);
    EXPECT_EQ(runCli("search " + file_ + " ''").status, 2);
    EXPECT_EQ(runCli("search " + file_ + " a b").status, 2);
    EXPECT_EQ(runCli("search " + file_ + " a --wholly").status, 2);
    EXPECT_EQ(runCli("search " + dir_ + "/missing.zelv a").status, 2);
    const CliRun help = runCli("search --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: zelvane-cli search FILE PATTERN"), std::string::npos);
}

} // namespace
} // namespace zelvane
