#pragma once

// The face's UTF-16 strings meet the core's: on Windows wchar_t is a 16-bit
// unit, so the two kinds of string hold the same units.

#include <string>
#include <string_view>

namespace quorlink::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline std::wstring toWide(std::u16string_view text)
{
    return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

inline std::u16string fromWide(std::wstring_view text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

} // namespace quorlink::win32
