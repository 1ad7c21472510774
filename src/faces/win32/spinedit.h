#pragma once

#include "window/UnitSetCom.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

namespace quorlink::win32 {

// The time-out field EditTimeOut (window::TCSpinEdit) in Win32: a frame
// holding an EDIT control and, at its right end, two arrow buttons drawn as
// scroll arrows, up above down.  The field's behaviour decides the text,
// the filtering, the steps and the repeat; this shows the text and reports
// typed characters (through the dialog's key handling), the focus coming
// and going, and the arrow buttons' presses, pointer moves and releases.
// It is also the one-shot timer of the buttons' repeat (WM_TIMER).
class SpinField : public window::SpinEditFace, public window::Timer
{
public:
    SpinField() = default;
    SpinField(const SpinField&) = delete;
    SpinField& operator=(const SpinField&) = delete;

    void create(HWND dialog, int id);
    void attach(window::TSetCom& setCom);

    HWND hwnd() const { return m_frame; }
    HWND focusWindow() const { return m_edit; }
    // Places the field's frame at `frame`, the arrow buttons `arrowWidth`
    // wide inside it.
    void place(const RECT& frame, int arrowWidth);

    // SpinEditFace
    std::u16string fieldText() const override;
    void setFieldText(std::u16string_view text) override;
    void selectAll() override;
    bool hasFocus() const override;
    void takeFocus() override;
    void beep() override;
    char16_t decimalSeparator() const override;

    // Timer
    void start(std::int64_t delayMs) override;
    void stop() override;

private:
    static LRESULT CALLBACK frameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK arrowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK editProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR self);
    LRESULT arrowMessage(HWND arrow, UINT message, WPARAM wParam, LPARAM lParam);
    window::TCSpinEdit::Arrow arrowOf(HWND arrow) const;

    window::TSetCom* m_setCom = nullptr;
    HWND m_dialog = nullptr;
    HWND m_frame = nullptr;
    HWND m_edit = nullptr;
    std::array<HWND, 2> m_arrows{}; // up, down
    bool m_pressOnText = false;     // the focus comes with a press on the text
};

} // namespace quorlink::win32
