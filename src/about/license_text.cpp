#include "about/license_text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <memory>
#include <sys/stat.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unistd.h>

#include "text/utf.h"

namespace zelvane {

namespace {

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};

} // namespace

std::u16string licenseFileName(std::u16string_view installDir) {
    std::u16string name(installDir);
    name += u"License.txt";
    return name;
}

std::optional<std::string> readLicenseBytes(const std::string& path) {
    // O_NONBLOCK keeps a FIFO named License.txt from blocking the open; it is refused below.
    const FdCloser file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.fd < 0) {
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }

    std::string text;
    text.reserve(kLicenseTextMax);
    char buffer[4096];
    bool pendingCr = false; // a CR at the end of the last chunk, waiting for its LF
    while (text.size() < kLicenseTextMax) {
        const ssize_t got = ::read(file.fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break; // the end of the file; a read error ends the text as well
        }
        for (ssize_t i = 0; i < got && text.size() < kLicenseTextMax; ++i) {
            const char c = buffer[i];
            if (pendingCr) {
                pendingCr = false;
                if (c == '\n') {
                    text += '\n';
                    continue;
                }
                text += '\r';
                if (text.size() == kLicenseTextMax) {
                    break;
                }
            }
            if (c == '\r') {
                pendingCr = true;
            } else {
                text += c;
            }
        }
    }
    if (pendingCr && text.size() < kLicenseTextMax) {
        text += '\r'; // a CR as the file's last byte
    }
    return text;
}

std::u16string decodeLicenseText(std::string_view bytes, const std::string& encoding) {
    const std::size_t end = bytes.find('\0');
    if (end != std::string_view::npos) {
        bytes = bytes.substr(0, end);
    }
    if (bytes.empty()) {
        return {};
    }

    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, ConverterCloser> converter(ucnv_open(encoding.c_str(), &status));
    if (U_FAILURE(status) || !converter) {
        status = U_ZERO_ERROR;
        converter.reset(ucnv_open("UTF-8", &status));
        if (U_FAILURE(status) || !converter) {
            return utf8ToUtf16(bytes);
        }
    }
    // Every faulty or cut-off sequence becomes U+FFFD (not the converter's own
    // substitution character, which for some legacy encodings is a control code).
    static constexpr UChar kReplacement[] = {0xFFFD};
    status = U_ZERO_ERROR;
    ucnv_setSubstString(converter.get(), kReplacement, 1, &status);
    status = U_ZERO_ERROR;
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr,
                        &status);

    // One byte never gives more than two UTF-16 code units, plus room for a substitution.
    std::u16string text(bytes.size() * 2 + 2, u'\0');
    status = U_ZERO_ERROR;
    const int32_t length = ucnv_toUChars(converter.get(), reinterpret_cast<UChar*>(text.data()),
                                         static_cast<int32_t>(text.size()), bytes.data(),
                                         static_cast<int32_t>(bytes.size()), &status);
    if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) {
        return utf8ToUtf16(bytes);
    }
    text.resize(static_cast<std::size_t>(length));
    return text;
}

std::string localeEncoding() {
    std::string encoding;
    if (locale_t user = ::newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr))) {
        if (const char* codeset = ::nl_langinfo_l(CODESET, user)) {
            encoding = codeset;
        }
        ::freelocale(user);
    }
    if (encoding.empty() || encoding == "ANSI_X3.4-1968" || encoding == "ASCII" ||
        encoding == "US-ASCII") {
        return "UTF-8";
    }
    return encoding;
}

std::optional<std::u16string> loadLicenseText(std::u16string_view installDir) {
    const std::optional<std::string> bytes =
        readLicenseBytes(utf16ToUtf8(licenseFileName(installDir)));
    if (!bytes) {
        return std::nullopt;
    }
    return decodeLicenseText(*bytes, localeEncoding());
}

} // namespace zelvane
