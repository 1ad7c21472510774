#include "panelprogress.h"

#include "transfer/utf16.h"
#include "windowdefs.h"

namespace quorlink::window {

void PanelProgress::runStarted()
{
    m_panels.setPanelText(LinePanel, u"0");
    m_panels.setPanelText(ReplyPanel, u"0");
    m_panels.setPanelText(MessagePanel, u"");
}

void PanelProgress::lineSending(int line)
{
    m_panels.setPanelText(LinePanel, transfer::decimalText(line));
}

void PanelProgress::replyCollected(int, std::u16string_view, int replyCount)
{
    m_panels.setPanelText(ReplyPanel, transfer::decimalText(replyCount));
}

void PanelProgress::noReply(int)
{
    // Stays until a later text replaces it; a later reply does not.
    m_panels.setPanelText(MessagePanel, NoReplyText);
}

void PanelProgress::stopped(int)
{
    m_panels.setPanelText(MessagePanel, RunStoppedText);
}

void PanelProgress::finished()
{
    m_panels.setPanelText(MessagePanel, RunFinishedText);
}

} // namespace quorlink::window
