#include "ui/qsettings_backend_qt.h"

#include <QByteArray>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QVariant>
#include <sys/stat.h>

#include "text/text.h"
#include "text/utf.h"
#include "ui/text_qt.h"

namespace zelvane {

namespace {

// The file is UTF-8, which cannot hold a lone surrogate: such texts (names kept from
// file names that are not valid UTF-8) are stored as their original bytes instead.
bool survivesUtf8(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (isHighSurrogate(u)) {
            if (i + 1 >= text.size() || !isLowSurrogate(text[i + 1])) {
                return false;
            }
            ++i;
        } else if (isLowSurrogate(u)) {
            return false;
        }
    }
    return true;
}

} // namespace

QString QSettingsBackend::settingsFilePath() {
    // Where QSettings keeps organisation "Halcyra", application "Zelvane" in the user's
    // scope; named explicitly, so that no other file (the organisation's, the system's)
    // is read, and so that it can be looked at before it is read.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Halcyra/Zelvane.conf");
}

QSettingsBackend::QSettingsBackend() = default;
QSettingsBackend::~QSettingsBackend() = default;

void QSettingsBackend::open(std::u16string_view /*subkey*/) {
    settings_.reset();
    readable_ = false;
    const QString path = settingsFilePath();
    // Anything but a regular file there (a pipe would block the read for ever, a device
    // would be replaced by the write) counts as a file that cannot be read.
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        return;
    }
    settings_ = std::make_unique<QSettings>(path, QSettings::NativeFormat);
    // A damaged file gives the defaults for everything, and is written out afresh with
    // them; a file that cannot be read gives the defaults and is left as it is.
    switch (settings_->status()) {
    case QSettings::NoError:
        readable_ = true;
        break;
    case QSettings::FormatError:
        settings_->clear();
        break;
    case QSettings::AccessError:
        settings_.reset();
        break;
    }
}

void QSettingsBackend::close() {
    if (settings_) {
        settings_->sync();
        settings_.reset();
    }
    readable_ = false;
}

std::optional<std::u16string> QSettingsBackend::readText(std::u16string_view name) {
    if (!settings_ || !readable_) {
        return std::nullopt;
    }
    const QVariant value = settings_->value(toQString(name));
    switch (value.typeId()) {
    case QMetaType::QString:
        return toU16(value.toString());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return utf8ToUtf16(
            std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Bool:
        return toU16(value.toString());
    default:
        // Missing, or a list or another structure that is not one text.
        return std::nullopt;
    }
}

std::optional<long long> QSettingsBackend::readNumber(std::u16string_view name) {
    if (!settings_ || !readable_) {
        return std::nullopt;
    }
    const QVariant value = settings_->value(toQString(name));
    bool ok = false;
    long long number = 0;
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
        number = value.toLongLong(&ok);
        break;
    case QMetaType::ULongLong: {
        const qulonglong big = value.toULongLong(&ok);
        number = big > 0xFFFFFFFFull ? (1LL << 40) : static_cast<long long>(big);
        break;
    }
    case QMetaType::QString: {
        // As written to the file: decimal digits only.
        const QString text = value.toString();
        ok = !text.isEmpty();
        for (const QChar c : text) {
            ok = ok && c >= u'0' && c <= u'9';
        }
        if (ok) {
            const qulonglong big = text.toULongLong(&ok);
            number = !ok || big > 0xFFFFFFFFull ? (1LL << 40) : static_cast<long long>(big);
            ok = true;
        }
        break;
    }
    default:
        break;
    }
    if (!ok) {
        return std::nullopt;
    }
    return number;
}

void QSettingsBackend::writeText(std::u16string_view name, std::u16string_view text) {
    if (!settings_) {
        return;
    }
    if (survivesUtf8(text)) {
        settings_->setValue(toQString(name), toQString(text));
    } else {
        const std::string bytes = utf16ToUtf8(text);
        settings_->setValue(toQString(name),
                            QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    }
}

void QSettingsBackend::writeNumber(std::u16string_view name, std::uint32_t number) {
    if (!settings_) {
        return;
    }
    settings_->setValue(toQString(name), static_cast<uint>(number));
}

} // namespace zelvane
