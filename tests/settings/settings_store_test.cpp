#include "settings/settings_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zelvane {
namespace {

using Event = MemorySettingsBackend::Event;
using Kind = MemorySettingsBackend::Event::Kind;
using Value = MemorySettingsBackend::Value;
using ::testing::ElementsAre;

Event text(std::u16string name, std::u16string value) {
    return {Kind::WriteText, std::move(name), std::move(value)};
}
Event number(std::u16string name, std::uint32_t value) {
    return {Kind::WriteNumber, std::move(name), value};
}
const Event kOpened{Kind::Open, u"Software\\Halcyra\\Zelvane", MemorySettingsBackend::Unreadable{}};
const Event kClosed{Kind::Close, u"", MemorySettingsBackend::Unreadable{}};

const RememberedInputs kChanged{{u"/media/cdrom", u"mp3;ogg", u"My CD"},
                                {u"*.Ω", true, true, true, false, true},
                                u"/opt/zelvane/"};

TEST(SettingsStoreTest, FirstRunWritesEveryDefaultInOrder) {
    MemorySettingsBackend backend;
    RememberedInputs defaults; // the caller's InstallDir default is used and written back too
    defaults.installDir = u"/usr/share/zelvane/";
    EXPECT_EQ(loadSettings(backend, defaults), defaults);
    EXPECT_THAT(backend.events,
                ElementsAre(kOpened, text(u"AddTree_Path", u"/"), text(u"AddTree_Filter", u"*"),
                            text(u"AddTree_Title", u""), text(u"Search_Pattern", u""),
                            number(u"Search_IsLocalSearch", 0), number(u"Search_IsMatchCase", 0),
                            number(u"Search_IsMatchWholePatternOnly", 0),
                            number(u"Search_IsRecursiveSearch", 1),
                            number(u"Search_IsFilesOnly", 0),
                            text(u"InstallDir", u"/usr/share/zelvane/"), kClosed));
}

TEST(SettingsStoreTest, SaveWritesNineInputsNeverInstallDirAndLoadGivesThemBack) {
    MemorySettingsBackend backend;
    loadSettings(backend);
    backend.values[u"InstallDir"] = std::u16string(u"/usr/share/zelvane/");
    backend.events.clear();
    RememberedInputs in = kChanged;
    saveSettings(backend, in);
    EXPECT_THAT(backend.events,
                ElementsAre(kOpened, text(u"AddTree_Path", u"/media/cdrom"),
                            text(u"AddTree_Filter", u"mp3;ogg"), text(u"AddTree_Title", u"My CD"),
                            text(u"Search_Pattern", u"*.Ω"), number(u"Search_IsLocalSearch", 1),
                            number(u"Search_IsMatchCase", 1),
                            number(u"Search_IsMatchWholePatternOnly", 1),
                            number(u"Search_IsRecursiveSearch", 0),
                            number(u"Search_IsFilesOnly", 1), kClosed));

    // The next start reads everything back and writes nothing; InstallDir is what was
    // stored, not what the program held.
    backend.events.clear();
    in.installDir = u"/usr/share/zelvane/";
    EXPECT_EQ(loadSettings(backend), in);
    EXPECT_THAT(backend.events, ElementsAre(kOpened, kClosed));
}

TEST(SettingsStoreTest, FlagIsOnOnlyForExactlyOne) {
    MemorySettingsBackend backend;
    loadSettings(backend);
    const std::pair<Value, bool> cases[] = {
        {0u, false},  {1u, true},    {2u, false},   {0xFFFFFFFFu, false},
        {u"1", true}, {u"01", true}, {u"2", false},
    };
    for (const auto& [stored, on] : cases) {
        backend.values[u"Search_IsMatchCase"] = stored;
        backend.events.clear();
        EXPECT_EQ(loadSettings(backend).search.isMatchCase, on);
        EXPECT_EQ(backend.events.size(), 2u); // a number that fits is not written back
    }
}

TEST(SettingsStoreTest, FailedReadsUseTheDefaultAndWriteItBack) {
    MemorySettingsBackend backend;
    saveSettings(backend, kChanged);
    backend.values[u"AddTree_Path"] = 42u; // a number read as a text is its digits
    backend.values[u"AddTree_Filter"] = MemorySettingsBackend::Unreadable{};
    backend.values[u"Search_Pattern"] = std::u16string(512, u'x');
    backend.values[u"AddTree_Title"] = std::u16string(511, u'y'); // fits exactly
    backend.values[u"Search_IsFilesOnly"] = u"yes";
    backend.values[u"Search_IsMatchCase"] = u"4294967296"; // over 32 bits
    backend.values[u"Search_IsLocalSearch"] = u"";
    backend.events.clear();

    const RememberedInputs in = loadSettings(backend);
    EXPECT_EQ(in.addTree.path, u"42");
    EXPECT_EQ(in.addTree.filter, u"*");
    EXPECT_EQ(in.addTree.title, std::u16string(511, u'y'));
    EXPECT_EQ(in.search.pattern, u"");
    EXPECT_FALSE(in.search.isLocalSearch || in.search.isMatchCase || in.search.isFilesOnly);
    EXPECT_TRUE(in.search.isMatchWholePatternOnly); // others stay as they were
    EXPECT_THAT(backend.events,
                ElementsAre(kOpened, text(u"AddTree_Filter", u"*"), text(u"Search_Pattern", u""),
                            number(u"Search_IsLocalSearch", 0), number(u"Search_IsMatchCase", 0),
                            number(u"Search_IsFilesOnly", 0), text(u"InstallDir", u""), kClosed));
}

TEST(SettingsStoreTest, KeyThatCannotBeOpenedGivesDefaultsAndKeepsWhatWasStored) {
    MemorySettingsBackend backend;
    saveSettings(backend, kChanged);
    backend.setBroken(true);
    EXPECT_EQ(loadSettings(backend), RememberedInputs{});
    saveSettings(backend, RememberedInputs{});
    backend.setBroken(false);
    EXPECT_EQ(loadSettings(backend).addTree.path, u"/media/cdrom");
}

TEST(SettingsStoreTest, KeyReadsNumbersThatFitIn32BitsAndTextsOfAtMost511Units) {
    using Text = std::u16string;
    const std::pair<Value, std::optional<std::uint32_t>> numbers[] = {
        {0u, 0},
        {0xFFFFFFFFu, 0xFFFFFFFFu},
        {Text(u"4294967295"), 0xFFFFFFFFu},
        {Text(u"4294967296"), std::nullopt},
        {Text(u"99999999999999999999999999"), std::nullopt},
        {Text(u"-1"), std::nullopt},
        {Text(u"12a"), std::nullopt},
        {Text(u"/1"), std::nullopt},
        {Text(u":1"), std::nullopt},
        {MemorySettingsBackend::Unreadable{}, std::nullopt},
    };
    const std::pair<Value, std::optional<Text>> texts[] = {
        {0u, u"0"},
        {4294967295u, u"4294967295"},
        {Text(511, u'y'), Text(511, u'y')},
        {Text(512, u'y'), std::nullopt},
        {MemorySettingsBackend::Unreadable{}, std::nullopt},
    };
    MemorySettingsBackend backend;
    SettingsKey key(backend);
    key.open(Text(600, u'k'));
    EXPECT_EQ(key.path(), Text(511, u'k'));
    EXPECT_EQ(backend.events.at(0).name, Text(511, u'k'));
    for (const auto& [stored, read] : numbers) {
        backend.values[u"N"] = stored;
        backend.events.clear();
        EXPECT_EQ(key.readNumber(u"N", 5), read.value_or(5));
        EXPECT_EQ(backend.events, read ? std::vector<Event>{} : std::vector{number(u"N", 5)});
    }
    for (const auto& [stored, read] : texts) {
        backend.values[u"T"] = stored;
        backend.events.clear();
        EXPECT_EQ(key.readText(u"T", u"d"), read.value_or(u"d"));
        EXPECT_EQ(backend.events, read ? std::vector<Event>{} : std::vector{text(u"T", u"d")});
    }
    // A closed key reads nothing.
    key.close();
    EXPECT_EQ(key.readText(u"T", u"closed"), u"closed");
}

} // namespace
} // namespace zelvane
