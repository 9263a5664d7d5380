#pragma once
// Text conversion where the program's 16-bit text meets the operating system and libraries.

#include <string>

namespace plat
{
// UTF-16 (the program's text) to UTF-8. Unpaired surrogates become U+FFFD.
std::string ToUtf8(const char16_t *text);
std::string ToUtf8(const char16_t *text, size_t length);
inline std::string ToUtf8(const std::u16string &text) { return ToUtf8(text.data(), text.size()); }
// UTF-8 to UTF-16. Malformed sequences become U+FFFD, one per bad byte.
std::u16string ToUtf16(const char *text);
std::u16string ToUtf16(const char *text, size_t length);
inline std::u16string ToUtf16(const std::string &text) { return ToUtf16(text.data(), text.size()); }
}
