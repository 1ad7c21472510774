#pragma once

// The value logic of the numeric spin field, free of any widget: reading the
// field's text as a number, limiting it and writing it back.  The widget
// (TCSpinEdit) keeps no number apart from its text; it calls these.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorlink::window {

// Reads `text` as a whole number: leading spaces, an optional "+" or "-",
// then decimal digits that fit a signed 32-bit integer, or hexadecimal digits
// after "$", "x", "X", "0x" or "0X" up to FFFFFFFF taken as two's complement
// (a sign before the prefix negates it).  Nothing may follow.  Returns
// nothing when the text is not such a number (an empty text included).
std::optional<std::int32_t> parseSpinText(std::u16string_view text);
std::optional<std::int32_t> parseSpinText(std::string_view text);

// `value` limited to minValue..maxValue (below the minimum gives the minimum,
// above the maximum the maximum); no limit at all when the two are equal.
std::int32_t checkSpinValue(std::int32_t value, std::int32_t minValue, std::int32_t maxValue);

// Plain decimal: "-" before a negative number, no leading zeros, no
// separators.
std::u16string spinValueText(std::int32_t value);

// Whether the field accepts a typed character: codes 0-12 and 14-57 (the
// control characters other than CR, the space, "!" to "/" and the digits)
// and the user's decimal separator.
bool isValidSpinChar(char16_t key, char16_t decimalSeparator);

// The field's state: its text and the three limits, with the operations the
// widget performs on them.  Created as the widget is: 0, 0, 1 and "0".
class SpinValue
{
public:
    std::int32_t MinValue = 0;
    std::int32_t MaxValue = 0;
    std::int32_t Increment = 1;
    std::u16string Text = u"0";

    // The number in the text, not limited.  A text that is not a number is
    // replaced by MinValue and MinValue is returned.
    std::int32_t GetValue();
    // Writes `value`, limited, as plain decimal.
    void SetValue(std::int32_t value);
    std::int32_t CheckValue(std::int32_t value) const
    {
        return checkSpinValue(value, MinValue, MaxValue);
    }
    // The value read plus or minus Increment, limited.  The sum is taken in
    // 64 bits and kept within the 32-bit range before limiting, so a step
    // never wraps around.
    void UpClick();
    void DownClick();
    // Leaving the field: a value out of range is corrected; text within the
    // range keeps its form.  Returns whether the text changed.
    bool Leave();

private:
    void step(std::int64_t delta);
};

} // namespace quorlink::window
