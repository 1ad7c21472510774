// The panes of quorlink.exe (EDIT controls) keep the line rules every pane
// keeps.

#include "faces/win32/memopane.h"
#include "panecontract.h"

#include <memory>

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

} // namespace

using EditPanes = ::testing::Types<EditPaneFactory>;
INSTANTIATE_TYPED_TEST_SUITE_P(Edit, PaneContract, EditPanes);
