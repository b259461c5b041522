#include "capture/classification.h"

#include <array>
#include <cstddef>

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

// The longest text any rule compares with (".MANIFEST", "AUTORUN").
constexpr std::size_t kLongestEntry = 9;

// Folds a to z into buf; false when text is too long to equal any table text.
bool foldShort(std::u16string_view text, char16_t (&buf)[kLongestEntry], std::size_t& length) {
    if (text.size() > kLongestEntry) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        buf[i] = asciiUpper(text[i]);
    }
    length = text.size();
    return true;
}

} // namespace

int classifyFile(std::u16string_view base, std::u16string_view extension) {
    char16_t extBuf[kLongestEntry];
    std::size_t extLength = 0;
    if (!foldShort(extension, extBuf, extLength)) {
        return kKindOther;
    }
    const std::u16string_view ext(extBuf, extLength);
    char16_t baseBuf[kLongestEntry];
    std::size_t baseLength = 0;
    if (ext == u".INF" && foldShort(base, baseBuf, baseLength) &&
        std::u16string_view(baseBuf, baseLength) == u"AUTORUN") {
        return kKindAutorun;
    }
    if (ext == u".ZELV") {
        return kKindSnapshotDocument;
    }
    if (ext == u".LNK" || ext == u".URL") {
        return kKindShortcut;
    }
    for (const ExtensionGroup& group : kGroups) {
        for (std::size_t i = 0; i < group.count; ++i) {
            if (group.members[i] == ext) {
                return group.kind;
            }
        }
    }
    return kKindOther;
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

} // namespace zelvane
