#include "UnitSetCom.h"

#include "transfer/utf16.h"

#include <algorithm>
#include <span>

namespace quorlink::window {

namespace {

char16_t foldCase(char16_t c)
{
    // The entries are ASCII; other characters never match one of their
    // letters, whatever their case.
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool beginsIgnoringCase(std::u16string_view entry, std::u16string_view prefix)
{
    if (prefix.size() > entry.size())
        return false;
    return std::equal(prefix.begin(), prefix.end(), entry.begin(),
                      [](char16_t a, char16_t b) { return foldCase(a) == foldCase(b); });
}

int length(std::u16string_view text)
{
    return static_cast<int>(text.size());
}

// The control after (or before) `from` in `order`, which goes round; none
// when `from` is not in it.
std::optional<DialogControl> nextInCycle(std::span<const DialogControl> order, DialogControl from,
                                         bool forward)
{
    const auto it = std::find(order.begin(), order.end(), from);
    if (it == order.end())
        return std::nullopt;
    const std::size_t at = static_cast<std::size_t>(it - order.begin());
    return order[(at + (forward ? 1 : order.size() - 1)) % order.size()];
}

} // namespace

// ---------------------------------------------------------------------------
// TComboBox

TComboBox::TComboBox(std::vector<std::u16string> items, std::u16string designText)
    : m_items(std::move(items)), m_text(std::move(designText))
{}

void TComboBox::attach(ComboBoxFace* face)
{
    m_face = face;
    if (m_face)
        m_face->showItems(m_items);
    show();
}

void TComboBox::setItems(std::vector<std::u16string> items)
{
    if (items == m_items)
        return;
    if (m_itemIndex >= 0) {
        const auto still =
            std::find(items.begin(), items.end(), m_items[static_cast<std::size_t>(m_itemIndex)]);
        if (still != items.end())
            m_itemIndex = static_cast<int>(still - items.begin());
        else
            m_itemIndex = -1;
    }
    m_items = std::move(items);
    if (m_face)
        m_face->showItems(m_items);
    show();
}

void TComboBox::show()
{
    if (m_face)
        m_face->showChoice(m_itemIndex, m_text, m_selStart, m_selLength);
}

void TComboBox::choose(int index)
{
    m_itemIndex = index;
    m_text = m_items[static_cast<std::size_t>(index)];
    m_selStart = 0;
    m_selLength = length(m_text);
}

void TComboBox::setItemIndex(int index)
{
    if (index == m_itemIndex)
        return;
    if (index < 0 || index >= static_cast<int>(m_items.size())) {
        m_itemIndex = -1;
        m_text.clear();
        m_selStart = m_selLength = 0;
    } else {
        choose(index);
    }
    show();
}

void TComboBox::chooseNothingKeepText(std::u16string_view text, int cursor)
{
    m_itemIndex = -1;
    m_text = text;
    m_selStart = std::clamp(cursor, 0, length(m_text));
    m_selLength = 0;
}

bool TComboBox::KeyDown(Key key, Modifiers modifiers)
{
    if (key == Key::Enter) {
        // Open: only the drop-down part closes, and the choice stays.
        if (!m_face || !m_face->droppedDown())
            return false;
        m_face->closeDropDown();
        show();
        return true;
    }
    // Alt+Down and Alt+Up open and close the drop-down part: the face's own.
    if (modifiers.alt || modifiers.ctrl)
        return false;
    if (key != Key::Up && key != Key::Down)
        return false;
    const int last = static_cast<int>(m_items.size()) - 1;
    int next = m_itemIndex;
    if (key == Key::Down)
        next = m_itemIndex < 0 ? 0 : std::min(m_itemIndex + 1, last);
    else if (m_itemIndex > 0)
        next = m_itemIndex - 1;
    if (next >= 0 && next != m_itemIndex)
        choose(next);
    show();
    return true;
}

bool TComboBox::KeyPress(char16_t& key)
{
    if (OnKeyPress)
        OnKeyPress(key);
    // Esc and Enter are the dialog's; nothing else below a space types.
    return key >= 32 && key != 0x7F;
}

void TComboBox::TextTyped(std::u16string_view text, int cursor)
{
    // The box's text completes to the first entry it begins, in list order.
    if (!text.empty()) {
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            if (!beginsIgnoringCase(m_items[i], text))
                continue;
            m_itemIndex = static_cast<int>(i);
            m_text = m_items[i];
            m_selStart = length(text);
            m_selLength = length(m_text) - m_selStart;
            show();
            return;
        }
    }
    chooseNothingKeepText(text, cursor);
    show();
}

void TComboBox::TextEdited(std::u16string_view text, int cursor, TextEdit how)
{
    // Also when the text stays as it was (Backspace at the start, "COM3"
    // pasted over "COM3").
    static_cast<void>(how);
    chooseNothingKeepText(text, cursor);
    show();
}

void TComboBox::EntryPicked(int index)
{
    if (index >= 0 && index < static_cast<int>(m_items.size()))
        choose(index);
    show();
}

// ---------------------------------------------------------------------------
// The port list

std::vector<PortEntry> portEntries(const std::vector<serial::ListedPort>& ports)
{
    std::vector<PortEntry> entries;
    entries.reserve(ports.size());
    for (const serial::ListedPort& port : ports) {
        PortEntry entry{port.number, transfer::fromUtf8(serial::comName(port.number)),
                        transfer::fromUtf8(port.device)};
        entry.description += port.present ? DevicePresentSuffix : DeviceMissingSuffix;
        if (port.number > serial::AlwaysListedPortCount) {
            if (!port.present)
                entry.text += DeviceMissingSuffix;
            else if (port.port && !port.port->name.empty())
                entry.text += u' ' + transfer::fromUtf8(port.port->name);
        }
        if (port.port) {
            std::vector<std::u16string> facts;
            if (!port.port->name.empty())
                facts.push_back(transfer::fromUtf8(port.port->name));
            if (!port.port->maker.empty())
                facts.push_back(std::u16string(DeviceMakerLabel) +
                                transfer::fromUtf8(port.port->maker));
            if (!port.port->serialNumber.empty())
                facts.push_back(std::u16string(DeviceSerialNumberLabel) +
                                transfer::fromUtf8(port.port->serialNumber));
            if (const std::string other = serial::otherDevicePath(port); !other.empty())
                facts.push_back(transfer::fromUtf8(other));
            for (std::size_t i = 0; i < facts.size(); ++i)
                entry.description += (i == 0 ? u": " : u", ") + facts[i];
        }
        if (port.offered)
            entry.description += OfferedPortNote;
        entries.push_back(std::move(entry));
    }
    return entries;
}

// ---------------------------------------------------------------------------
// TSetCom

Point centredOver(const Rect& owner, Point size, const Rect& desktop)
{
    Point topLeft{owner.left + (owner.width - size.x) / 2, owner.top + (owner.height - size.y) / 2};
    topLeft.x = std::max(topLeft.x, desktop.left);
    topLeft.y = std::max(topLeft.y, desktop.top);
    return topLeft;
}

TSetCom::TSetCom(SetComFace& face, SpinEditFace& timeOutFace, const Clock& clock, Timer& timer)
    : ComboBoxCom(portListEntries(), std::u16string(componentOf(DialogControl::ComboBoxCom).text)),
      ComboBoxBaud(speedListEntries(),
                   std::u16string(componentOf(DialogControl::ComboBoxBaud).text)),
      EditTimeOut(timeOutFace, clock, timer), m_face(face)
{
    for (std::int32_t port = 1; port <= serial::AlwaysListedPortCount; ++port)
        m_portNumbers.push_back(port);
    EditTimeOut.setMinValue(TimeOutMin);
    EditTimeOut.setMaxValue(TimeOutMax);
    EditTimeOut.setIncrement(TimeOutIncrement);
    EditTimeOut.SetValue(TimeOutMax);
    const auto keyPress = [this](char16_t& key) { FormKeyPress(key); };
    ComboBoxCom.OnKeyPress = keyPress;
    ComboBoxBaud.OnKeyPress = keyPress;
    EditTimeOut.OnKeyPress = keyPress;
}

void TSetCom::setPortList(const std::vector<PortEntry>& entries)
{
    std::vector<std::u16string> texts;
    std::vector<std::u16string> descriptions;
    m_portNumbers.clear();
    for (const PortEntry& entry : entries) {
        m_portNumbers.push_back(entry.number);
        texts.push_back(entry.text);
        descriptions.push_back(entry.description);
    }
    ComboBoxCom.setItems(std::move(texts));
    m_face.setPortDescriptions(descriptions);
}

int TSetCom::portPosition(std::int32_t number) const
{
    const auto it = std::find(m_portNumbers.begin(), m_portNumbers.end(), number);
    return it == m_portNumbers.end() ? -1 : static_cast<int>(it - m_portNumbers.begin());
}

std::int32_t TSetCom::portNumberAt(int position) const
{
    if (position < 0 || position >= static_cast<int>(m_portNumbers.size()))
        return 0;
    return m_portNumbers[static_cast<std::size_t>(position)];
}

void TSetCom::FormKeyPress(char16_t& key)
{
    if (key == EscChar)
        close(ResultCancel);
}

int TSetCom::ShowModal()
{
    placeForShowing();
    m_face.setFocus(m_lastFocus.value_or(DialogControl::ComboBoxCom), true);
    m_showing = true;
    const int result = m_face.runModal();
    m_showing = false;
    return result;
}

void TSetCom::placeForShowing()
{
    if (m_shownBefore) {
        m_face.move(m_lastPosition);
        return;
    }
    m_shownBefore = true;
    m_face.move(centredOver(m_face.ownerFrame(), m_face.frameSize(), m_face.desktopArea()));
}

void TSetCom::close(int result)
{
    if (!m_showing)
        return;
    m_lastPosition = m_face.position();
    m_lastFocus = m_face.focusedControl();
    m_showing = false;
    EditTimeOut.Hidden();
    m_face.endModal(result);
}

void TSetCom::ButtonClick(DialogControl button)
{
    if (button == DialogControl::Button2)
        close(ResultOk);
    else if (button == DialogControl::Button1)
        close(ResultStorno);
}

void TSetCom::FocusChanged(std::optional<DialogControl> focus)
{
    m_face.showDefaultButton(focus == DialogControl::Button1 ? DialogControl::Button1
                                                             : DialogControl::Button2);
}

void TSetCom::CloseRequested()
{
    close(ResultCancel);
}

void TSetCom::moveAmongButtons(DialogControl from, bool forward)
{
    // The dialog's own children in tab order, tab stops ignored: from "Ok"
    // onward it wraps to the group box.
    static constexpr DialogControl Siblings[]{DialogControl::GroupBox1, DialogControl::Button1,
                                              DialogControl::Button2};
    if (const std::optional<DialogControl> next = nextInCycle(Siblings, from, forward))
        m_face.setFocus(*next, forward);
}

void TSetCom::moveAlongTabOrder(DialogControl from, bool forward)
{
    // The five controls that take the focus, in tab order, round and round.
    static constexpr DialogControl TabOrder[]{
        DialogControl::ComboBoxCom, DialogControl::ComboBoxBaud, DialogControl::EditTimeOut,
        DialogControl::Button1, DialogControl::Button2};
    if (const std::optional<DialogControl> next = nextInCycle(TabOrder, from, forward))
        m_face.setFocus(*next, forward);
}

bool TSetCom::KeyDown(DialogControl focus, Key key, Modifiers modifiers)
{
    const bool plainArrow =
        !modifiers.alt && !modifiers.ctrl &&
        (key == Key::Left || key == Key::Right || key == Key::Up || key == Key::Down);
    const bool forwardArrow = key == Key::Right || key == Key::Down;

    if (focus == DialogControl::GroupBox1) {
        // It has no key-press handler: Esc does nothing there.
        switch (key) {
        case Key::Escape:
            return true;
        case Key::Enter:
            close(ResultOk);
            return true;
        case Key::Tab:
            m_face.setFocus(modifiers.shift ? DialogControl::Button2 : DialogControl::ComboBoxCom,
                            !modifiers.shift);
            return true;
        default:
            if (!plainArrow)
                return false;
            moveAmongButtons(focus, forwardArrow);
            return true;
        }
    }

    if (key == Key::Escape) {
        char16_t esc = EscChar;
        FormKeyPress(esc);
        return true;
    }
    if (key == Key::Tab) {
        // Ctrl+Tab and Alt+Tab are not the dialog's.
        if (modifiers.ctrl || modifiers.alt)
            return false;
        moveAlongTabOrder(focus, !modifiers.shift);
        return true;
    }

    switch (focus) {
    case DialogControl::ComboBoxCom:
    case DialogControl::ComboBoxBaud: {
        TComboBox& box = focus == DialogControl::ComboBoxCom ? ComboBoxCom : ComboBoxBaud;
        if (box.KeyDown(key, modifiers))
            return true;
        if (key == Key::Enter) {
            // A closed list passes Enter on to the default button.
            close(ResultOk);
            return true;
        }
        return false;
    }
    case DialogControl::EditTimeOut:
        if (key == Key::Enter) {
            // A character the field does not take: it beeps.
            char16_t enter = EnterChar;
            EditTimeOut.KeyPress(enter);
            return true;
        }
        return EditTimeOut.KeyDown(key, modifiers);
    case DialogControl::Button1:
    case DialogControl::Button2:
        if (key == Key::Enter || key == Key::Space) {
            ButtonClick(focus);
            return true;
        }
        if (!plainArrow)
            return false;
        moveAmongButtons(focus, forwardArrow);
        return true;
    case DialogControl::GroupBox1:
        break;
    }
    return false;
}

bool TSetCom::KeyPress(DialogControl focus, char16_t& key)
{
    switch (focus) {
    case DialogControl::ComboBoxCom:
        return ComboBoxCom.KeyPress(key);
    case DialogControl::ComboBoxBaud:
        return ComboBoxBaud.KeyPress(key);
    case DialogControl::EditTimeOut:
        return EditTimeOut.KeyPress(key);
    case DialogControl::Button1:
    case DialogControl::Button2:
        FormKeyPress(key);
        return false;
    case DialogControl::GroupBox1:
        break;
    }
    return false;
}

} // namespace quorlink::window
