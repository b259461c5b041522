#include "document/node_text.h"

#include "document/snapshot_tree.h"

namespace zelvane {

namespace {

constexpr char16_t kFolderMark = u' ';

bool hasLeadingSpace(std::u16string_view text) {
    return !text.empty() && text.front() == kFolderMark;
}

} // namespace

void assignFolderText(std::u16string& text, std::u16string_view name) {
    text.assign(1, kFolderMark);
    text.append(name);
}

std::u16string_view displayName(std::u16string_view storedText) {
    return displayNameOf(storedText).wide();
}

NodeText displayNameOf(NodeText storedText) {
    return !storedText.empty() && storedText[0] == kFolderMark ? storedText.substr(1) : storedText;
}

std::u16string renamedText(std::u16string_view oldText, std::u16string_view acceptedName) {
    std::u16string text;
    if (hasLeadingSpace(oldText)) {
        assignFolderText(text, acceptedName);
    } else {
        text.assign(acceptedName);
    }
    return text;
}

std::u16string_view listedName(std::u16string_view storedText, int kind, bool root) {
    return listedNameOf(storedText, kind, root).wide();
}

NodeText listedNameOf(NodeText storedText, int kind, bool root) {
    return !root && kind == kKindFolder ? displayNameOf(storedText) : storedText;
}

std::u16string columnPath(std::span<const PathElement> ancestors) {
    std::u16string path;
    for (const PathElement& element : ancestors) {
        path += columnSeparator(path.empty());
        path += element.text;
    }
    return path;
}

void appendSlashStep(std::u16string& path, bool first, std::u16string_view name) {
    if (slashGoesAfter(path, first)) {
        path += kSlashSeparator;
    }
    path += name;
}

std::u16string slashPath(std::span<const PathElement> ancestors) {
    std::u16string path;
    for (std::size_t i = 0; i < ancestors.size(); ++i) {
        appendSlashStep(path, i == 0, listedName(ancestors[i].text, ancestors[i].kind, i == 0));
    }
    return path;
}

} // namespace zelvane
