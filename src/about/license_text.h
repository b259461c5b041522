// The licence text that the About box shows: "License.txt" in the installation folder,
// read as text (a CR LF pair becomes LF) up to its first 16384 bytes and decoded in the
// encoding of the user's locale.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zelvane {

// At most this many bytes of the file's text (after CR LF became LF) are shown.
inline constexpr std::size_t kLicenseTextMax = 16384;

// The file's name: installDir with "License.txt" glued on, no separator inserted. An empty
// installDir names "License.txt" in the current folder.
std::u16string licenseFileName(std::u16string_view installDir);

// The first kLicenseTextMax bytes of the file's text, each CR LF pair read as one LF (a
// lone CR stays). nullopt when the file cannot be opened or is not a regular file.
std::optional<std::string> readLicenseBytes(const std::string& path);

// The bytes as text in the named encoding (an ICU converter name such as "UTF-8" or
// "ISO-8859-1"); an unknown name falls back to UTF-8. The text ends at the first zero byte,
// as a C string would. A character that is not valid in the encoding, or a multi-byte
// character cut off at the end, becomes U+FFFD.
std::u16string decodeLicenseText(std::string_view bytes, const std::string& encoding);

// The character encoding of the user's locale (LC_ALL, LC_CTYPE, LANG), without touching
// the process's own locale. The plain "C" locale names only ASCII; since ASCII is a part
// of UTF-8, and desktop programs here treat such text as UTF-8, it gives "UTF-8".
std::string localeEncoding();

// Everything above in one: the text of installDir + "License.txt" in the locale's
// encoding, or nullopt when the file cannot be opened.
std::optional<std::u16string> loadLicenseText(std::u16string_view installDir);

} // namespace zelvane
