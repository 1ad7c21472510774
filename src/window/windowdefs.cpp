#include "windowdefs.h"

#include <string>

namespace quorlink::window {

namespace {

std::u16string ascii(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

} // namespace

bool menuItemForShortcut(Shortcut shortcut, MenuItem& item)
{
    if (shortcut == Shortcut::None)
        return false;
    for (const TopMenu& menu : MainMenu1) {
        for (const MenuEntry& entry : menu.entries) {
            if (!entry.separator && entry.shortcut == shortcut) {
                item = entry.item;
                return true;
            }
        }
    }
    return false;
}

const DialogComponent& componentOf(DialogControl control)
{
    switch (control) {
    case DialogControl::GroupBox1:
        return SetComComponents[0];
    case DialogControl::ComboBoxCom:
        return SetComComponents[2];
    case DialogControl::ComboBoxBaud:
        return SetComComponents[4];
    case DialogControl::EditTimeOut:
        return SetComComponents[6];
    case DialogControl::Button1:
        return SetComComponents[7];
    case DialogControl::Button2:
        break;
    }
    return SetComComponents[8];
}

std::vector<std::u16string> portListEntries()
{
    std::vector<std::u16string> entries;
    for (std::int32_t port = 1; port <= serial::AlwaysListedPortCount; ++port)
        entries.push_back(ascii(serial::comName(port)));
    return entries;
}

std::u16string permissionDeniedText(std::u16string_view device, std::u16string_view group)
{
    std::u16string text;
    if (group.empty()) {
        text = u"Nemáte oprávnění používat zařízení ";
        text += device;
        text += u'.';
        return text;
    }
    text = u"Zařízení ";
    text += device;
    text += u" smí používat jen skupina ";
    text += group;
    text += u". Přidejte se do ní (v Debianu: sudo usermod -aG ";
    text += group;
    text += u" $USER) a přihlaste se znovu.";
    return text;
}

std::vector<std::u16string> speedListEntries()
{
    std::vector<std::u16string> entries;
    for (const std::uint32_t baud : serial::BaudRates)
        entries.push_back(ascii(std::to_string(baud)));
    return entries;
}

} // namespace quorlink::window
