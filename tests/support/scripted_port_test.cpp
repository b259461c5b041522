// The scripted port must catch scripts that do not match what a command does.
#include "support/scripted_port.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace zelvane::testing {
namespace {

TEST(ScriptedPortTest, RecordsCallsAndAnswersInOrder) {
    ScriptedPort port;
    port.answer(MessageAnswer::Yes).choose(u"/tmp/x/a.zelv").cancel().custom("dialog", 7);
    EXPECT_EQ(port.messageBox(u"Line\n\tend", u"Cap", MessageIcon::Question, MessageButtons::YesNo),
              MessageAnswer::Yes);
    const auto chosen = port.fileDialog(FileDialogRequest{});
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->title, u"a.zelv");
    EXPECT_FALSE(port.fileDialog(FileDialogRequest{}));
    EXPECT_EQ(std::any_cast<int>(port.takeCustom("dialog", u"arg")), 7);
    port.setCaption(u"C");
    port.endMainWindow(0);
    EXPECT_EQ(port.pending(), 0u);
    const std::vector<std::string> expected = {
        R"(message "Line\n\tend" | "Cap" | Question | YesNo -> Yes)",
        R"(open dialog "" -> "/tmp/x/a.zelv")",
        R"(open dialog "" -> cancel)",
        R"(dialog "arg" -> scripted)",
        R"(caption "C")",
        "end 0",
    };
    EXPECT_EQ(port.transcript(), expected);
}

TEST(ScriptedPortTest, MissingOrMismatchedEntriesFailTheTest) {
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedPort port;
            port.messageBox(u"t", u"c", MessageIcon::None, MessageButtons::Ok);
        },
        "no script entry for message \"t\"");
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedPort port;
            port.answer(MessageAnswer::Ok);
            port.fileDialog(FileDialogRequest{});
            port.discardScript();
        },
        "does not answer open dialog");
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedPort port;
            port.answer(MessageAnswer::Ok);
            EXPECT_EQ(port.messageBox(u"q", u"c", MessageIcon::Question, MessageButtons::YesNo),
                      MessageAnswer::No);
        },
        "does not fit the buttons");
    EXPECT_NONFATAL_FAILURE({ ScriptedPort().answer(MessageAnswer::Yes); },
                            "1 script entries were never used");
}

} // namespace
} // namespace zelvane::testing
