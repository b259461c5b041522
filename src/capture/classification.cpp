#include "capture/classification.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "document/node_text.h"
#include "document/snapshot_tree.h"
#include "text/text.h"

namespace zelvane {

namespace {

struct ExtensionGroup {
    int kind;
    const std::u16string_view* members;
    std::size_t count;
};

// The extension table, tested group by group in this order. No extension is in two groups.
constexpr std::u16string_view kSystemGroup[] = {
    u".DLL", u".OCX", u".SYS", u".HLP", u".CHM", u".CNT", u".MDB",
    u".DAT", u".CPL", u".LIB", u".DRV", u".TTF", u".FNT",
};
constexpr std::u16string_view kProgramGroup[] = {u".EXE", u".COM", u".CGI", u".SCR", u".PIF"};
constexpr std::u16string_view kArchiveGroup[] = {
    u".RAR", u".ZIP", u".ACE", u".CAB", u".PAK", u".TAR", u".GZ",
    u".TGZ", u".7Z",  u".MSI", u".JAR", u".XPI", u".BZ2",
};
constexpr std::u16string_view kDocumentGroup[] = {
    u".DOC", u".TXT", u".RTF", u".XLS",  u".HTML", u".HTM", u".ME",  u".H",        u".HPP",
    u".INI", u".CFG", u".LOG", u".INF",  u".PDF",  u".C",   u".CPP", u".PAS",      u".PL",
    u".ASM", u".JS",  u".CSS", u".VBS",  u".CS",   u".VB",  u".CMD", u".BAT",      u".CONFIG",
    u".PHP", u".XML", u".ASP", u".ASPX", u".SQL",  u".INC", u".DIZ", u".MANIFEST",
};
constexpr std::u16string_view kMediaGroup[] = {
    u".MP2",  u".MP3", u".MP4", u".WAV",  u".MID", u".AVI", u".MOV", u".MPG", u".MPEG",
    u".WMV",  u".BMP", u".JPG", u".JPEG", u".PNG", u".GIF", u".TGA", u".ICO", u".PCX",
    u".TIFF", u".WMF", u".EMF", u".PSD",  u".CDR", u".TIF", u".VOB", u".CUR", u".ANI",
};

constexpr std::array<ExtensionGroup, 5> kGroups = {{
    {kKindSystem, kSystemGroup, std::size(kSystemGroup)},
    {kKindProgram, kProgramGroup, std::size(kProgramGroup)},
    {kKindArchive, kArchiveGroup, std::size(kArchiveGroup)},
    {kKindDocument, kDocumentGroup, std::size(kDocumentGroup)},
    {kKindMedia, kMediaGroup, std::size(kMediaGroup)},
}};

// Extensions are looked up by their letters after the dot, packed into one number (at
// most eight units below 128, the first in the highest byte): a binary search of the
// table's 93 entries instead of a walk through every group.
constexpr std::size_t kPackedUnits = 8;

// The extension folded to upper case and packed; 0 when no table entry can equal it.
std::uint64_t packExtension(std::u16string_view extension) {
    if (extension.size() < 2 || extension.size() > kPackedUnits + 1 || extension[0] != u'.') {
        return 0;
    }
    std::uint64_t packed = 0;
    for (std::size_t i = 1; i < extension.size(); ++i) {
        const char16_t c = asciiUpper(extension[i]);
        if (c == 0 || c >= 0x80) {
            return 0;
        }
        packed |= std::uint64_t{c} << (8 * (kPackedUnits - i));
    }
    return packed;
}

struct PackedEntry {
    std::uint64_t extension;
    int kind;
    bool operator<(const PackedEntry& other) const { return extension < other.extension; }
};

// Every extension that has a kind of its own, sorted for the search.
const std::vector<PackedEntry>& packedTable() {
    static const std::vector<PackedEntry> table = [] {
        std::vector<PackedEntry> entries;
        for (const ExtensionGroup& group : kGroups) {
            for (std::size_t i = 0; i < group.count; ++i) {
                entries.push_back({packExtension(group.members[i]), group.kind});
            }
        }
        entries.push_back({packExtension(u".ZELV"), kKindSnapshotDocument});
        entries.push_back({packExtension(u".LNK"), kKindShortcut});
        entries.push_back({packExtension(u".URL"), kKindShortcut});
        std::sort(entries.begin(), entries.end());
        return entries;
    }();
    return table;
}

bool isAutorun(std::u16string_view base) {
    constexpr std::u16string_view kAutorun = u"AUTORUN";
    if (base.size() != kAutorun.size()) {
        return false;
    }
    for (std::size_t i = 0; i < base.size(); ++i) {
        if (asciiUpper(base[i]) != kAutorun[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

int classifyFile(std::u16string_view base, std::u16string_view extension) {
    const std::uint64_t packed = packExtension(extension);
    if (packed == 0) {
        return kKindOther;
    }
    if (packed == packExtension(u".INF") && isAutorun(base)) {
        return kKindAutorun;
    }
    const std::vector<PackedEntry>& table = packedTable();
    const auto found = std::lower_bound(table.begin(), table.end(), PackedEntry{packed, 0});
    return found != table.end() && found->extension == packed ? found->kind : kKindOther;
}

NameParts splitExtension(std::u16string_view name) {
    const std::size_t dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos) {
        return {name, {}};
    }
    return {name.substr(0, dot), name.substr(dot)};
}

bool passesFilter(std::u16string_view filter, std::u16string_view extension) {
    if (filter == u"*") {
        return true;
    }
    if (extension.empty()) {
        return false; // no dot: nothing to compare with
    }
    return extension.substr(1) == filter;
}

void finishFolderNode(SnapshotTree& tree, NodeId node, std::u16string_view name,
                      std::u16string& text) {
    assignFolderText(text, name);
    tree.setTextAndBold(node, text);
    tree.setKind(node, kKindFolder);
}

} // namespace zelvane
