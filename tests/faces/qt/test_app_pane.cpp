// The window's pane widget keeps the line rules of every pane.

#include "memopane.h"
#include "panecontract.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QTextCursor>

struct WidgetPaneFactory
{
    static std::unique_ptr<quorlink::transfer::Pane> create()
    {
        return std::make_unique<quorlink::qtface::MemoPane>();
    }
};
using WidgetPanes = ::testing::Types<WidgetPaneFactory>;
INSTANTIATE_TYPED_TEST_SUITE_P(Widget, PaneContract, WidgetPanes);

TEST(WidgetPane, shouldKeepNoBreakSpacesAndCountByParagraphs)
{
    quorlink::qtface::MemoPane pane;
    pane.setText(u"a\u00A0b\r\n\r\nc");
    EXPECT_EQ(pane.text(), u"a\u00A0b\r\n\r\nc");
    EXPECT_EQ(pane.lineCount(), 3);
}

// A lone CR of a reply shows as its picture and reads back as CR; the same
// picture typed by the user, even right after it, reads as itself.
TEST(WidgetPane, shouldShowCarriageReturnOfReplyAsPictureAndReadTypedPictureAsItself)
{
    quorlink::qtface::MemoPane pane;
    pane.show();
    pane.appendLine(u"A\rB");
    EXPECT_EQ(pane.toPlainText(), u"A\u240DB\n");
    QTextCursor cursor = pane.textCursor();
    cursor.setPosition(2);
    pane.setTextCursor(cursor);
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("\u240D"));
    QApplication::sendEvent(&pane, &typed);
    EXPECT_EQ(pane.line(0), u"A\r\u240DB");
    EXPECT_EQ(pane.text(), u"A\r\u240DB\r\n");
    // Typed over a selection that ends after the picture: the picture goes,
    // the typed one stays itself.
    cursor.setPosition(0);
    cursor.setPosition(2, QTextCursor::KeepAnchor);
    pane.setTextCursor(cursor);
    EXPECT_EQ(pane.line(0), u"A\r\u240DB"); // selecting changes nothing
    QApplication::sendEvent(&pane, &typed);
    EXPECT_EQ(pane.line(0), u"\u240D\u240DB");
    pane.setText(u"\u240D\r\n\u2029");
    EXPECT_EQ(pane.toPlainText(), u"\u240D\n\u00B6");
    EXPECT_EQ(pane.text(), u"\u240D\r\n\u2029");
}

TEST(WidgetPane, shouldBreakTheLineOnShiftEnterAsOnEnter)
{
    quorlink::qtface::MemoPane pane;
    pane.show();
    QTest::keyClicks(&pane, QStringLiteral("AT"));
    QTest::keyClick(&pane, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(&pane, QStringLiteral("ATZ"));
    EXPECT_EQ(pane.lineCount(), 2);
    EXPECT_EQ(pane.text(), u"AT\r\nATZ");
}

// Appends (a run's replies) are no undo steps and keep no undo history; what
// the user types after them is undone as usual.
TEST(WidgetPane, shouldNotUndoAppendsButUndoTheUsersTyping)
{
    quorlink::qtface::MemoPane pane;
    pane.show();
    pane.setFocus();
    QTest::keyClicks(&pane, QStringLiteral("psano"));
    for (int i = 0; i < 100; ++i)
        pane.appendLine(u"odpověď");
    EXPECT_EQ(pane.document()->availableUndoSteps(), 0);
    QTest::keyClick(&pane, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(pane.lineCount(), 101);
    pane.moveCursor(QTextCursor::End);
    QTest::keyClicks(&pane, QStringLiteral("x"));
    EXPECT_EQ(pane.line(100), u"odpověďx");
    QTest::keyClick(&pane, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(pane.line(100), u"odpověď");
    EXPECT_EQ(pane.lineCount(), 101);
}
