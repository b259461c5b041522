#include "document/document_commands.h"

#include "text/text.h"

namespace zelvane {

std::vector<FileFilter> parseFileFilter(std::u16string_view filter) {
    std::vector<std::u16string> parts;
    std::size_t start = 0;
    while (start < filter.size()) {
        const std::size_t bar = filter.find(u'|', start);
        const std::size_t end = bar == std::u16string_view::npos ? filter.size() : bar;
        if (end == start) {
            break; // "||" ends the list
        }
        parts.emplace_back(filter.substr(start, end - start));
        start = end + 1;
    }
    std::vector<FileFilter> filters;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        filters.push_back({parts[i], parts[i + 1]});
    }
    return filters;
}

FileDialogRequest openDialogRequest() {
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Open;
    request.filters = parseFileFilter(kSnapshotFileFilter);
    request.defaultExtension = kSnapshotDefaultExtension;
    request.initialName = kOpenInitialName;
    request.fileMustExist = true;
    return request;
}

FileDialogRequest saveAsDialogRequest(std::u16string_view title) {
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Save;
    request.filters = parseFileFilter(kSnapshotFileFilter);
    request.defaultExtension = kSnapshotDefaultExtension;
    request.initialName = title;
    request.overwritePrompt = true;
    return request;
}

std::u16string titledCaption(std::u16string_view title) {
    std::u16string caption(title);
    caption += kTitleCaptionSuffix;
    return caption;
}

std::u16string loadedMessage(std::u16string_view title, std::uint32_t roots, std::uint32_t folders,
                             std::uint32_t files) {
    std::u16string text(title);
    text += u" successfuly opened.\n\nRoots:\t";
    text += decimalText(roots);
    text += u"\nFolders:\t";
    text += decimalText(folders);
    text += u"\nFiles:\t";
    text += decimalText(files);
    return text;
}

PathParts splitPath(std::u16string_view path) {
    PathParts parts;
    const std::size_t slash = path.rfind(u'/');
    std::u16string_view name = path;
    if (slash != std::u16string_view::npos) {
        parts.dir.assign(path.substr(0, slash + 1));
        name = path.substr(slash + 1);
    }
    const std::size_t dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos) {
        parts.base.assign(name);
    } else {
        parts.base.assign(name.substr(0, dot));
        parts.ext.assign(name.substr(dot));
    }
    return parts;
}

} // namespace zelvane
