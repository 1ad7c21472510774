#include "panecontract.h"

#include "transfer/pane.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using quorlink::transfer::MemoryPane;
using quorlink::transfer::Pane;
namespace panetext = quorlink::transfer::panetext;

struct MemoryPaneFactory
{
    static std::unique_ptr<Pane> create() { return std::make_unique<MemoryPane>(); }
};
using MemoryPanes = ::testing::Types<MemoryPaneFactory>;
INSTANTIATE_TYPED_TEST_SUITE_P(Memory, PaneContract, MemoryPanes);

namespace {

// The memory pane keeps an index of line starts; on every kind of text it
// must read exactly what the plain string rules read.
TEST(MemoryPane, shouldReadTheSameLinesAsThePlainTextRules)
{
    const std::u16string texts[] = {
        u"",         u"\r\n",           u"\r",         u"\n",      u"a",
        u"a\r\n",    u"a\r\n\r\n",      u"\r\na",      u"a\rb\nc", u"a\n\r\nb",
        u"a\r\r\nb", u"ř\r\nž\r\n\r\n", u"x\n\n\ny\r", u"\r\r\r",  u"\n\r",
    };
    for (const std::u16string& text : texts) {
        MemoryPane pane(text);
        const int count = panetext::lineCount(text);
        EXPECT_EQ(pane.lineCount(), count);
        for (int i = -1; i <= count + 1; ++i)
            EXPECT_EQ(pane.line(i), panetext::line(text, i)) << "line " << i;
    }
}

TEST(MemoryPane, shouldReadNewTextAfterEachChange)
{
    MemoryPane pane(u"a\r\nb\r\nc");
    EXPECT_EQ(pane.line(2), u"c");
    pane.setText(u"x");
    EXPECT_EQ(pane.lineCount(), 1);
    EXPECT_EQ(pane.line(2), u"");
    pane.appendLine(u"y");
    EXPECT_EQ(pane.line(1), u"y");
    pane.clear();
    EXPECT_EQ(pane.line(0), u"");
    pane.appendLine(u"z");
    EXPECT_EQ(pane.lineCount(), 1);
    EXPECT_EQ(pane.line(0), u"z");
}

TEST(PaneText, shouldNotKeepHalfASurrogatePairWhenCuttingALongLine)
{
    // 4095 letters, then an emoji whose second half would be unit 4097.
    const std::u16string text = std::u16string(4095, u'a') + u"\U0001F600b";
    EXPECT_EQ(panetext::line(text, 0), std::u16string(4095, u'a'));
    const std::u16string fits = std::u16string(4094, u'a') + u"\U0001F600b";
    EXPECT_EQ(panetext::line(fits, 0), std::u16string(4094, u'a') + u"\U0001F600");
    // A line of exactly 4096 units is whole, even when it ends in a lone half
    // (as a UTF-16 file may hold); so is a lone half at the cut of a longer one.
    const std::u16string whole = std::u16string(4095, u'a') + u'\xD800';
    EXPECT_EQ(panetext::line(whole + u"\r\nb", 0), whole);
    EXPECT_EQ(MemoryPane(whole + u"\r\nb").line(0), whole);
    EXPECT_EQ(panetext::line(whole + u"bc", 0), whole);
}

TEST(PaneText, shouldKeepCrLfAsOneBreakAndLoneCrBeforeItAsAnother)
{
    EXPECT_EQ(panetext::lineCount(u"a\r\r\nb"), 3);
    EXPECT_EQ(panetext::line(u"a\r\r\nb", 1), u"");
    EXPECT_EQ(panetext::line(u"a\r\r\nb", 2), u"b");
}

TEST(PaneText, shouldTreatLoneBreakAtEndAsFinishedLineWhenAppending)
{
    std::u16string text = u"a\n";
    std::vector<std::size_t> inLine;
    panetext::appendLine(text, u"b\rc", inLine);
    EXPECT_EQ(text, u"a\nb\rc\r\n");
    EXPECT_EQ(inLine, std::vector<std::size_t>{3});
    EXPECT_EQ(panetext::lineCount(text, inLine), 2);
    EXPECT_EQ(panetext::line(text, 1, inLine), u"b\rc");
}

} // namespace
