// The port dialog's behaviour: its lists, its key table, its results and
// placement, and the time-out spin field with its arrow buttons.

#include "fakeface.h"

#include <gtest/gtest.h>

using quorlink::window::centredOver;
using quorlink::window::DialogControl;
using quorlink::window::Key;
using quorlink::window::Modifiers;
using quorlink::window::Point;
using quorlink::window::Rect;
using quorlink::window::TComboBox;
using quorlink::window::TCSpinEdit;
using quorlink::window::TextEdit;
using quorlink::window::TSetCom;
using namespace quorlink::window::testing;

namespace {

class SetCom : public ::testing::Test
{
protected:
    SetCom() : dialog(face, spin, clock, timer)
    {
        dialog.ComboBoxCom.attach(&com);
        dialog.ComboBoxBaud.attach(&baud);
    }

    FakeSetComFace face;
    FakeSpinFace spin;
    FakeClock clock;
    FakeTimer timer;
    FakeComboFace com;
    FakeComboFace baud;
    TSetCom dialog;
};

TEST_F(SetCom, shouldCompleteTypedTextAndChooseNothingOnOtherEdits)
{
    EXPECT_EQ(com.shown, u"Vyberte port");
    EXPECT_EQ(baud.shown, u"Vyberte rychlost");
    EXPECT_EQ(dialog.ComboBoxCom.Items().size(), 16u);
    EXPECT_EQ(dialog.ComboBoxBaud.Items().back(), u"115200");

    struct Case
    {
        TComboBox* box;
        std::u16string typed;
        int index;
        std::u16string text;
        int selStart;
    };
    const Case cases[] = {
        {&dialog.ComboBoxCom, u"com", 0, u"COM1", 3},
        {&dialog.ComboBoxCom, u"com10", 9, u"COM10", 5},
        {&dialog.ComboBoxCom, u"7", -1, u"7", 1},
        {&dialog.ComboBoxCom, u"com17", -1, u"com17", 5},
        {&dialog.ComboBoxBaud, u"1", 3, u"1200", 1},
        {&dialog.ComboBoxBaud, u"11", 16, u"115200", 2},
        {&dialog.ComboBoxBaud, u"5", 14, u"57600", 1},
        {&dialog.ComboBoxBaud, u"8", -1, u"8", 1},
    };
    for (const Case& c : cases) {
        c.box->TextTyped(c.typed, static_cast<int>(c.typed.size()));
        EXPECT_EQ(c.box->ItemIndex(), c.index);
        EXPECT_EQ(c.box->Text(), c.text);
        EXPECT_EQ(c.box->SelStart(), c.selStart);
        EXPECT_EQ(c.box->SelStart() + c.box->SelLength(), static_cast<int>(c.text.size()));
    }
    EXPECT_EQ(com.index, -1);
    EXPECT_EQ(com.shown, u"com17");

    // Backspace, Delete and paste leave no entry chosen, even when they
    // changed nothing, with the drop-down part closed or open.
    for (const bool open : {false, true}) {
        com.open = open;
        for (const TextEdit how : {TextEdit::Backspace, TextEdit::Delete, TextEdit::Paste}) {
            dialog.ComboBoxCom.setItemIndex(2);
            dialog.ComboBoxCom.TextEdited(u"COM3", 0, how);
            EXPECT_EQ(dialog.ComboBoxCom.ItemIndex(), -1);
            EXPECT_EQ(com.shown, u"COM3");
        }
    }
    // Typing with it open completes as with it closed.
    dialog.ComboBoxCom.TextTyped(u"7", 1);
    EXPECT_EQ(dialog.ComboBoxCom.ItemIndex(), -1);
    dialog.ComboBoxCom.TextTyped(u"COM4", 4);
    EXPECT_EQ(dialog.ComboBoxCom.ItemIndex(), 3);

    // Setting the index it has keeps the text; any other shows the entry
    // or empties the box.
    dialog.ComboBoxBaud.setItemIndex(-1);
    EXPECT_EQ(baud.shown, u"8");
    dialog.ComboBoxBaud.setItemIndex(5);
    EXPECT_EQ(baud.shown, u"2400");
    dialog.ComboBoxBaud.setItemIndex(17);
    EXPECT_EQ(baud.index, -1);
    EXPECT_EQ(baud.shown, u"");
}

TEST_F(SetCom, shouldFollowTheKeyTableAndReturnItsResults)
{
    const auto show = [&](std::function<void()> actions) {
        face.whileShown = std::move(actions);
        return dialog.ShowModal();
    };
    const Modifiers none;
    const Modifiers alt{false, false, true};

    // Up and Down choose, open or closed; Enter in an open list only closes
    // it and keeps the choice, in a closed one confirms.
    dialog.ComboBoxBaud.setItemIndex(5);
    EXPECT_EQ(show([&] {
                  baud.open = true;
                  dialog.KeyDown(DialogControl::ComboBoxBaud, Key::Down, none);
                  dialog.KeyDown(DialogControl::ComboBoxBaud, Key::Down, none);
                  EXPECT_EQ(baud.shown, u"4800");
                  EXPECT_TRUE(dialog.KeyDown(DialogControl::ComboBoxBaud, Key::Enter, none));
                  EXPECT_FALSE(baud.open);
                  EXPECT_FALSE(face.result);
                  dialog.KeyDown(DialogControl::ComboBoxBaud, Key::Up, none);
                  dialog.KeyDown(DialogControl::ComboBoxBaud, Key::Enter, none);
              }),
              TSetCom::ResultOk);
    EXPECT_EQ(dialog.ComboBoxBaud.ItemIndex(), 6);
    // Alt with an arrow is the drop-down's own, and moves no focus.
    face.focus = DialogControl::ComboBoxBaud;
    EXPECT_FALSE(dialog.KeyDown(DialogControl::ComboBoxBaud, Key::Down, alt));
    EXPECT_FALSE(dialog.KeyDown(DialogControl::ComboBoxBaud, Key::Left, alt));
    EXPECT_FALSE(dialog.KeyDown(DialogControl::EditTimeOut, Key::Right, alt));
    EXPECT_EQ(face.focus, DialogControl::ComboBoxBaud);

    // Esc from every control, also with a list open: 2; on the group box
    // nothing.  Enter in the time-out field beeps.
    for (const DialogControl control :
         {DialogControl::ComboBoxCom, DialogControl::ComboBoxBaud, DialogControl::EditTimeOut,
          DialogControl::Button1, DialogControl::Button2}) {
        EXPECT_EQ(show([&] {
                      com.open = baud.open = true;
                      dialog.KeyDown(control, Key::Escape, none);
                  }),
                  TSetCom::ResultCancel);
    }
    com.open = baud.open = false;
    EXPECT_EQ(show([&] {
                  dialog.KeyDown(DialogControl::GroupBox1, Key::Escape, none);
                  dialog.KeyDown(DialogControl::EditTimeOut, Key::Enter, none);
                  EXPECT_FALSE(face.result);
                  EXPECT_EQ(spin.beeps, 1);
                  char16_t esc = 27;
                  EXPECT_FALSE(dialog.KeyPress(DialogControl::EditTimeOut, esc));
              }),
              TSetCom::ResultCancel);
    EXPECT_EQ(show([&] { dialog.KeyDown(DialogControl::Button1, Key::Enter, none); }),
              TSetCom::ResultStorno);
    EXPECT_EQ(show([&] { dialog.KeyDown(DialogControl::Button2, Key::Space, none); }),
              TSetCom::ResultOk);
    EXPECT_EQ(show([&] { dialog.CloseRequested(); }), TSetCom::ResultCancel);

    // Arrows among the buttons wrap to the group box; its own keys.
    std::vector<DialogControl> visited;
    EXPECT_EQ(show([&] {
                  face.focus = DialogControl::Button1;
                  for (const Key key : {Key::Right, Key::Down, Key::Right, Key::Left, Key::Up}) {
                      dialog.KeyDown(*face.focus, key, none);
                      visited.push_back(*face.focus);
                  }
                  dialog.KeyDown(DialogControl::GroupBox1, Key::Tab, none);
                  visited.push_back(*face.focus);
                  dialog.KeyDown(DialogControl::GroupBox1, Key::Tab, Modifiers{true, false, false});
                  visited.push_back(*face.focus);
                  dialog.KeyDown(DialogControl::GroupBox1, Key::Enter, none);
              }),
              TSetCom::ResultOk);
    EXPECT_EQ(visited, (std::vector<DialogControl>{
                           DialogControl::Button2, DialogControl::GroupBox1, DialogControl::Button1,
                           DialogControl::GroupBox1, DialogControl::Button2,
                           DialogControl::ComboBoxCom, DialogControl::Button2}));
}

TEST_F(SetCom, shouldGoRoundTheTabOrderWithTabAndShiftTab)
{
    const Modifiers shift{true, false, false};
    face.focus = DialogControl::ComboBoxCom;
    std::vector<DialogControl> visited;
    for (const Modifiers modifiers : {Modifiers{}, shift}) {
        for (int i = 0; i < 5; ++i) {
            EXPECT_TRUE(dialog.KeyDown(*face.focus, Key::Tab, modifiers));
            EXPECT_EQ(face.forward, !modifiers.shift);
            visited.push_back(*face.focus);
        }
    }
    EXPECT_EQ(visited,
              (std::vector<DialogControl>{
                  DialogControl::ComboBoxBaud, DialogControl::EditTimeOut, DialogControl::Button1,
                  DialogControl::Button2, DialogControl::ComboBoxCom, DialogControl::Button2,
                  DialogControl::Button1, DialogControl::EditTimeOut, DialogControl::ComboBoxBaud,
                  DialogControl::ComboBoxCom}));
    // Ctrl+Tab and Alt+Tab are not the dialog's.
    EXPECT_FALSE(dialog.KeyDown(DialogControl::EditTimeOut, Key::Tab, {false, true, false}));
    EXPECT_FALSE(dialog.KeyDown(DialogControl::Button1, Key::Tab, {false, false, true}));
    EXPECT_EQ(face.focus, DialogControl::ComboBoxCom);
}

TEST_F(SetCom, shouldCentreFirstShowingThenKeepPositionAndFocus)
{
    face.whileShown = [&] {
        face.focus = DialogControl::Button2;
        face.at = {40, 50}; // dragged
        dialog.ButtonClick(DialogControl::Button2);
    };
    dialog.ShowModal();
    EXPECT_EQ(face.showings, 1);
    face.whileShown = [&] {
        EXPECT_EQ(face.at, (Point{40, 50}));
        EXPECT_EQ(face.focus, DialogControl::Button2);
    };
    face.focus.reset();
    face.owner = {700, 700, 651, 275};
    dialog.ShowModal();

    EXPECT_EQ(centredOver({100, 100, 651, 275}, {258, 320}, {0, 0, 1920, 1080}), (Point{296, 78}));
    EXPECT_EQ(centredOver({-300, -200, 200, 100}, {258, 320}, {0, 0, 1920, 1080}), (Point{0, 0}));
}

TEST_F(SetCom, shouldReadLimitFilterAndStepTheTimeOut)
{
    TCSpinEdit& field = dialog.EditTimeOut;
    EXPECT_EQ(spin.shown, u"2000");
    field.SetValue(5000);
    EXPECT_EQ(spin.shown, u"2000");
    spin.shown = u"$10";
    EXPECT_EQ(field.GetValue(), 16);
    EXPECT_EQ(spin.shown, u"$10");
    spin.shown = u"abc";
    field.UpClick();
    EXPECT_EQ(spin.shown, u"10");
    spin.shown = u"3000";
    field.FocusLeft();
    EXPECT_EQ(spin.shown, u"2000");
    spin.shown = u"0010";
    field.FocusLeft();
    EXPECT_EQ(spin.shown, u"0010");

    // Characters: digits, signs and the decimal separator go in; letters and
    // Enter beep and reach nobody.
    for (char16_t ok : {u'5', u'-', u'$', u',', char16_t(8)}) {
        char16_t key = ok;
        EXPECT_TRUE(field.KeyPress(key));
    }
    for (char16_t bad : {u'a', u'x', u'\r'}) {
        char16_t key = bad;
        EXPECT_FALSE(field.KeyPress(key));
    }
    EXPECT_EQ(spin.beeps, 3);

    // Held from 200 for just over a second, released over the button: 240.
    spin.shown = u"200";
    field.ArrowMouseDown(TCSpinEdit::Arrow::Up);
    EXPECT_TRUE(spin.focused);
    EXPECT_EQ(timer.due, 400);
    for (std::int64_t at : {400, 500, 600, 700, 800, 900, 1000}) {
        clock.now = 1000 + at;
        field.TimerExpired();
    }
    clock.now = 1000 + 1050;
    field.ArrowMouseUp(TCSpinEdit::Arrow::Up, true);
    EXPECT_EQ(spin.shown, u"240");
    EXPECT_FALSE(timer.due);

    // Off the button no repeat counts and a release there adds nothing; a
    // late timer catches up with the repeats that fell due.
    field.ArrowMouseDown(TCSpinEdit::Arrow::Down);
    field.ArrowMouseMove(TCSpinEdit::Arrow::Down, false);
    clock.now += 450;
    field.TimerExpired();
    field.ArrowMouseMove(TCSpinEdit::Arrow::Down, true);
    clock.now += 300; // 750 ms: the repeats at 500, 600 and 700
    field.TimerExpired();
    field.ArrowMouseUp(TCSpinEdit::Arrow::Down, false);
    EXPECT_EQ(spin.shown, u"225");
}

} // namespace
