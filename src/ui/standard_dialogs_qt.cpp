#include "ui/standard_dialogs_qt.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "ui/text_qt.h"

namespace zelvane {

MessageAnswer showQtMessageBox(QWidget* owner, std::u16string_view text,
                               std::u16string_view caption, MessageIcon icon,
                               MessageButtons buttons) {
    QMessageBox box(owner);
    box.setWindowTitle(toQString(caption));
    box.setTextFormat(Qt::PlainText);
    box.setText(toQString(text));
    switch (icon) {
    case MessageIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MessageIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MessageIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MessageIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    if (buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int pressed = box.exec();
    if (buttons == MessageButtons::YesNo) {
        return pressed == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    }
    return MessageAnswer::Ok;
}

QStringList fileDialogNameFilters(const FileDialogRequest& request) {
    QStringList filters;
    for (const FileFilter& filter : request.filters) {
        QString description = toQString(filter.description);
        QString pattern = toQString(filter.pattern);
        if (pattern == QLatin1String("*.*")) {
            pattern = QStringLiteral("*");
        }
        // The dialog reads the pattern from the last parentheses of the entry, so a
        // description that already names its pattern has it replaced.
        const qsizetype open = description.lastIndexOf(QLatin1Char('('));
        if (open > 0 && description.endsWith(QLatin1Char(')'))) {
            description = description.left(open).trimmed();
        }
        filters << QStringLiteral("%1 (%2)").arg(description, pattern);
    }
    return filters;
}

std::optional<ChosenFile> showQtFileDialog(QWidget* owner, const FileDialogRequest& request) {
    QFileDialog dialog(owner);
    const bool save = request.kind == FileDialogRequest::Kind::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save || !request.fileMustExist ? QFileDialog::AnyFile
                                                      : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
    dialog.setNameFilters(fileDialogNameFilters(request));
    if (!request.defaultExtension.empty()) {
        dialog.setDefaultSuffix(toQString(request.defaultExtension));
    }
    // A wildcard name such as "*.zelv" is what the filter already shows; only a real name
    // is offered in the name field.
    const QString initial = toQString(request.initialName);
    if (!initial.isEmpty() && !initial.contains(QLatin1Char('*'))) {
        dialog.selectFile(initial);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const QString path = dialog.selectedFiles().constFirst();
    return ChosenFile{toU16(path), toU16(QFileInfo(path).fileName())};
}

} // namespace zelvane
