// The standard message box and file dialogs of the desktop program, as plain functions
// over the port's types, so that every window shows them the same way.
#pragma once

#include <QFileDialog>
#include <QPixmap>
#include <QWidget>
#include <optional>
#include <string_view>

#include "document/ui_port.h"

namespace zelvane {

// A modal QMessageBox owned by owner, with the text shown as plain text, the icon from the
// desktop's icon theme (or the program's own), buttons without icons, and wide enough for
// its caption.
MessageAnswer showQtMessageBox(QWidget* owner, std::u16string_view text,
                               std::u16string_view caption, MessageIcon icon,
                               MessageButtons buttons);

// A message box's picture at size pixels: the desktop icon theme's when useTheme and the
// theme has one, else the program's own; null for MessageIcon::None.
QPixmap messageBoxPicture(MessageIcon icon, int size, qreal dpr, bool useTheme = true);
// The width a window needs to show caption whole in its title bar.
int captionRoom(const QWidget& window, const QString& caption);

// A modal QFileDialog owned by owner. The filters keep their descriptions; a "*.*" pattern
// is matched as "*", since here, unlike on Windows, "*.*" would skip names without a dot.
std::optional<ChosenFile> showQtFileDialog(QWidget* owner, const FileDialogRequest& request);

// Widens a file dialog of the toolkit's own kind so that its detail list shows the name,
// size, type and date columns whole; a desktop's own dialog is left as it is.
void fitFileDialogColumns(QFileDialog& dialog);

// The name filters a request gives the file dialog, one "Description (pattern)" each.
QStringList fileDialogNameFilters(const FileDialogRequest& request);

} // namespace zelvane
