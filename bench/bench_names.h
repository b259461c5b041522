// Generated node names for the benchmarks: about 20 characters each, one in three with
// characters above U+00FF, with a spread of extensions.
#pragma once

#include <string>

namespace zelvane::bench {

inline std::u16string makeName(int i) {
    static const char16_t* const stems[] = {u"holiday-photo-",
                                            u"report_final_",
                                            u"\u0444\u043E\u0442\u043E-",
                                            u"track ",
                                            u"\u6587\u6863\u8D44\u6599-",
                                            u"setup-x64-"};
    static const char16_t* const exts[] = {u".jpg", u".docx", u".mp3", u".txt", u".exe", u""};
    std::u16string name = stems[i % 6];
    for (int v = i; v > 0; v /= 10) {
        name.push_back(static_cast<char16_t>(u'0' + v % 10));
    }
    return name + exts[(i / 7) % 6];
}

} // namespace zelvane::bench
