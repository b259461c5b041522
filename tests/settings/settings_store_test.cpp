#include "settings/settings_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/memory_settings.h"

namespace zelvane {
namespace {

using Event = MemorySettingsBackend::Event;
using Kind = MemorySettingsBackend::Event::Kind;
using Value = MemorySettingsBackend::Value;
using Text = std::u16string;
using ::testing::ElementsAre;

const auto text = [](Text name, Text value) { return Event{Kind::WriteText, name, value}; };
const auto number = [](Text name, std::uint32_t n) { return Event{Kind::WriteNumber, name, n}; };
const Event kOpened{Kind::Open, u"Software\\Halcyra\\Zelvane", MemorySettingsBackend::Unreadable{}};
const Event kClosed{Kind::Close, u"", MemorySettingsBackend::Unreadable{}};

// GCC 12 at -O3 wrongly reports this constant's strings as maybe uninitialized.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
const RememberedInputs kChanged{{u"/media/cdrom", u"mp3;ogg", u"My CD"},
                                {u"*.Ω", true, true, true, false, true},
                                u"/opt/zelvane/"};
#pragma GCC diagnostic pop

TEST(SettingsStoreTest, FirstRunWritesEveryDefaultAndSaveEveryInputButInstallDir) {
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
    backend.events.clear();
    saveSettings(backend, kChanged);
    EXPECT_THAT(backend.events,
                ElementsAre(kOpened, text(u"AddTree_Path", u"/media/cdrom"),
                            text(u"AddTree_Filter", u"mp3;ogg"), text(u"AddTree_Title", u"My CD"),
                            text(u"Search_Pattern", u"*.Ω"), number(u"Search_IsLocalSearch", 1),
                            number(u"Search_IsMatchCase", 1),
                            number(u"Search_IsMatchWholePatternOnly", 1),
                            number(u"Search_IsRecursiveSearch", 0),
                            number(u"Search_IsFilesOnly", 1), kClosed));
    // Loads read it all back, InstallDir as stored; a value that cannot be read gets its
    // default, written back; a key that cannot be opened gives the defaults and keeps all.
    RememberedInputs expected = kChanged;
    expected.installDir = u"/usr/share/zelvane/";
    EXPECT_EQ(loadSettings(backend), expected);
    backend.values[u"AddTree_Filter"] = MemorySettingsBackend::Unreadable{};
    backend.events.clear();
    expected.addTree.filter = u"*";
    EXPECT_EQ(loadSettings(backend), expected);
    EXPECT_THAT(backend.events, ElementsAre(kOpened, text(u"AddTree_Filter", u"*"), kClosed));
    backend.setBroken(true);
    EXPECT_EQ(loadSettings(backend), RememberedInputs{});
    saveSettings(backend, RememberedInputs{});
    backend.setBroken(false);
    EXPECT_EQ(loadSettings(backend), expected);
}

// What a value holds, as a number (a flag: on only for exactly 1) and as a text; a value
// read as neither gets its default, written back.
TEST(SettingsStoreTest, KeyReadsNumbersThatFitIn32BitsAndTextsOfAtMost511Units) {
    std::vector<std::tuple<Value, std::optional<std::uint32_t>, std::optional<Text>>> cases = {
        {1u, 1, u"1"},
        {0xFFFFFFFFu, 0xFFFFFFFFu, u"4294967295"},
        {u"01", 1, u"01"},
        {u"4294967295", 0xFFFFFFFFu, u"4294967295"},
        {Text(511, u'y'), {}, Text(511, u'y')},
        {Text(512, u'y'), {}, {}},
        {MemorySettingsBackend::Unreadable{}, {}, {}}};
    for (const char16_t* bad : {u"4294967296", u"99999999999999999999", u"-1", u"", u"/1", u":1"}) {
        cases.emplace_back(Text(bad), std::nullopt, Text(bad));
    }
    MemorySettingsBackend backend;
    SettingsKey key(backend);
    key.open(Text(600, u'k'));
    EXPECT_EQ(backend.events.at(0).name, Text(511, u'k'));
    for (const auto& [stored, readNumber, readText] : cases) {
        backend.events.clear();
        backend.values[u"V"] = stored;
        EXPECT_EQ(key.readText(u"V", u"d"), readText.value_or(u"d"));
        backend.values[u"V"] = stored;
        EXPECT_EQ(key.readNumber(u"V", 5), readNumber.value_or(5));
        backend.values[u"V"] = stored;
        EXPECT_EQ(key.readFlag(u"V", true), readNumber.value_or(1) == 1);
        const std::vector<Event> none, numbers{number(u"V", 5), number(u"V", 1)},
            all{text(u"V", u"d"), number(u"V", 5), number(u"V", 1)};
        EXPECT_EQ(backend.events, !readText ? all : readNumber ? none : numbers);
    }
    key.close(); // a closed key reads nothing
    EXPECT_EQ(key.readText(u"V", u"closed"), u"closed");
}

} // namespace
} // namespace zelvane
