// The HTML export: the page template with the icons and the catalogue filled in.
//
// The catalogue goes into the page as one JSON object, small enough for a million nodes:
//   {"title": "...", "kinds": [the kind names],
//    "names": the stored texts in tree order, each followed by U+0000 but the last,
//    "depth": one character a node in tree order, its code minus 48 the node's level,
//    "kind":  the same for the node's kind}
// Every "<" in it is written as \u003c, so that nothing in a name can end the script. The
// names are written as the files are read; only the depth and kind characters (one or two
// bytes a node each) are held until the end.
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_export.h"
#include "cli/cli_export_assets.h"
#include "cli/cli_output.h"
#include "version.h"

namespace zelvane::cli {

namespace {

constexpr int kCodeBase = 48;                    // '0': the depth and kind characters start here
constexpr std::string_view kNameEnd = "\\u0000"; // what goes between two names

void appendBase64(std::string& out, std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                           static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += kDigits[(v >> 6) & 63];
        out += kDigits[v & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2) {
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        }
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += rest == 2 ? kDigits[(v >> 6) & 63] : '=';
        out += '=';
    }
}

// Writes each "<" of the JSON from out's byte from on as \u003c, so that it cannot be read
// as the start of a tag.
void makeScriptSafe(std::string& out, std::size_t from) {
    const std::size_t first = out.find('<', from);
    if (first == std::string::npos) {
        return;
    }
    const std::string rest = out.substr(first);
    out.resize(first);
    for (const char c : rest) {
        if (c == '<') {
            out += "\\u003c";
        } else {
            out += c;
        }
    }
}

void appendJsonForScript(std::string& out, std::u16string_view text) {
    const std::size_t from = out.size();
    appendJsonString(out, text);
    makeScriptSafe(out, from);
}

// One character of the depth or kind strings, inside a JSON string. Levels and kinds are
// at most 255 (their bytes in the snapshot file), so the character is one or two bytes.
void appendCode(std::string& out, std::size_t value) {
    const unsigned cp = static_cast<unsigned>(std::min<std::size_t>(value, 255) + kCodeBase);
    if (cp == '\\') {
        out += "\\\\";
    } else if (cp == '<') {
        out += "\\u003c";
    } else if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void appendHtmlText(std::string& out, std::u16string_view text) {
    std::string shown;
    appendDisplay(shown, text);
    for (char c : shown) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
}

void appendIconStyles(std::string& out) {
    for (std::size_t kind = 0; kind < kKindIcons.size(); ++kind) {
        out +=
            ".k" + std::to_string(kind) + " { background-image: url(\"data:image/svg+xml;base64,";
        appendBase64(out, kKindIcons[kind]);
        out += "\"); }\n";
    }
}

// The names of a part, each after a U+0000, and their depth and kind characters.
class PagePart final : public PartVisitor {
public:
    PagePart() { names.reserve(TextPart::kFullPart + TextPart::kRowRoom); }
    bool visit(const ReadChain& chain) override;
    bool full() const override { return names.size() >= TextPart::kFullPart; }
    std::string names;
    std::string depths;
    std::string kinds;
};

class CataloguePageWriter final : public ExportWriter {
public:
    explicit CataloguePageWriter(std::u16string_view title) : title_(title) {}
    void begin(Output& out) override;
    std::unique_ptr<PartVisitor> part(std::string_view) override {
        return std::make_unique<PagePart>();
    }
    void take(PartVisitor& part, Output& out) override;
    void end(Output& out) override;

private:
    std::u16string title_;
    std::string_view page_ = kCataloguePage; // what is left of the page to write
    // The parts' depth and kind characters, a part's in each: never copied to grow.
    std::vector<std::string> depths_;
    std::vector<std::string> kinds_;
    bool first_ = true;
};

// Writes the page up to marker, then what fill writes in its place.
template <typename Fill>
void fillIn(std::string_view& page, std::string_view marker, Output& out, Fill fill) {
    const std::size_t at = page.find(marker);
    out.buffer() += page.substr(0, at);
    fill(out.buffer());
    page.remove_prefix(at + marker.size());
}

void CataloguePageWriter::begin(Output& out) {
    // The markers come in this order in the page, each once.
    fillIn(page_, "@VERSION@", out, [](std::string& o) { o += kVersion; });
    fillIn(page_, "@TITLE@", out, [&](std::string& o) { appendHtmlText(o, title_); });
    fillIn(page_, "/*@ICONS@*/", out, appendIconStyles);
    fillIn(page_, "@DATA@", out, [&](std::string& o) {
        o += "{\"title\":";
        appendJsonForScript(o, title_);
        o += ",\"kinds\":[";
        for (int kind = 0; kind < kKindCount; ++kind) {
            o += kind > 0 ? ",\"" : "\"";
            o += kindName(kind);
            o += '"';
        }
        o += "],\"names\":\"";
    });
}

bool PagePart::visit(const ReadChain& chain) {
    const std::size_t level = chain.size() - 1;
    appendCode(depths, level);
    appendCode(kinds, static_cast<std::size_t>(chain.kind(level)));
    names += kNameEnd;
    // Without quotes: the names make one string.
    const std::size_t from = names.size();
    appendJsonText(names, chain.stored(level));
    makeScriptSafe(names, from);
    return true;
}

void CataloguePageWriter::take(PartVisitor& visitor, Output& out) {
    auto& part = static_cast<PagePart&>(visitor);
    depths_.push_back(part.depths); // as long as they are
    kinds_.push_back(part.kinds);
    // The first name of all has no U+0000 before it.
    out.put(
        std::string_view(part.names).substr(first_ && !part.names.empty() ? kNameEnd.size() : 0));
    first_ = first_ && part.names.empty();
    part.names.clear();
    part.depths.clear();
    part.kinds.clear();
}

void CataloguePageWriter::end(Output& out) {
    out.put("\",\"depth\":\"");
    for (const std::string& depths : depths_) {
        out.put(depths);
    }
    out.put("\",\"kind\":\"");
    for (const std::string& kinds : kinds_) {
        out.put(kinds);
    }
    out.put("\"}");
    out.buffer() += page_;
}

} // namespace

std::unique_ptr<ExportWriter> cataloguePageWriter(std::u16string_view title) {
    return std::make_unique<CataloguePageWriter>(title);
}

} // namespace zelvane::cli
