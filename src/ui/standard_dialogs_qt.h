// The standard message box and file dialogs of the desktop program, as plain functions
// over the port's types, so that every window shows them the same way.
#pragma once

#include <QWidget>
#include <optional>
#include <string_view>

#include "ui/ui_port.h"

namespace zelvane {

// A modal QMessageBox owned by owner, with the text shown as plain text.
MessageAnswer showQtMessageBox(QWidget* owner, std::u16string_view text,
                               std::u16string_view caption, MessageIcon icon,
                               MessageButtons buttons);

// A modal QFileDialog owned by owner. The filters keep their descriptions; a "*.*" pattern
// is matched as "*", since here, unlike on Windows, "*.*" would skip names without a dot.
std::optional<ChosenFile> showQtFileDialog(QWidget* owner, const FileDialogRequest& request);

// The name filters a request gives the file dialog, one "Description (pattern)" each.
QStringList fileDialogNameFilters(const FileDialogRequest& request);

} // namespace zelvane
