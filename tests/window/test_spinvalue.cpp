// The spin field's value logic, without widgets, with the port dialog's
// limits (5 to 2000, step 5) unless a case says otherwise.

#include "window/spinvalue.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using quorlink::window::checkSpinValue;
using quorlink::window::isValidSpinChar;
using quorlink::window::parseSpinText;
using quorlink::window::SpinValue;
using quorlink::window::spinValueText;

SpinValue timeOutField(std::u16string text)
{
    SpinValue field;
    field.MinValue = 5;
    field.MaxValue = 2000;
    field.Increment = 5;
    field.Text = std::move(text);
    return field;
}

TEST(SpinTextReading, shouldReadDecimalWithSpacesAndSign)
{
    EXPECT_EQ(parseSpinText(u"200"), 200);
    EXPECT_EQ(parseSpinText(u"   -7"), -7);
    EXPECT_EQ(parseSpinText(u"+10"), 10);
    EXPECT_EQ(parseSpinText(u"0010"), 10);
    EXPECT_EQ(parseSpinText(u"2147483647"), 2147483647);
    EXPECT_EQ(parseSpinText(u"-2147483648"), std::optional<std::int32_t>(-2147483647 - 1));
    EXPECT_EQ(parseSpinText(u"00000000000000000000000042"), 42);
}

TEST(SpinTextReading, shouldReadHexAfterEveryPrefixAsTwosComplement)
{
    EXPECT_EQ(parseSpinText(u"$10"), 16);
    EXPECT_EQ(parseSpinText(u"x1f"), 31);
    EXPECT_EQ(parseSpinText(u"X1F"), 31);
    EXPECT_EQ(parseSpinText(u"0x10"), 16);
    EXPECT_EQ(parseSpinText(u"0XaB"), 171);
    EXPECT_EQ(parseSpinText(u"$FFFFFFFF"), -1);
    EXPECT_EQ(parseSpinText(u"$80000000"), std::optional<std::int32_t>(-2147483647 - 1));
    EXPECT_EQ(parseSpinText(u"-$10"), -16);
    EXPECT_EQ(parseSpinText(u"-$FFFFFFFF"), 1);
    EXPECT_EQ(parseSpinText(u"-$80000000"), std::optional<std::int32_t>(-2147483647 - 1));
    EXPECT_EQ(parseSpinText(u" +0x000000000000FF"), 255);
}

TEST(SpinTextReading, shouldRejectWhatIsNotANumber)
{
    for (const char16_t* text : {u"",      u"   ",        u"-",           u"+",
                                 u"abc",   u"2147483648", u"-2147483649", u"99999999999999999999",
                                 u"$",     u"0x",         u"-x",          u"$100000000",
                                 u"12a",   u"12 ",        u"1 2",         u"--1",
                                 u"+-1",   u"0x-1",       u"$ 1",         u"\t1",
                                 u"1.5",   u"1,5",        u"$G",          u"00x10",
                                 u"\uFF11"}) {
        EXPECT_EQ(parseSpinText(std::u16string_view(text)), std::nullopt)
            << std::string(text, text + std::char_traits<char16_t>::length(text));
    }
}

TEST(SpinLimits, shouldLimitOnlyWhenMinimumDiffersFromMaximum)
{
    EXPECT_EQ(checkSpinValue(3000, 5, 2000), 2000);
    EXPECT_EQ(checkSpinValue(1, 5, 2000), 5);
    EXPECT_EQ(checkSpinValue(-7, 5, 2000), 5);
    EXPECT_EQ(checkSpinValue(200, 5, 2000), 200);
    EXPECT_EQ(checkSpinValue(-99999, 0, 0), -99999);
    EXPECT_EQ(checkSpinValue(7, 7, 7), 7);
    EXPECT_EQ(checkSpinValue(1, 3, 3), 1);
}

TEST(SpinValueText, shouldWritePlainDecimal)
{
    EXPECT_EQ(spinValueText(0), u"0");
    EXPECT_EQ(spinValueText(2000), u"2000");
    EXPECT_EQ(spinValueText(-16), u"-16");
    EXPECT_EQ(spinValueText(-2147483647 - 1), u"-2147483648");
    EXPECT_EQ(spinValueText(2147483647), u"2147483647");
}

