#pragma once

// The line rules every pane must keep, written once for any implementation of
// quorlink::transfer::Pane.
//
// To run them for a pane type, define a factory with a static create() that
// returns a fresh, empty pane through an owning pointer (std::unique_ptr<Pane>
// or a pointer to the concrete type), then instantiate the suite in one test
// source file:
//
//     #include "panecontract.h"
//
//     struct WidgetPaneFactory
//     {
//         static std::unique_ptr<quorlink::transfer::Pane> create();
//     };
//     using WidgetPanes = ::testing::Types<WidgetPaneFactory>;
//     INSTANTIATE_TYPED_TEST_SUITE_P(Widget, PaneContract, WidgetPanes);
//
// A factory whose panes need more (a QApplication for widgets) sets that up
// in its test program's main() or in create().  Each test makes its own pane.
//
// The rules: in text that is set (loaded or typed), CR LF, a lone LF and a
// lone CR each end a line, and nothing else does; text after the last line
// break is a line, a final line break starts none, an empty pane has no
// lines; a line reads as at most 4096 characters, and as an empty text past
// the end; appending writes CR LF as the line break, and an appended line is
// one line whatever it holds: a CR or LF inside it stays part of it.

#include "transfer/pane.h"

#include <gtest/gtest.h>

#include <string>

template <typename Factory> class PaneContract : public ::testing::Test
{
protected:
    PaneContract() : m_pane(Factory::create()) {}

    quorlink::transfer::Pane& pane() { return *m_pane; }

    // The pane's lines as the run reads them, for comparing in one go.
    std::u16string lines()
    {
        std::u16string joined;
        const int count = pane().lineCount();
        for (int i = 0; i < count; ++i)
            joined += u"[" + pane().line(i) + u"]";
        return joined;
    }

private:
    decltype(Factory::create()) m_pane;
};

TYPED_TEST_SUITE_P(PaneContract);

TYPED_TEST_P(PaneContract, shouldCountNoLinesAndReadEmptyWhenPaneIsEmpty)
{
    EXPECT_EQ(this->pane().lineCount(), 0);
    EXPECT_EQ(this->pane().line(0), u"");
    EXPECT_EQ(this->pane().text(), u"");
}

TYPED_TEST_P(PaneContract, shouldCountTextAfterLastBreakButNoLineAfterFinalBreak)
{
    this->pane().setText(u"první\r\ndruhý");
    EXPECT_EQ(this->pane().lineCount(), 2);
    EXPECT_EQ(this->lines(), u"[první][druhý]");

    this->pane().setText(u"první\r\ndruhý\r\n");
    EXPECT_EQ(this->pane().lineCount(), 2);
    EXPECT_EQ(this->lines(), u"[první][druhý]");
}

TYPED_TEST_P(PaneContract, shouldCountEmptyLinesBetweenOthers)
{
    this->pane().setText(u"a\r\n\r\n\r\nb");
    EXPECT_EQ(this->pane().lineCount(), 4);
    EXPECT_EQ(this->lines(), u"[a][][][b]");

    this->pane().setText(u"\r\n");
    EXPECT_EQ(this->pane().lineCount(), 1);
    EXPECT_EQ(this->pane().line(0), u"");
}

TYPED_TEST_P(PaneContract, shouldTreatLoneLineFeedAndLoneCarriageReturnAsBreaks)
{
    this->pane().setText(u"a\nb\rc\r\nd\n\re");
    EXPECT_EQ(this->lines(), u"[a][b][c][d][][e]");
}

// Only CR and LF end lines: not the paragraph separator, not the code points
// a text editor may use for frames, not the pictures of CR and LF.
TYPED_TEST_P(PaneContract, shouldEndLinesOnlyAtCarriageReturnAndLineFeed)
{
    const std::u16string text = u"a\u2029b\r\nc\uFDD0d\uFDD1e\u2028f\r\n\u240D\u240A";
    this->pane().setText(text);
    EXPECT_EQ(this->lines(), u"[a\u2029b][c\uFDD0d\uFDD1e\u2028f][\u240D\u240A]");
    EXPECT_EQ(this->pane().text(), text);
    this->pane().appendLine(u"\u2029\u240D");
    EXPECT_EQ(this->pane().line(3), u"\u2029\u240D");
    EXPECT_EQ(this->pane().lineCount(), 4);
}

// A reply with a lone CR or LF is one line, read and written as received.
TYPED_TEST_P(PaneContract, shouldKeepCarriageReturnAndLineFeedInsideAnAppendedLine)
{
    this->pane().appendLine(u"A\rB");
    this->pane().appendLine(u"OK\r");
    this->pane().appendLine(u"\nx\r\ny");
    EXPECT_EQ(this->pane().lineCount(), 3);
    EXPECT_EQ(this->lines(), u"[A\rB][OK\r][\nx\r\ny]");
    EXPECT_EQ(this->pane().text(), u"A\rB\r\nOK\r\r\n\nx\r\ny\r\n");

    // A last line typed without a break is ended first, also when the
    // appended line ends in CR; a lone CR typed at the end is a break.
    this->pane().setText(u"psáno");
    this->pane().appendLine(u"OK\r");
    this->pane().appendLine(u"B");
    EXPECT_EQ(this->pane().text(), u"psáno\r\nOK\r\r\nB");
    EXPECT_EQ(this->lines(), u"[psáno][OK\r][B]");
    this->pane().setText(u"x\r");
    this->pane().appendLine(u"\nB");
    EXPECT_EQ(this->lines(), u"[x][\nB]");
}

