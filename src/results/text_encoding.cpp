#include "results/text_encoding.h"

#include <iconv.h>

#include <cerrno>

namespace talvex {

bool isUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        int follow = 0;
        unsigned long code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            follow = 1;
            code = c & 0x1Fu;
        } else if (c >= 0xE0 && c <= 0xEF) {
            follow = 2;
            code = c & 0x0Fu;
        } else if (c >= 0xF0 && c <= 0xF4) {
            follow = 3;
            code = c & 0x07u;
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(follow) >= text.size()) return false;
        for (int k = 1; k <= follow; ++k) {
            const auto d = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((d & 0xC0u) != 0x80u) return false;
            code = (code << 6) | (d & 0x3Fu);
        }
        // Overlong forms, surrogates and code points beyond U+10FFFF.
        if ((follow == 2 && code < 0x800) || (follow == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
            (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += static_cast<std::size_t>(follow) + 1;
    }
    return true;
}

namespace {

// `text` converted by iconv from `from` to `to`; a byte that cannot be
// converted becomes `replacement`. The text unchanged when iconv does not
// know the pair.
std::string convertText(std::string_view text, const std::string& to, const char* from,
                        std::string_view replacement) {
    iconv_t cd = iconv_open(to.c_str(), from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text);
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    char buffer[256];
    std::size_t i = 0;
    while (i < text.size()) {
        char* in = const_cast<char*>(text.data() + i);
        std::size_t inLeft = text.size() - i;
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t done = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        i = static_cast<std::size_t>(in - text.data());
        if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
            out += replacement;
            ++i;
        }
    }
    iconv_close(cd);
    return out;
}

}  // namespace

// A byte the code page does not define becomes U+FFFD.
std::string windows1252ToUtf8(std::string_view text) {
    return convertText(text, "UTF-8", "WINDOWS-1252", "\xEF\xBF\xBD");
}

// A byte that is not UTF-8 becomes '?'.
std::string utf8To(std::string_view text, const std::string& codeset) {
    return convertText(text, codeset + "//TRANSLIT", "UTF-8", "?");
}

void Utf8Sink::write(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) {
            target_.write(windows1252ToUtf8(text));
            return;
        }
    target_.write(text);
}

std::string asUtf8(std::string_view text) {
    return isUtf8(text) ? std::string(text) : windows1252ToUtf8(text);
}

}  // namespace talvex
