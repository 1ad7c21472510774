#pragma once

// The status bar's panels, and what they show of a run.

#include "transfer/transferrun.h"

#include <string>
#include <string_view>

namespace quorlink::window {

// StatusBar1's panels, addressed by index.
inline constexpr int LineCountPanel = 0; // lines in the source pane
inline constexpr int LinePanel = 1;      // the line being sent
inline constexpr int ReplyPanel = 2;     // replies collected in this run
inline constexpr int MessagePanel = 3;   // the port state and the run's messages

// The status bar as the face shows it.
class StatusPanels
{
public:
    virtual ~StatusPanels() = default;
    virtual void setPanelText(int index, std::u16string_view text) = 0;
    virtual std::u16string panelText(int index) const = 0;
};

// A run's events as the status panels show them: the line being sent, the
// replies so far, and "Zařízení neodpovídá", "Přenos přerušen" or "Konec
// přenosu" in the message panel.
class PanelProgress : public transfer::RunEvents
{
public:
    explicit PanelProgress(StatusPanels& panels) : m_panels(panels) {}

    void runStarted() override;
    void lineSending(int line) override;
    void replyCollected(int line, std::u16string_view reply, int replyCount) override;
    void noReply(int line) override;
    // A lost port is not reported: the run races through its remaining
    // lines and ends as usual.
    void sendFailed(int) override {}
    void stopped(int line) override;
    void finished() override;

private:
    StatusPanels& m_panels;
};

} // namespace quorlink::window
