#include "ui/standard_dialogs_qt.h"

#include <QDateTime>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QSvgRenderer>
#include <QTreeView>
#include <QWindow>
#include <algorithm>

#include "ui/dialog_layout_qt.h"
#include "ui/text_qt.h"

namespace zelvane {

namespace {

// The box pictures drawn as the node icons are: flat shapes with a darker outline.
constexpr char kInformationSvg[] =
    R"(<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 48 48">)"
    R"(<circle cx="24" cy="24" r="20.5" fill="#2f6fca" stroke="#1d4c8f" stroke-width="2"/>)"
    R"(<circle cx="24" cy="13.5" r="3" fill="#ffffff"/>)"
    R"(<path d="M24 20.5v16" stroke="#ffffff" stroke-width="5" stroke-linecap="round"/>)"
    R"(</svg>)";
constexpr char kExclamationSvg[] =
    R"(<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 48 48">)"
    R"(<path d="M24 4.5l20.5 37h-41z" fill="#f7cd5c" stroke="#9a6a10" stroke-width="2" )"
    R"(stroke-linejoin="round"/>)"
    R"(<path d="M24 17v12" stroke="#3a2a08" stroke-width="4.5" stroke-linecap="round"/>)"
    R"(<circle cx="24" cy="35.5" r="2.6" fill="#3a2a08"/>)"
    R"(</svg>)";
constexpr char kQuestionSvg[] =
    R"(<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 48 48">)"
    R"(<circle cx="24" cy="24" r="20.5" fill="#2f6fca" stroke="#1d4c8f" stroke-width="2"/>)"
    R"(<path d="M17.5 18a6.5 6.5 0 1 1 9.5 5.8c-2 1.1-3 2.4-3 4.7v1.5" fill="none" )"
    R"(stroke="#ffffff" stroke-width="4.5" stroke-linecap="round" stroke-linejoin="round"/>)"
    R"(<circle cx="24" cy="36.5" r="2.8" fill="#ffffff"/>)"
    R"(</svg>)";
constexpr char kErrorSvg[] =
    R"(<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 48 48">)"
    R"(<circle cx="24" cy="24" r="20.5" fill="#d8463c" stroke="#94231c" stroke-width="2"/>)"
    R"(<path d="M16.5 16.5l15 15M31.5 16.5l-15 15" stroke="#ffffff" stroke-width="5" )"
    R"(stroke-linecap="round"/>)"
    R"(</svg>)";

struct BoxIcon {
    QMessageBox::Icon kind;
    const char* themeName; // the freedesktop icon name
    const char* svg;       // the picture when the theme has none
};

BoxIcon boxIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return {QMessageBox::Information, "dialog-information", kInformationSvg};
    case MessageIcon::Exclamation:
        return {QMessageBox::Warning, "dialog-warning", kExclamationSvg};
    case MessageIcon::Question:
        return {QMessageBox::Question, "dialog-question", kQuestionSvg};
    case MessageIcon::Error:
        return {QMessageBox::Critical, "dialog-error", kErrorSvg};
    case MessageIcon::None:
        break;
    }
    return {QMessageBox::NoIcon, nullptr, nullptr};
}

