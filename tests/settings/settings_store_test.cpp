#include "settings/settings_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zelvane {
namespace {

using Event = MemorySettingsBackend::Event;
using Kind = MemorySettingsBackend::Event::Kind;
using ::testing::ElementsAre;

const std::vector<std::u16string> kReadOrder = {
    u"AddTree_Path",
    u"AddTree_Filter",
    u"AddTree_Title",
    u"Search_Pattern",
    u"Search_IsLocalSearch",
    u"Search_IsMatchCase",
    u"Search_IsMatchWholePatternOnly",
    u"Search_IsRecursiveSearch",
    u"Search_IsFilesOnly",
    u"InstallDir",
};

Event text(std::u16string name, std::u16string value) {
    return {Kind::WriteText, std::move(name), std::move(value)};
}
Event number(std::u16string name, std::uint32_t value) {
    return {Kind::WriteNumber, std::move(name), value};
}
Event opened() {
    return {Kind::Open, u"Software\\Halcyra\\Zelvane", MemorySettingsBackend::Unreadable{}};
}
Event closed() {
    return {Kind::Close, u"", MemorySettingsBackend::Unreadable{}};
}

RememberedInputs changedInputs() {
    RememberedInputs in;
    in.addTree = {u"/media/cdrom", u"mp3;ogg", u"My CD"};
    in.search.pattern = u"*.Ω";
    in.search.isLocalSearch = true;
    in.search.isMatchCase = true;
    in.search.isMatchWholePatternOnly = true;
    in.search.isRecursiveSearch = false;
    in.search.isFilesOnly = true;
    in.installDir = u"/opt/zelvane/";
    return in;
}

TEST(SettingsStoreTest, FirstRunCreatesEveryValueWithItsDefault) {
    MemorySettingsBackend backend;
    const RememberedInputs in = loadSettings(backend);
    EXPECT_EQ(in, RememberedInputs{});
    EXPECT_EQ(in.addTree.path, u"/");
    EXPECT_EQ(in.addTree.filter, u"*");
    EXPECT_EQ(in.addTree.title, u"");
    EXPECT_EQ(in.search.pattern, u"");
    EXPECT_FALSE(in.search.isLocalSearch || in.search.isMatchCase ||
                 in.search.isMatchWholePatternOnly || in.search.isFilesOnly);
    EXPECT_TRUE(in.search.isRecursiveSearch);
    EXPECT_EQ(in.installDir, u"");

    EXPECT_EQ(backend.reads, kReadOrder);
    EXPECT_THAT(backend.events,
                ElementsAre(opened(), text(u"AddTree_Path", u"/"), text(u"AddTree_Filter", u"*"),
                            text(u"AddTree_Title", u""), text(u"Search_Pattern", u""),
                            number(u"Search_IsLocalSearch", 0), number(u"Search_IsMatchCase", 0),
                            number(u"Search_IsMatchWholePatternOnly", 0),
                            number(u"Search_IsRecursiveSearch", 1),
                            number(u"Search_IsFilesOnly", 0), text(u"InstallDir", u""), closed()));
    EXPECT_EQ(backend.values.size(), 10u);
    EXPECT_FALSE(backend.isOpen());
}

TEST(SettingsStoreTest, SaveWritesTheNineInputsInOrderAndLoadGivesThemBack) {
    MemorySettingsBackend backend;
    loadSettings(backend);
    backend.events.clear();
    RememberedInputs in = changedInputs();
    saveSettings(backend, in);
    EXPECT_THAT(backend.events,
                ElementsAre(opened(), text(u"AddTree_Path", u"/media/cdrom"),
                            text(u"AddTree_Filter", u"mp3;ogg"), text(u"AddTree_Title", u"My CD"),
                            text(u"Search_Pattern", u"*.Ω"), number(u"Search_IsLocalSearch", 1),
                            number(u"Search_IsMatchCase", 1),
                            number(u"Search_IsMatchWholePatternOnly", 1),
                            number(u"Search_IsRecursiveSearch", 0),
                            number(u"Search_IsFilesOnly", 1), closed()));

    // A second start reads everything back and writes nothing; InstallDir keeps what
    // was stored (the empty default), not what the program held.
    backend.events.clear();
    const RememberedInputs back = loadSettings(backend);
    EXPECT_THAT(backend.events, ElementsAre(opened(), closed()));
    in.installDir = u"";
    EXPECT_EQ(back, in);
}

TEST(SettingsStoreTest, FlagIsOnOnlyForExactlyOne) {
    MemorySettingsBackend backend;
    loadSettings(backend);
    const std::pair<MemorySettingsBackend::Value, bool> cases[] = {
        {std::uint32_t{0}, false},     {std::uint32_t{1}, true},
        {std::uint32_t{2}, false},     {std::uint32_t{0xFFFFFFFF}, false},
        {std::u16string(u"1"), true},  {std::u16string(u"01"), true},
        {std::u16string(u"2"), false},
    };
    for (const auto& [stored, on] : cases) {
        backend.values[u"Search_IsMatchCase"] = stored;
        backend.events.clear();
        EXPECT_EQ(loadSettings(backend).search.isMatchCase, on);
        // A number that fits is taken as it is: nothing is written back.
        EXPECT_EQ(backend.events.size(), 2u);
    }
}

TEST(SettingsStoreTest, RecursiveSetToTwoReadsOffAndIsSavedAsZero) {
    MemorySettingsBackend backend;
    loadSettings(backend);
    backend.values[u"Search_IsRecursiveSearch"] = std::uint32_t{2};
    const RememberedInputs in = loadSettings(backend);
    EXPECT_FALSE(in.search.isRecursiveSearch);
    EXPECT_EQ(backend.values[u"Search_IsRecursiveSearch"], MemorySettingsBackend::Value(2u));
    saveSettings(backend, in);
    EXPECT_EQ(backend.values[u"Search_IsRecursiveSearch"], MemorySettingsBackend::Value(0u));
}

TEST(SettingsStoreTest, FailedReadsUseTheDefaultAndWriteItBack) {
    MemorySettingsBackend backend;
    loadSettings(backend);
    backend.values[u"AddTree_Filter"] = MemorySettingsBackend::Unreadable{};
    backend.values[u"Search_Pattern"] = std::u16string(512, u'x');
    backend.values[u"AddTree_Title"] = std::u16string(511, u'y'); // fits exactly
    backend.values[u"Search_IsFilesOnly"] = std::u16string(u"yes");
    backend.values[u"Search_IsMatchCase"] = std::u16string(u"4294967296"); // over 32 bits
    backend.values[u"Search_IsLocalSearch"] = std::u16string(u"");
    backend.values.erase(u"InstallDir");
    backend.events.clear();

    const RememberedInputs in = loadSettings(backend);
    EXPECT_EQ(in.addTree.filter, u"*");
    EXPECT_EQ(in.search.pattern, u"");
    EXPECT_EQ(in.addTree.title, std::u16string(511, u'y'));
    EXPECT_FALSE(in.search.isFilesOnly);
    EXPECT_FALSE(in.search.isMatchCase);
    EXPECT_EQ(in.installDir, u"");
    EXPECT_THAT(backend.events,
                ElementsAre(opened(), text(u"AddTree_Filter", u"*"), text(u"Search_Pattern", u""),
                            number(u"Search_IsLocalSearch", 0), number(u"Search_IsMatchCase", 0),
                            number(u"Search_IsFilesOnly", 0), text(u"InstallDir", u""), closed()));
}

TEST(SettingsStoreTest, DeletedValueIsRecreatedOthersStay) {
    MemorySettingsBackend backend;
    saveSettings(backend, changedInputs());
    backend.values.erase(u"AddTree_Filter");
    const RememberedInputs in = loadSettings(backend);
    EXPECT_EQ(in.addTree.filter, u"*");
    EXPECT_EQ(in.addTree.path, u"/media/cdrom");
    EXPECT_TRUE(in.search.isFilesOnly);
    EXPECT_EQ(backend.values.at(u"AddTree_Filter"), MemorySettingsBackend::Value(u"*"));
}

TEST(SettingsStoreTest, TypeOfStoredValueIsNotTested) {
    MemorySettingsBackend backend;
    loadSettings(backend);
    backend.values[u"Search_Pattern"] = std::uint32_t{42};
    backend.values[u"InstallDir"] = std::u16string(u"/usr/share/zelvane/");
    const RememberedInputs in = loadSettings(backend);
    EXPECT_EQ(in.search.pattern, u"42");
    EXPECT_EQ(in.installDir, u"/usr/share/zelvane/");
    // Saving never touches InstallDir.
    saveSettings(backend, changedInputs());
    EXPECT_EQ(backend.values.at(u"InstallDir"),
              MemorySettingsBackend::Value(u"/usr/share/zelvane/"));
}

TEST(SettingsStoreTest, KeyThatCannotBeOpenedGivesDefaults) {
    MemorySettingsBackend backend;
    saveSettings(backend, changedInputs());
    backend.setBroken(true);
    EXPECT_EQ(loadSettings(backend), RememberedInputs{});
    saveSettings(backend, RememberedInputs{});
    backend.setBroken(false);
    // Nothing reached the store while it was broken.
    EXPECT_EQ(loadSettings(backend).addTree.path, u"/media/cdrom");
}

TEST(SettingsStoreTest, CallerDefaultsAreUsedAndWrittenBack) {
    MemorySettingsBackend backend;
    RememberedInputs defaults;
    defaults.installDir = u"/usr/share/zelvane/";
    EXPECT_EQ(loadSettings(backend, defaults).installDir, u"/usr/share/zelvane/");
    EXPECT_EQ(backend.values.at(u"InstallDir"),
              MemorySettingsBackend::Value(u"/usr/share/zelvane/"));
}

TEST(SettingsKeyTest, SingleValues) {
    MemorySettingsBackend backend;
    SettingsKey key(backend);
    key.open(kSettingsSubkey);
    EXPECT_EQ(key.path(), u"Software\\Halcyra\\Zelvane");
    key.writeFlag(u"F", true);
    key.writeNumber(u"N", 7);
    key.writeText(u"T", u"text");
    EXPECT_TRUE(key.readFlag(u"F", false));
    EXPECT_EQ(key.readNumber(u"N", 0), 7u);
    EXPECT_EQ(key.readText(u"T", u"d"), u"text");
    EXPECT_EQ(key.readNumber(u"Missing", 9), 9u);
    EXPECT_EQ(backend.values.at(u"Missing"), MemorySettingsBackend::Value(9u));
    key.close();
}

} // namespace
} // namespace zelvane
