#pragma once

// UTF-16 as the panes hold it: surrogate pairs, and the conversion to and
// from UTF-8 (the text of exceptions and of file names on Linux).

#include <string>
#include <string_view>

namespace quorlink::transfer {

constexpr bool isHighSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

constexpr bool isLowSurrogate(char32_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// A lone surrogate becomes "?"; a byte that does not belong to a well-formed
// sequence becomes U+FFFD, and decoding goes on after it.
std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view bytes);

// The decimal digits of `value`, with "-" before a negative one.
std::u16string decimalText(long long value);

} // namespace quorlink::transfer
