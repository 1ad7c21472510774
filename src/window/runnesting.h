#pragma once

namespace quorlink::window {

// The runs in progress in a window (a run started between two exchanges of
// another counts as well) and a request to end the program made during them.
//
// The program ends only once the outermost run has returned: a window closed
// during a run stays on screen and current while the run completes its
// remaining exchanges (Esc still stops it), then it closes.
class RunNesting
{
public:
    // A run starts.
    void enter() { ++m_depth; }

    // A run returned.  True when it was the outermost one and the program was
    // asked to end meanwhile: the caller ends it now.
    bool leave()
    {
        if (m_depth > 0)
            --m_depth;
        if (m_depth > 0 || !m_endRequested)
            return false;
        m_endRequested = false;
        return true;
    }

    bool running() const { return m_depth > 0; }

    // The program is asked to end (the window's close box, Alt+F4, "Konec").
    // True when it may end now; during a run the request waits for leave().
    bool requestEnd()
    {
        if (m_depth == 0)
            return true;
        m_endRequested = true;
        return false;
    }

private:
    int m_depth = 0;
    bool m_endRequested = false;
};

} // namespace quorlink::window
