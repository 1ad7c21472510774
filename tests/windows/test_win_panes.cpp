// The panes of quorlink.exe (EDIT controls) keep the line rules every pane
// keeps, and show the control no line break but CR LF.

#include "faces/win32/memopane.h"
#include "panecontract.h"

#include <cstring>
#include <memory>
#include <string>

namespace {

// A pane on a window of its own that goes with it.
class TestPane : public quorlink::win32::EditPane
{
public:
    TestPane()
    {
        m_parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
        create(m_parent, 1, nullptr);
    }
    ~TestPane() override { DestroyWindow(m_parent); }

private:
    HWND m_parent = nullptr;
};

struct EditPaneFactory
{
    static std::unique_ptr<quorlink::transfer::Pane> create()
    {
        return std::make_unique<TestPane>();
    }
};

std::u16string shown(const TestPane& pane)
{
    std::u16string text(static_cast<std::size_t>(GetWindowTextLengthW(pane.hwnd())) + 1, u'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(
        pane.hwnd(), reinterpret_cast<wchar_t*>(text.data()), static_cast<int>(text.size()))));
    return text;
}

int shownLines(const TestPane& pane)
{
    return static_cast<int>(SendMessageW(pane.hwnd(), EM_GETLINECOUNT, 0, 0));
}

// Typed by the operator at `at`: the control's change and its report.
void type(TestPane& pane, int at, const wchar_t* text)
{
    SendMessageW(pane.hwnd(), EM_SETSEL, at, at);
    SendMessageW(pane.hwnd(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text));
    ASSERT_TRUE(pane.controlChanged());
}

} // namespace

// A reply's lone CR or LF shows as its picture, so that the control keeps
// one reply per line; the pane reads and saves it as received, also after
// the operator typed beside it, while a picture the operator types is
// itself.  Text that is set or pasted reaches the control with CR LF only.
TEST(EditPane, shouldShowTheControlNoLineBreakButCrLf)
{
    TestPane pane;
    pane.appendLine(u"A\rB");
    pane.appendLine(u"\nC");
    EXPECT_EQ(shown(pane), u"A\u240DB\r\n\u240AC\r\n");
    EXPECT_EQ(shownLines(pane), 3); // and the empty one after the last break
    EXPECT_EQ(pane.text(), u"A\rB\r\n\nC\r\n");

    type(pane, 1, L"\u240D");
    type(pane, 7, L"x");
    EXPECT_EQ(shown(pane), u"A\u240D\u240DB\r\n\u240AxC\r\n");
    EXPECT_EQ(pane.lineCount(), 2);
    EXPECT_EQ(pane.line(0), u"A\u240D\rB");
    EXPECT_EQ(pane.text(), u"A\u240D\rB\r\n\nxC\r\n");
    SendMessageW(pane.hwnd(), EM_SETSEL, 2, 3); // the reply's picture, deleted
    SendMessageW(pane.hwnd(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L""));
    ASSERT_TRUE(pane.controlChanged());
    EXPECT_EQ(pane.line(0), u"A\u240DB");

    pane.setText(u"a\rb\nc");
    EXPECT_EQ(shown(pane), u"a\r\nb\r\nc");
    EXPECT_EQ(shownLines(pane), 3);
    type(pane, 0, L"\r\n");
    EXPECT_EQ(pane.lineCount(), 4);
    EXPECT_EQ(pane.line(1), u"a");

    // Pasted: the clipboard needs a window of this process's own.
    ASSERT_TRUE(OpenClipboard(pane.hwnd()));
    EmptyClipboard();
    const wchar_t pasted[] = L"p\rq\n";
    HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, sizeof pasted);
    std::memcpy(GlobalLock(data), pasted, sizeof pasted);
    GlobalUnlock(data);
    SetClipboardData(CF_UNICODETEXT, data);
    CloseClipboard();
    const auto end = static_cast<WPARAM>(GetWindowTextLengthW(pane.hwnd()));
    SendMessageW(pane.hwnd(), EM_SETSEL, end, static_cast<LPARAM>(end));
    SendMessageW(pane.hwnd(), WM_PASTE, 0, 0);
    ASSERT_TRUE(pane.controlChanged());
    EXPECT_EQ(shown(pane), u"\r\na\r\nb\r\ncp\r\nq\r\n");
    EXPECT_EQ(pane.lineCount(), 5);
    EXPECT_EQ(pane.line(3), u"cp");
}

using EditPanes = ::testing::Types<EditPaneFactory>;
INSTANTIATE_TYPED_TEST_SUITE_P(Edit, PaneContract, EditPanes);
