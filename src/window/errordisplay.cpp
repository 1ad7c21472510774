#include "errordisplay.h"

#include "transfer/utf16.h"

namespace quorlink::window {

namespace {

// Lower case for the letters an executable's name is likely to hold: ASCII,
// Latin-1 and Latin Extended-A (the Czech letters among them).  Others stay.
char16_t toLower(char16_t c)
{
    if (c >= u'A' && c <= u'Z')
        return static_cast<char16_t>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<char16_t>(c + 32);
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c; // İ, ĸ, ŉ, ſ: no simple lower-case partner here
        if (c == 0x178)
            return 0xFF;
        // Pairs start on even codes except from Ĺ (U+0139) to Ň (U+0148) and
        // from Ź (U+0179) on.
        const bool oddPairs = (c >= 0x139 && c <= 0x148) || c >= 0x179;
        const bool upper = oddPairs ? (c % 2 == 1) : (c % 2 == 0);
        return upper ? static_cast<char16_t>(c + 1) : c;
    }
    return c;
}

void collectMessage(std::exception_ptr error, std::u16string& message)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        const std::u16string text = transfer::fromUtf8(e.what());
        if (!text.empty())
            message = text;
        try {
            std::rethrow_if_nested(e);
        } catch (...) {
            collectMessage(std::current_exception(), message);
        }
    } catch (...) {
    }
}

} // namespace

std::u16string applicationTitle(std::u16string_view executablePath)
{
    const std::size_t slash = executablePath.find_last_of(u"/\\");
    std::u16string name(slash == std::u16string_view::npos ? executablePath
                                                           : executablePath.substr(slash + 1));
    if (const std::size_t period = name.find(u'.'); period != std::u16string::npos)
        name.resize(period);
    for (std::size_t i = 1; i < name.size(); ++i)
        name[i] = toLower(name[i]);
    return name;
}

std::u16string errorDisplayText(std::u16string_view message)
{
    std::u16string text(message);
    if (!text.empty() && text.back() > u'.')
        text += u'.';
    return text;
}

std::u16string exceptionMessage(std::exception_ptr error)
{
    std::u16string message;
    if (error)
        collectMessage(error, message);
    return message;
}

void showError(MessageBoxes& boxes, std::u16string_view title, std::exception_ptr error)
{
    boxes.showMessageBox(BoxIcon::Stop, title, errorDisplayText(exceptionMessage(error)));
}

} // namespace quorlink::window