TYPED_TEST_P(PaneContract, shouldReadEmptyTextPastTheLastLineAndForNegativeIndex)
{
    this->pane().setText(u"jediný\r\n");
    EXPECT_EQ(this->pane().line(1), u"");
    EXPECT_EQ(this->pane().line(1000), u"");
    EXPECT_EQ(this->pane().line(-1), u"");
}

TYPED_TEST_P(PaneContract, shouldReadAtMost4096CharactersOfALongLine)
{
    this->pane().setText(std::u16string(5000, u'ž') + u"\r\ndalší");
    EXPECT_EQ(this->pane().line(0), std::u16string(4096, u'ž'));
    EXPECT_EQ(this->pane().line(1), u"další");
    EXPECT_EQ(this->pane().lineCount(), 2);
    // The cut never keeps half of a surrogate pair.
    this->pane().setText(std::u16string(4095, u'a') + u"\U0001F600b\r\n");
    EXPECT_EQ(this->pane().line(0), std::u16string(4095, u'a'));
}

TYPED_TEST_P(PaneContract, shouldAppendLineAndCrLfToEmptyOrFinishedPane)
{
    this->pane().appendLine(u"Příliš");
    EXPECT_EQ(this->pane().text(), u"Příliš\r\n");
    this->pane().appendLine(u"");
    EXPECT_EQ(this->pane().text(), u"Příliš\r\n\r\n");
    this->pane().appendLine(u"kůň");
    EXPECT_EQ(this->pane().text(), u"Příliš\r\n\r\nkůň\r\n");
    EXPECT_EQ(this->lines(), u"[Příliš][][kůň]");
}

TYPED_TEST_P(PaneContract, shouldEndUnfinishedLastLineBeforeAppending)
{
    this->pane().setText(u"psáno");
    this->pane().appendLine(u"odpověď");
    EXPECT_EQ(this->pane().text(), u"psáno\r\nodpověď");
    EXPECT_EQ(this->pane().lineCount(), 2);

    // The appended line is itself unfinished, so the next append ends it.
    this->pane().appendLine(u"další");
    EXPECT_EQ(this->pane().text(), u"psáno\r\nodpověď\r\ndalší");
}

TYPED_TEST_P(PaneContract, shouldFollowEmptyLineAppendedToUnfinishedPaneWithOneMoreCrLf)
{
    this->pane().setText(u"psáno");
    this->pane().appendLine(u"");
    EXPECT_EQ(this->pane().text(), u"psáno\r\n\r\n");
    EXPECT_EQ(this->lines(), u"[psáno][]");
    this->pane().appendLine(u"x");
    EXPECT_EQ(this->pane().text(), u"psáno\r\n\r\nx\r\n");
}

TYPED_TEST_P(PaneContract, shouldForgetOldLinesWhenClearedOrReplaced)
{
    this->pane().setText(u"a\r\nb\r\nc");
    EXPECT_EQ(this->pane().lineCount(), 3);
    this->pane().clear();
    EXPECT_EQ(this->pane().lineCount(), 0);
    EXPECT_EQ(this->pane().line(0), u"");
    EXPECT_EQ(this->pane().text(), u"");

    this->pane().setText(u"x\r\ny");
    EXPECT_EQ(this->lines(), u"[x][y]");
    this->pane().setText(u"jen jeden");
    EXPECT_EQ(this->lines(), u"[jen jeden]");
    EXPECT_EQ(this->pane().line(1), u"");
}

TYPED_TEST_P(PaneContract, shouldSeeAppendedLinesWhenReadingAfterAppend)
{
    this->pane().setText(u"a\r\n");
    EXPECT_EQ(this->pane().lineCount(), 1);
    this->pane().appendLine(u"b");
    EXPECT_EQ(this->pane().lineCount(), 2);
    EXPECT_EQ(this->pane().line(1), u"b");
}

REGISTER_TYPED_TEST_SUITE_P(PaneContract, shouldCountNoLinesAndReadEmptyWhenPaneIsEmpty,
                            shouldCountTextAfterLastBreakButNoLineAfterFinalBreak,
                            shouldCountEmptyLinesBetweenOthers,
                            shouldTreatLoneLineFeedAndLoneCarriageReturnAsBreaks,
                            shouldEndLinesOnlyAtCarriageReturnAndLineFeed,
                            shouldKeepCarriageReturnAndLineFeedInsideAnAppendedLine,
                            shouldReadEmptyTextPastTheLastLineAndForNegativeIndex,
                            shouldReadAtMost4096CharactersOfALongLine,
                            shouldAppendLineAndCrLfToEmptyOrFinishedPane,
                            shouldEndUnfinishedLastLineBeforeAppending,
                            shouldFollowEmptyLineAppendedToUnfinishedPaneWithOneMoreCrLf,
                            shouldForgetOldLinesWhenClearedOrReplaced,
                            shouldSeeAppendedLinesWhenReadingAfterAppend);
