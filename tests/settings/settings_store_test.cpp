#include "settings/settings_store.h"

#include "support/test_common.h"

#include "support/memory_settings.h"
#include "text/utf.h"

namespace zelvane {
namespace {

using Text = std::u16string;

// The events since the last call: "open KEY", "NAME=text", "NAME#number", "close".
std::string drain(MemorySettingsBackend& backend) {
    using enum MemorySettingsBackend::Event::Kind;
    std::string out;
    for (const auto& [kind, name, value] : backend.events) {
        const auto* number = std::get_if<std::uint32_t>(&value);
        out += (kind == Open ? "open " : "") + (kind == Close ? "close" : utf16ToUtf8(name)) +
               (kind == WriteNumber ? "#" + std::to_string(*number) : "") +
               (kind == WriteText ? "=" + utf16ToUtf8(std::get<Text>(value)) : "") + ' ';
    }
    backend.events.clear();
    return out;
}

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
    EXPECT_EQ(drain(backend),
              "open Software\\Halcyra\\Zelvane AddTree_Path=/ AddTree_Filter=* AddTree_Title= "
              "Search_Pattern= Search_IsLocalSearch#0 Search_IsMatchCase#0 "
              "Search_IsMatchWholePatternOnly#0 Search_IsRecursiveSearch#1 Search_IsFilesOnly#0 "
              "InstallDir=/usr/share/zelvane/ close ");
    saveSettings(backend, kChanged);
    EXPECT_EQ(drain(backend),
              "open Software\\Halcyra\\Zelvane AddTree_Path=/media/cdrom AddTree_Filter=mp3;ogg "
              "AddTree_Title=My CD Search_Pattern=*.Ω Search_IsLocalSearch#1 Search_IsMatchCase#1 "
              "Search_IsMatchWholePatternOnly#1 Search_IsRecursiveSearch#0 Search_IsFilesOnly#1 "
              "close ");
    // Loads read it all back, InstallDir as stored, and write nothing (a value that cannot be
    // read: SettingsKey's test); a key that cannot be opened gives the defaults and keeps all.
    RememberedInputs expected = kChanged;
    expected.installDir = u"/usr/share/zelvane/";
    EXPECT_EQ(loadSettings(backend), expected);
    EXPECT_EQ(drain(backend), "open Software\\Halcyra\\Zelvane close ");
    backend.setBroken(true);
    EXPECT_EQ(loadSettings(backend), RememberedInputs{});
    saveSettings(backend, RememberedInputs{});
    backend.setBroken(false);
    EXPECT_EQ(loadSettings(backend), expected);
}

// A value as a number (a flag: on only for exactly 1) and as a text; neither: the default.
TEST(SettingsStoreTest, KeyReadsNumbersThatFitIn32BitsAndTextsOfAtMost511Units) {
    using Number = std::optional<std::uint32_t>;
    std::vector<std::tuple<MemorySettingsBackend::Value, Number, std::optional<Text>>> cases = {
        {1u, 1, u"1"},
        {0xFFFFFFFFu, 0xFFFFFFFFu, u"4294967295"},
        {u"01", 1, u"01"}, //
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
        drain(backend);
        backend.values[u"V"] = stored;
        EXPECT_EQ(key.readText(u"V", u"d"), readText.value_or(u"d"));
        backend.values[u"V"] = stored;
        EXPECT_EQ(key.readNumber(u"V", 5), readNumber.value_or(5));
        backend.values[u"V"] = stored;
        EXPECT_EQ(key.readFlag(u"V", true), readNumber.value_or(1) == 1);
        EXPECT_EQ(drain(backend), !readText ? "V=d V#5 V#1 " : readNumber ? "" : "V#5 V#1 ");
    }
    key.close(); // a closed key reads nothing
    EXPECT_EQ(key.readText(u"V", u"closed"), u"closed");
}

} // namespace
} // namespace zelvane
