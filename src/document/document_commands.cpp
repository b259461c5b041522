#include "document/document_commands.h"

#include <cstring>

#include "text/text.h"
#include "text/utf.h"

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

std::string loadFindings(const LoadStats& stats) {
    std::string text;
    const auto count = [&](const char* prefix, std::size_t n, const char* what) {
        if (n > 0) {
            text.append(prefix).append(std::to_string(n)).append(what).append("\n");
        }
    };
    if (stats.firstRecordDeep) {
        text += "Defect: the first record is deeper than 0\n";
    }
    count("Defect: ", stats.orphanRecords,
          " record(s) have no parent at their depth and were placed at the top level");
    count("Defect: ", stats.depthJumps,
          " record(s) are more than one level below the record before");
    if (stats.truncatedName) {
        text += "Defect: the last name is cut off by the end of the file\n";
    }
    if (stats.truncatedRecord) {
        text += "Defect: the file ends after a kind byte\n";
    }
    count("Note: ", stats.longNames, " name(s) are longer than 1023 characters");
    count("Note: ", stats.kindsAbove11, " record(s) have a kind above 11");
    return text;
}

std::u16string damagedFileMessage(std::u16string_view title, const LoadStats& stats) {
    std::u16string text(title);
    text += u" is damaged.\n\n";
    text += utf8ToUtf16(loadFindings(stats));
    text += u"\nSaving over it replaces the file with the tree as it is shown.";
    return text;
}

std::u16string changedOnDiskText(std::u16string_view title) {
    std::u16string text(u"The file ");
    text += title;
    text += u" has been changed by another program since it was opened or saved.\n\nSave "
            u"over it ?";
    return text;
}

std::u16string ioErrorText(std::u16string_view path, int error) {
    std::u16string text(path);
    text += path.empty() ? u"" : u"\n";
    text += utf8ToUtf16(std::strerror(error));
    return text;
}

void showIoError(UiPort& ui, std::u16string_view path, int error) {
    ui.messageBox(ioErrorText(path, error), kIoErrorCaption, MessageIcon::Exclamation,
                  MessageButtons::Ok);
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
