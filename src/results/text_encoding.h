// Text for outputs that are UTF-8 (the HTML page, the JSON and CSV files,
// a UTF-8 report) from the program's 8-bit Windows-1252 texts and from labels
// that users wrote in either encoding.
#pragma once

#include <string>
#include <string_view>

#include "data/output_file.h"

namespace talvex {

bool isUtf8(std::string_view text);

// Windows-1252 bytes as UTF-8 (through iconv); ASCII is left as it is. The
// five bytes that the code page leaves undefined become U+FFFD.
std::string windows1252ToUtf8(std::string_view text);

// Text that is valid UTF-8 unchanged, anything else read as Windows-1252.
std::string asUtf8(std::string_view text);

// UTF-8 text in another character set (an iconv name such as
// "ISO-8859-1"); what it cannot hold is transliterated or becomes '?', as
// does each byte that is not UTF-8.
std::string utf8To(std::string_view text, const std::string& codeset);

// Text written in Windows-1252 passed on as UTF-8.
class Utf8Sink final : public TextSink {
public:
    explicit Utf8Sink(TextSink& target) : target_(target) {}
    void write(std::string_view text) override;

private:
    TextSink& target_;
};

}  // namespace talvex
