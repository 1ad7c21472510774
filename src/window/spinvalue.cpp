#include "spinvalue.h"

#include <limits>

namespace quorlink::window {

namespace {

int hexDigit(char32_t c)
{
    if (c >= '0' && c <= '9')
        return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<int>(c - 'A' + 10);
    return -1;
}

int decimalDigit(char32_t c)
{
    return c >= '0' && c <= '9' ? static_cast<int>(c - '0') : -1;
}

// Works on any character type; characters are compared by code, so only the
// ASCII digits, letters and signs count.
template <typename Char> std::optional<std::int32_t> parse(std::basic_string_view<Char> text)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto at = [&](std::size_t k) -> char32_t {
        return k < n ? static_cast<char32_t>(static_cast<std::make_unsigned_t<Char>>(text[k])) : 0;
    };
    while (i < n && at(i) == ' ')
        ++i;
    bool negative = false;
    if (at(i) == '+' || at(i) == '-') {
        negative = at(i) == '-';
        ++i;
    }
    bool hex = false;
    if (at(i) == '$' || at(i) == 'x' || at(i) == 'X') {
        hex = true;
        ++i;
    } else if (at(i) == '0' && (at(i + 1) == 'x' || at(i + 1) == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= n)
        return std::nullopt; // no digits: a sign or a prefix alone
    // Magnitudes are kept at most one past the largest allowed, so the
    // accumulator never overflows however many digits follow.
    const std::uint64_t limit = hex ? 0xFFFFFFFFull : 2147483648ull;
    std::uint64_t magnitude = 0;
    for (; i < n; ++i) {
        const int digit = hex ? hexDigit(at(i)) : decimalDigit(at(i));
        if (digit < 0)
            return std::nullopt;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
        if (magnitude > limit)
            return std::nullopt;
    }
    if (hex) {
        // Two's complement of the 32 bits, negated in unsigned arithmetic so
        // that -$80000000 gives -2147483648 rather than an overflow.
        std::uint32_t bits = static_cast<std::uint32_t>(magnitude);
        if (negative)
            bits = 0u - bits;
        return static_cast<std::int32_t>(bits);
    }
    if (!negative && magnitude > 2147483647ull)
        return std::nullopt;
    const std::int64_t value =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return static_cast<std::int32_t>(value);
}

} // namespace

std::optional<std::int32_t> parseSpinText(std::u16string_view text)
{
    return parse(text);
}

std::optional<std::int32_t> parseSpinText(std::string_view text)
{
    return parse(text);
}

std::int32_t checkSpinValue(std::int32_t value, std::int32_t minValue, std::int32_t maxValue)
{
    if (minValue == maxValue)
        return value;
    if (value < minValue)
        return minValue;
    if (value > maxValue)
        return maxValue;
    return value;
}

std::u16string spinValueText(std::int32_t value)
{
    const bool negative = value < 0;
    std::uint32_t magnitude =
        negative ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative)
        digits.insert(digits.begin(), u'-');
    return digits;
}

bool isValidSpinChar(char16_t key, char16_t decimalSeparator)
{
    return key <= 12 || (key >= 14 && key <= 57) || key == decimalSeparator;
}

std::int32_t SpinValue::GetValue()
{
    if (const auto value = parseSpinText(Text))
        return *value;
    Text = spinValueText(MinValue);
    return MinValue;
}

void SpinValue::SetValue(std::int32_t value)
{
    Text = spinValueText(CheckValue(value));
}

void SpinValue::step(std::int64_t delta)
{
    std::int64_t next = static_cast<std::int64_t>(GetValue()) + delta;
    if (next > std::numeric_limits<std::int32_t>::max())
        next = std::numeric_limits<std::int32_t>::max();
    if (next < std::numeric_limits<std::int32_t>::min())
        next = std::numeric_limits<std::int32_t>::min();
    SetValue(static_cast<std::int32_t>(next));
}

void SpinValue::UpClick()
{
    step(Increment);
}

void SpinValue::DownClick()
{
    step(-static_cast<std::int64_t>(Increment));
}

bool SpinValue::Leave()
{
    const std::u16string before = Text;
    const std::int32_t value = GetValue();
    if (CheckValue(value) != value)
        SetValue(value);
    return Text != before;
}

} // namespace quorlink::window
