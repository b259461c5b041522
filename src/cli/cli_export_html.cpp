// The HTML export: the page template with the icons and the catalogue filled in.
//
// The catalogue goes into the page as one JSON object, small enough for a million nodes:
//   {"title": "...", "kinds": [the kind names],
//    "depth": one character a node in tree order, its code minus 48 the node's level,
//    "kind":  the same for the node's kind,
//    "names": the stored texts in tree order, each followed by U+0000 but the last}
// Every "<" in it is written as \u003c, so that nothing in a name can end the script.
#include <array>
#include <string>

#include "cli/cli_export.h"
#include "cli/cli_export_assets.h"
#include "cli/cli_output.h"
#include "version.h"

namespace zelvane::cli {

namespace {

constexpr int kCodeBase = 48; // '0': the depth and kind characters start here

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

// A JSON string whose "<" cannot be read as the start of a tag.
void appendScriptSafe(std::string& out, std::string_view json) {
    for (char c : json) {
        if (c == '<') {
            out += "\\u003c";
        } else {
            out += c;
        }
    }
}

void appendJsonForScript(std::string& out, std::u16string_view text, std::string& scratch) {
    scratch.clear();
    appendJsonString(scratch, text);
    appendScriptSafe(out, scratch);
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

void appendCatalogue(const SnapshotTree& tree, std::u16string_view title, Output& output) {
    std::string& out = output.buffer();
    std::string scratch;
    out += "{\"title\":";
    appendJsonForScript(out, title, scratch);
    out += ",\"kinds\":[";
    for (int kind = 0; kind < kKindCount; ++kind) {
        out += kind > 0 ? ",\"" : "\"";
        out += kindName(kind);
        out += '"';
    }
    out += "],\"depth\":\"";
    walkPreOrder(tree, [&](NodeId, std::size_t level) {
        appendCode(out, level);
        output.flushIfFull();
    });
    out += "\",\"kind\":\"";
    walkPreOrder(tree, [&](NodeId node, std::size_t) {
        appendCode(out, static_cast<std::size_t>(tree.kind(node)));
        output.flushIfFull();
    });
    out += "\",\"names\":\"";
    bool first = true;
    std::u16string wide;
    walkPreOrder(tree, [&](NodeId node, std::size_t) {
        if (!first) {
            out += "\\u0000";
        }
        first = false;
        scratch.clear();
        appendJsonString(scratch, tree.text(node).utf16(wide));
        // Without its quotes: the names make one string.
        appendScriptSafe(out, std::string_view(scratch).substr(1, scratch.size() - 2));
        output.flushIfFull();
    });
    out += "\"}";
}

} // namespace

void writeCataloguePage(const SnapshotTree& tree, std::u16string_view title, Output& output) {
    std::string_view page = kCataloguePage;
    struct Place {
        std::string_view marker;
        void (*fill)(const SnapshotTree&, std::u16string_view, Output&);
    };
    const std::array<Place, 4> places = {{
        {"@VERSION@",
         [](const SnapshotTree&, std::u16string_view, Output& o) { o.buffer() += kVersion; }},
        {"@TITLE@", [](const SnapshotTree&, std::u16string_view t,
                       Output& o) { appendHtmlText(o.buffer(), t); }},
        {"/*@ICONS@*/",
         [](const SnapshotTree&, std::u16string_view, Output& o) { appendIconStyles(o.buffer()); }},
        {"@DATA@", appendCatalogue},
    }};
    // The markers come in this order in the page, each once.
    for (const Place& place : places) {
        const std::size_t at = page.find(place.marker);
        output.buffer() += page.substr(0, at);
        place.fill(tree, title, output);
        page.remove_prefix(at + place.marker.size());
    }
    output.buffer() += page;
}

} // namespace zelvane::cli
