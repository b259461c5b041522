// Text between the core (UTF-16 std::u16string) and Qt (QString, also UTF-16).
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace zelvane {

inline QString toQString(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}

inline std::u16string toU16(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

} // namespace zelvane
