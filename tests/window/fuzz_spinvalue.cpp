// Fuzzes the spin field's text reading against a plain reference reading
// built on strtoull: same verdict, same value, no crash, no overflow.

#include "window/spinvalue.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

std::optional<std::int32_t> referenceReading(const std::string& text)
{
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos)
        return std::nullopt;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-')
        negative = text[i++] == '-';
    int base = 10;
    if (text.compare(i, 1, "$") == 0 || text.compare(i, 1, "x") == 0 ||
        text.compare(i, 1, "X") == 0) {
        base = 16;
        i += 1;
    } else if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) {
        base = 16;
        i += 2;
    }
    const std::string digits = text.substr(std::min(i, text.size()));
    if (digits.empty())
        return std::nullopt;
    for (const char c : digits) {
        const bool ok =
            base == 16 ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : (c >= '0' && c <= '9');
        if (!ok)
            return std::nullopt;
    }
    errno = 0;
    const unsigned long long magnitude = std::strtoull(digits.c_str(), nullptr, base);
    if (errno == ERANGE)
        return std::nullopt;
    if (base == 16) {
        if (magnitude > 0xFFFFFFFFull)
            return std::nullopt;
        const long long value = static_cast<long long>(magnitude);
        long long signedValue = value >= 0x80000000ll ? value - 0x100000000ll : value;
        if (negative)
            signedValue = -signedValue;
        if (signedValue > 2147483647ll)
            signedValue -= 0x100000000ll; // -(-2^31) wraps in 32 bits
        return static_cast<std::int32_t>(signedValue);
    }
    const long long value =
        negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    if (magnitude > 2147483648ull || value > 2147483647ll)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    // The reference works on bytes: a NUL would end strtoull's reading early.
    if (text.find('\0') != std::string::npos)
        return 0;
    const auto expected = referenceReading(text);
    const auto actual = quorlink::window::parseSpinText(std::string_view(text));
    if (expected != actual)
        std::abort();
    // The same bytes widened to UTF-16 read the same.
    const std::u16string wide(text.begin(), text.end());
    if (quorlink::window::parseSpinText(std::u16string_view(wide)) != actual)
        std::abort();
    // Limiting and writing back stay in range and read back unchanged.
    quorlink::window::SpinValue field;
    field.MinValue = 5;
    field.MaxValue = 2000;
    field.Increment = 5;
    field.Text = wide;
    const std::int32_t value = field.GetValue();
    if (value != actual.value_or(5))
        std::abort();
    field.UpClick();
    const auto stepped = quorlink::window::parseSpinText(field.Text);
    if (!stepped || *stepped < 5 || *stepped > 2000)
        std::abort();
    return 0;
}
