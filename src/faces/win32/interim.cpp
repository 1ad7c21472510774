#include "interim.h"

namespace quorlink::win32 {

void InterimForm::command(MenuCommand id)
{
    switch (id) {
    case Konec1:
        m_window.close();
        break;
    case Port1:
        if (!m_shown) {
            RECT owner = m_dialog.ownerFrame();
            RECT frame = m_dialog.dialogFrame();
            m_dialog.moveTo(
                {owner.left + (owner.right - owner.left - (frame.right - frame.left)) / 2,
                 owner.top + (owner.bottom - owner.top - (frame.bottom - frame.top)) / 2});
            m_dialog.focus(DialogControl::ComboBoxCom);
            m_shown = true;
        }
        m_dialog.showModal();
        break;
    default:
        break;
    }
}

bool InterimForm::keyDown(DialogControl, unsigned virtualKey, bool)
{
    if (virtualKey == VK_ESCAPE) {
        m_dialog.end(2);
        return true;
    }
    return false;
}

void InterimForm::buttonClicked(DialogControl button)
{
    m_dialog.end(button == DialogControl::Button2 ? 1 : 3);
}

} // namespace quorlink::win32