QPixmap renderSvg(const char* svg, int size, qreal dpr) {
    QImage image(QSize(size, size) * dpr, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer{QByteArray(svg)};
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    image.setDevicePixelRatio(dpr);
    return QPixmap::fromImage(image);
}

// Keeps a Yes/No box open on Escape and on its close button: only Yes or No answer it.
class YesOrNoOnly : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        const bool escape = event->type() == QEvent::KeyPress &&
                            static_cast<QKeyEvent*>(event)->matches(QKeySequence::Cancel);
        if (escape || event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

QPixmap messageBoxPicture(MessageIcon icon, int size, qreal dpr, bool useTheme) {
    const BoxIcon picture = boxIcon(icon);
    if (picture.svg == nullptr) {
        return {};
    }
    if (useTheme) {
        const QIcon themed = QIcon::fromTheme(QString::fromLatin1(picture.themeName));
        if (!themed.isNull()) {
            return themed.pixmap(QSize(size, size), dpr);
        }
    }
    return renderSvg(picture.svg, size, dpr);
}

int captionRoom(const QWidget& window, const QString& caption) {
    // The title bar's font is the window manager's; a bold one of the window's size stands
    // for it, with room for the window icon and three title bar buttons.
    QFont font = window.font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(caption) + 6 * metrics.height();
}

MessageAnswer showQtMessageBox(QWidget* owner, std::u16string_view text,
                               std::u16string_view caption, MessageIcon icon,
                               MessageButtons buttons) {
    QMessageBox box(owner);
    box.setWindowTitle(toQString(caption));
    box.setTextFormat(Qt::PlainText);
    box.setText(toQString(text));
    box.setTextInteractionFlags(Qt::TextSelectableByMouse); // to be copied
    // The box keeps its kind (for screen readers and sounds); the picture is the desktop
    // theme's, or the program's own.
    const BoxIcon kind = boxIcon(icon);
    box.setIcon(kind.kind);
    if (auto* picture = box.findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label"))) {
        const int size = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
        picture->setPixmap(messageBoxPicture(icon, size, box.devicePixelRatio()));
    }
    if (buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.installEventFilter(new YesOrNoOnly(&box));
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    // Buttons with their texts only.
    for (QAbstractButton* button : box.buttons()) {
        button->setIcon(QIcon());
    }
    // Wide enough for the whole caption: the box sizes itself to its layout.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(captionRoom(box, box.windowTitle()), 0, QSizePolicy::Fixed,
                                      QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
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

namespace {

// The longest of the type names the list shows most: a folder's and a few common files'.
QString widestFileType() {
    QString widest = QStringLiteral("Folder");
    const QMimeDatabase types;
    for (const char* name : {"application/x-executable", "application/x-sharedlib", "text/plain",
                             "application/octet-stream"}) {
        const QString comment = types.mimeTypeForName(QString::fromLatin1(name)).comment();
        widest = comment.size() > widest.size() ? comment : widest;
    }
    return widest;
}

// Widens a file dialog as it is shown by what its list lacks for its columns, within the
// screen, so that it is still centred over its owner.
class FileColumnsFitter : public QObject {
public:
    FileColumnsFitter(QFileDialog& dialog, QTreeView& list, int needed)
        : QObject(&dialog), dialog_(dialog), list_(list), needed_(needed) {
        dialog.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &dialog_ && event->type() == QEvent::Show) {
            dialog_.removeEventFilter(this);
            // Widened as it is shown, before the dialog centres itself over its owner and
            // is mapped; then, once it is on the screen with its frame and the splitter has
            // shared out the new width, by what is still lacking, and centred frame on frame.
            widen(list_.width() - 2 * list_.frameWidth() -
                      list_.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &list_),
                  false);
            if (QWindow* window = dialog_.windowHandle()) {
                window->installEventFilter(this);
            }
        } else if (event->type() == QEvent::Expose && dialog_.windowHandle()->isExposed()) {
            watched->removeEventFilter(this);
            widen(list_.viewport()->width(), true);
            centre();
            deleteLater();
        }
        return false;
    }

private:
    // Wider by what the list lacks, within the screen; placed (true) the dialog keeps its
    // centre, otherwise its place is still its own to choose.
    void widen(int shown, bool placed) {
        const int lacking = needed_ - shown;
        if (lacking <= 0) {
            return;
        }
        QRect frame = dialog_.frameGeometry();
        const QPoint centre = frame.center();
        frame.setWidth(frame.width() + lacking);
        frame.moveCenter(centre);
        if (placed) {
            setFramePlace(dialog_, frame);
        } else {
            dialog_.resize(keptOnScreen(dialog_, frame).width(), dialog_.height());
        }
    }

    // Over the owner's window, frame on frame, within the screen.
    void centre() {
        if (const QWidget* owner = dialog_.parentWidget()) {
            QRect frame = dialog_.frameGeometry();
            frame.moveCenter(owner->window()->frameGeometry().center());
            setFramePlace(dialog_, frame);
        }
    }

    QFileDialog& dialog_;
    QTreeView& list_;
    int needed_;
};

} // namespace

void fitFileDialogColumns(QFileDialog& dialog) {
    auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (list == nullptr) {
        return; // not the toolkit's own dialog
    }
    // Each column at least as wide as its widest text: a long name, a size, a file type and
    // a date in this locale's short form.
    QHeaderView* header = list->header();
    const QFontMetrics metrics(list->font());
    const int padding = 2 * metrics.height();
    const QString widest[] = {
        QString(24, QLatin1Char('w')),
        QLocale().formattedDataSize(1023 * 1024 + 900),
        widestFileType(),
        QLocale().toString(QDateTime(QDate(2026, 12, 28), QTime(23, 58, 58)), QLocale::ShortFormat),
    };
    int needed = 0;
    for (int column = 0; column < header->count(); ++column) {
        if (column < 4) {
            const int text = metrics.horizontalAdvance(widest[column]) + padding;
            header->resizeSection(column, std::max({header->sectionSize(column), text,
                                                    header->sectionSizeHint(column)}));
        }
        if (!header->isSectionHidden(column)) {
            needed += header->sectionSize(column);
        }
    }
    new FileColumnsFitter(dialog, *list, needed);
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
    fitFileDialogColumns(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const QString path = dialog.selectedFiles().constFirst();
    return ChosenFile{toU16(path), toU16(QFileInfo(path).fileName())};
}

} // namespace zelvane
