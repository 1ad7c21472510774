// Text for a Windows console as UTF-16, messages for a file or a pipe in the
// ANSI code page.

#include "output.h"

#include "messages.h"
#include "transfer/utf16.h"

#include <algorithm>
#include <stdexcept>

#include <windows.h>

namespace quorlink::batch::console {

bool writeIfConsole(Stream stream, std::u16string_view text)
{
    const HANDLE handle =
        GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    // Only a console has a console mode; a file, a pipe or NUL has none.
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode))
        return false;
    // In pieces: older consoles refuse a single write of more than 64 KiB.
    constexpr std::size_t Piece = 8192;
    while (!text.empty()) {
        const auto size = static_cast<DWORD>(std::min(text.size(), Piece));
        DWORD written = 0;
        if (!WriteConsoleW(handle, text.data(), size, &written, nullptr) || written == 0)
            throw std::runtime_error(std::string(messages::StreamWriteError));
        text.remove_prefix(written);
    }
    return true;
}

std::string messageBytes(std::string_view message)
{
    return transfer::CodePage::system().fromUnicode(transfer::fromUtf8(message));
}

} // namespace quorlink::batch::console
