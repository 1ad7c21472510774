// The window's pane widget keeps the line rules of every pane.

#include "memopane.h"
#include "panecontract.h"

#include <QTest>

struct WidgetPaneFactory
{
    static std::unique_ptr<quorlink::transfer::Pane> create()
    {
        return std::make_unique<quorlink::app::MemoPane>();
    }
};
using WidgetPanes = ::testing::Types<WidgetPaneFactory>;
INSTANTIATE_TYPED_TEST_SUITE_P(Widget, PaneContract, WidgetPanes);

TEST(WidgetPane, shouldKeepNoBreakSpacesAndCountByParagraphs)
{
    quorlink::app::MemoPane pane;
    pane.setText(u"a\u00A0b\r\n\r\nc");
    EXPECT_EQ(pane.text(), u"a\u00A0b\r\n\r\nc");
    EXPECT_EQ(pane.lineCount(), 3);
    pane.appendLine(u"x\ry");
    EXPECT_EQ(pane.lineCount(), 5); // a lone CR in a reply shows as a break
}

TEST(WidgetPane, shouldBreakTheLineOnShiftEnterAsOnEnter)
{
    quorlink::app::MemoPane pane;
    pane.show();
    QTest::keyClicks(&pane, QStringLiteral("AT"));
    QTest::keyClick(&pane, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(&pane, QStringLiteral("ATZ"));
    EXPECT_EQ(pane.lineCount(), 2);
    EXPECT_EQ(pane.text(), u"AT\r\nATZ");
}
