#include "systemtext_win.h"

#include <windows.h>

namespace quorlink::serial {

std::string systemErrorText(unsigned long code)
{
    wchar_t* message = nullptr;
    // Language 0: the user's language, else the system's, else English.
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::wstring text;
    if (length > 0 && message != nullptr)
        text.assign(message, length);
    if (message != nullptr)
        LocalFree(message);
    // The system's texts end with a period and CR LF.
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                             text.back() == L'.'))
        text.pop_back();
    if (text.empty())
        return {};
    const int wideLength = static_cast<int>(text.size());
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), wideLength, utf8.data(), size, nullptr,
                            nullptr);
    return utf8;
}

} // namespace quorlink::serial