TEST(SpinTypedCharacters, shouldAcceptControlsPunctuationDigitsAndDecimalSeparator)
{
    EXPECT_TRUE(isValidSpinChar(0, u','));
    EXPECT_TRUE(isValidSpinChar(8, u',')); // Backspace
    EXPECT_TRUE(isValidSpinChar(12, u','));
    EXPECT_FALSE(isValidSpinChar(13, u',')); // Enter
    EXPECT_TRUE(isValidSpinChar(27, u','));  // Esc reaches the owner
    EXPECT_TRUE(isValidSpinChar(u' ', u','));
    EXPECT_TRUE(isValidSpinChar(u'$', u','));
    EXPECT_TRUE(isValidSpinChar(u'-', u','));
    EXPECT_TRUE(isValidSpinChar(u'9', u','));
    EXPECT_FALSE(isValidSpinChar(u':', u','));
    EXPECT_FALSE(isValidSpinChar(u'a', u','));
    EXPECT_FALSE(isValidSpinChar(u'x', u','));
    EXPECT_FALSE(isValidSpinChar(u'A', u','));
    EXPECT_TRUE(isValidSpinChar(u',', u','));
    EXPECT_FALSE(isValidSpinChar(u';', u','));
    EXPECT_TRUE(isValidSpinChar(u';', u';'));
    EXPECT_FALSE(isValidSpinChar(u'\u00B7', u','));
}

TEST(SpinField, shouldStartAsCreated)
{
    SpinValue field;
    EXPECT_EQ(field.Text, u"0");
    EXPECT_EQ(field.GetValue(), 0);
    field.SetValue(-123456); // no limit while both limits are 0
    EXPECT_EQ(field.Text, u"-123456");
}

TEST(SpinField, shouldCorrectOutOfRangeTextOnLeaving)
{
    auto high = timeOutField(u"3000");
    EXPECT_TRUE(high.Leave());
    EXPECT_EQ(high.Text, u"2000");
    auto one = timeOutField(u"1");
    one.Leave();
    EXPECT_EQ(one.Text, u"5");
    auto negative = timeOutField(u"-7");
    negative.Leave();
    EXPECT_EQ(negative.Text, u"5");
}

TEST(SpinField, shouldKeepInRangeTextAsTypedOnLeaving)
{
    for (const char16_t* text : {u"$10", u"+10", u"0010", u"  200"}) {
        auto field = timeOutField(text);
        EXPECT_FALSE(field.Leave());
        EXPECT_EQ(field.Text, text);
    }
    auto hex = timeOutField(u"$10");
    EXPECT_EQ(hex.GetValue(), 16);
}

TEST(SpinField, shouldReplaceTextThatIsNotANumberByMinimum)
{
    auto field = timeOutField(u"abc");
    EXPECT_EQ(field.GetValue(), 5);
    EXPECT_EQ(field.Text, u"5");
    auto overflow = timeOutField(u"2147483648");
    EXPECT_EQ(overflow.GetValue(), 5);
    auto junk = timeOutField(u"100x");
    EXPECT_EQ(junk.GetValue(), 5);
    auto bare = timeOutField(u"0x");
    EXPECT_EQ(bare.GetValue(), 5);
}

TEST(SpinField, shouldReadValueWithoutLimiting)
{
    auto field = timeOutField(u"3000");
    EXPECT_EQ(field.GetValue(), 3000);
    EXPECT_EQ(field.Text, u"3000");
    auto ones = timeOutField(u"$FFFFFFFF");
    EXPECT_EQ(ones.GetValue(), -1);
}

TEST(SpinField, shouldStepByIncrementWithinLimits)
{
    auto top = timeOutField(u"2000");
    top.UpClick();
    EXPECT_EQ(top.Text, u"2000");
    auto bottom = timeOutField(u"5");
    bottom.DownClick();
    EXPECT_EQ(bottom.Text, u"5");
    auto seven = timeOutField(u"7");
    seven.UpClick();
    EXPECT_EQ(seven.Text, u"12");
    auto nearTop = timeOutField(u"1998");
    nearTop.UpClick();
    EXPECT_EQ(nearTop.Text, u"2000");
    auto pasted = timeOutField(u"abc");
    pasted.UpClick();
    EXPECT_EQ(pasted.Text, u"10");
    auto hex = timeOutField(u"$10");
    hex.DownClick();
    EXPECT_EQ(hex.Text, u"11");
}

TEST(SpinField, shouldNotWrapAroundWhenSteppingWithoutLimits)
{
    SpinValue field;
    field.Increment = 10;
    field.Text = u"2147483640";
    field.UpClick();
    EXPECT_EQ(field.Text, u"2147483647");
    field.Text = u"-2147483640";
    field.DownClick();
    EXPECT_EQ(field.Text, u"-2147483648");
    field.Increment = -2147483647 - 1;
    field.Text = u"0";
    field.DownClick();
    EXPECT_EQ(field.Text, u"2147483647");
}

} // namespace
