#pragma once

// What the main window and the port dialog are made of: their captions,
// menu, layout at 96 dots per inch and font.  Every face builds its widgets
// from these tables, so both show the same texts at the same places.

#include "serial/baudrates.h"
#include "serial/portdiscovery.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorlink::window {

// A rectangle in pixels at 96 dots per inch, relative to its parent.
struct Rect
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point
{
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// The font of both windows: Tahoma 8 point, a cell height of 11 pixels at
// 96 dots per inch (-11 as a Windows font height).  A face without Tahoma
// takes the system's sans-serif font at the same size.
struct FontSpec
{
    std::u16string_view family;
    int pointSize;
    int heightAt96Dpi;
};
inline constexpr FontSpec WindowFont{u"Tahoma", 8, -11};

// ---- The main window Form1

inline constexpr std::u16string_view DefaultCaption = u"Terminal";
inline constexpr int ClientWidth = 635;
inline constexpr int ClientHeight = 216;
inline constexpr int StatusBarHeight = 24;

// The status bar's panels, left to right: 0 the source pane's line count,
// 1 the line being sent, 2 the replies of this run, 3 the port state and the
// run's messages.
struct StatusPanel
{
    int width;    // pixels at 96 dots per inch; 0: the rest of the bar
    bool centred; // its text centred, else left-aligned
};
inline constexpr std::array<StatusPanel, 4> StatusBarPanels{{
    {50, true},
    {50, true},
    {50, true},
    {0, false},
}};
inline constexpr int PanelCount = static_cast<int>(StatusBarPanels.size());

// The two pages of the notebook, source first (shown at start).
inline constexpr std::u16string_view SourcePageCaption = u"Zdrojová data";
inline constexpr std::u16string_view ReceivedPageCaption = u"Přijatá data";

// The main window's controls that take the keyboard focus: the window
// itself, the notebook's tabs and the two panes.
enum class WindowControl { Form1, TabbedNotebook1, Memo1, Memo2 };

// The notebook's pages in order, each by the pane it holds: page 0, the
// source page, is the one shown at start.
inline constexpr std::array<WindowControl, 2> NotebookPages{WindowControl::Memo1,
                                                            WindowControl::Memo2};
inline constexpr int PageCount = static_cast<int>(NotebookPages.size());

enum class MenuItem {
    Otevtzdroj1,
    Uloitvsledek1,
    Konec1,
    Odeslat1,
    ClearSource,
    ClearReceived,
    Port1,
    SendEndOfFile,
};

enum class Shortcut { None, CtrlO, CtrlS, CtrlX, F6, F9 };

// One entry of a drop-down menu: an item, or a separator (no item, no
// caption).
struct MenuEntry
{
    bool separator;
    MenuItem item;
    std::string_view name;
    std::u16string_view caption;
    Shortcut shortcut;
};

struct TopMenu
{
    std::string_view name;
    std::u16string_view caption;
    std::span<const MenuEntry> entries;
};

namespace detail {
inline constexpr MenuEntry Soubor1Entries[]{
    {false, MenuItem::Otevtzdroj1, "Otevtzdroj1", u"Otevřít zdroj", Shortcut::CtrlO},
    {false, MenuItem::Uloitvsledek1, "Uloitvsledek1", u"Uložit výsledek", Shortcut::CtrlS},
    {true, MenuItem::Konec1, "N1", u"", Shortcut::None},
    {false, MenuItem::Konec1, "Konec1", u"Konec", Shortcut::CtrlX},
};
inline constexpr MenuEntry Funkce1Entries[]{
    {false, MenuItem::Odeslat1, "Odeslat1", u"Odeslat", Shortcut::F6},
    {false, MenuItem::ClearSource, "ClearSource", u"Smazat zdrojová data", Shortcut::None},
    {false, MenuItem::ClearReceived, "ClearReceived", u"Smazat přijatá data", Shortcut::None},
};
inline constexpr MenuEntry Nastaven1Entries[]{
    {false, MenuItem::Port1, "Port1", u"Port", Shortcut::F9},
    {false, MenuItem::SendEndOfFile, "SendEndOfFile", u"Poslat znaky konce souboru [0,CR,LF]",
     Shortcut::None},
};
} // namespace detail

// MainMenu1, left to right.
inline constexpr std::array<TopMenu, 3> MainMenu1{{
    {"Soubor1", u"Soubor", detail::Soubor1Entries},
    {"Funkce1", u"Funkce", detail::Funkce1Entries},
    {"Nastaven1", u"Nastavení", detail::Nastaven1Entries},
}};

// The item a shortcut chooses, if any.
bool menuItemForShortcut(Shortcut shortcut, MenuItem& item);

// ---- File dialogs

// One line of a file dialog's type list: what it shows and the names it
// matches ("*.*" matches every name, also one without a period).
struct FileFilter
{
    std::u16string_view description;
    std::u16string_view pattern;
};

inline constexpr std::array<FileFilter, 3> OpenDialogFilters{{
    {u"Textov soubor [*.txt]", u"*.txt"},
    {u"Všechny soubory ", u"*.*"},
    {u"Konfigurační soubor [*.cfg]", u"*.cfg"},
}};
inline constexpr std::u16string_view OpenDialogDefaultExtension = u"*.txt";

inline constexpr std::array<FileFilter, 3> SaveDialogFilters{{
    {u"Všechny soubory", u"*.*"},
    {u"Textov soubor [*.txt]", u"*.txt"},
    {u"Konfigurační soubor [*.cfg]", u"*.cfg"},
}};
inline constexpr std::u16string_view SaveDialogDefaultExtension = u"*.*";

// ---- The port dialog SetCom

inline constexpr std::u16string_view SetComCaption = u"Nastavení portu";
inline constexpr int SetComClientWidth = 252;
inline constexpr int SetComClientHeight = 291;

// The dialog's components.  The five that take the focus are in tab order.
enum class DialogControl {
    GroupBox1,
    ComboBoxCom,
    ComboBoxBaud,
    EditTimeOut,
    Button1,
    Button2,
};

enum class ComponentKind { GroupBox, Label, ComboBox, SpinEdit, Button };

struct DialogComponent
{
    std::string_view name;
    ComponentKind kind;
    bool inGroupBox; // placed relative to GroupBox1, else to the client area
    Rect bounds;     // at 96 dots per inch
    std::u16string_view text;
};

inline constexpr std::array<DialogComponent, 9> SetComComponents{{
    {"GroupBox1", ComponentKind::GroupBox, false, {0, 8, 249, 225}, u"Parametry"},
    {"Label1", ComponentKind::Label, true, {16, 21, 20, 13}, u"Port"},
    {"ComboBoxCom", ComponentKind::ComboBox, true, {16, 40, 209, 21}, u"Vyberte port"},
    {"Label2", ComponentKind::Label, true, {16, 93, 92, 13}, u"Přenosová rychlost"},
    {"ComboBoxBaud", ComponentKind::ComboBox, true, {16, 112, 209, 21}, u"Vyberte rychlost"},
    {"Label3", ComponentKind::Label, true, {16, 165, 38, 13}, u"Timeout"},
    {"EditTimeOut", ComponentKind::SpinEdit, true, {16, 184, 209, 22}, u""},
    {"Button1", ComponentKind::Button, false, {16, 248, 75, 25}, u"Storno"},
    {"Button2", ComponentKind::Button, false, {150, 248, 75, 25}, u"Ok"},
}};

// The component of a dialog control.
const DialogComponent& componentOf(DialogControl control);

// Entries shown by each list at a time before it scrolls.
inline constexpr int DropDownVisibleEntries = 8;

// The entries of ComboBoxCom as designed, "COM1" to "COM16": position p is
// port p + 1.  The ports the system has above them follow once the list is
// filled (TSetCom::setPortList).
std::vector<std::u16string> portListEntries();
// The entries of ComboBoxBaud, the speeds of BaudRates in decimal: position
// i is index i.
std::vector<std::u16string> speedListEntries();

// The time-out field's limits and step, in milliseconds.
inline constexpr std::int32_t TimeOutMin = 5;
inline constexpr std::int32_t TimeOutMax = 2000;
inline constexpr std::int32_t TimeOutIncrement = 5;

// ---- Message texts

inline constexpr std::u16string_view OpenFailureCaption = u"GetLastError2";
inline constexpr std::u16string_view OpenFailureText = u"Nelze otevrit COM";

// The open-failure box's next line when the system refused `device` to this
// user: which group may use it and how to join it, or, when no group would
// help (`group` empty), that the user may not use it.
std::u16string permissionDeniedText(std::u16string_view device, std::u16string_view group);

// The port state in status panel 3: "Port COM3 otevřen", or "Port uzavřen".
inline constexpr std::u16string_view PortOpenPrefix = u"Port COM";
inline constexpr std::u16string_view PortOpenSuffix = u" otevřen";
inline constexpr std::u16string_view PortClosedText = u"Port uzavřen";

// A run's messages in status panel 3.
inline constexpr std::u16string_view NoReplyText = u"Zařízení neodpovídá";
inline constexpr std::u16string_view RunStoppedText = u"Přenos přerušen";
inline constexpr std::u16string_view RunFinishedText = u"Konec přenosu";

// After a port's device in the port dialog, where the platform can tell
// whether the device is there before it is opened.
inline constexpr std::u16string_view DevicePresentSuffix = u" (existuje)";
inline constexpr std::u16string_view DeviceMissingSuffix = u" (neexistuje)";
// What the system tells of a port's device, after its name.
inline constexpr std::u16string_view DeviceMakerLabel = u"výrobce ";
inline constexpr std::u16string_view DeviceSerialNumberLabel = u"sériové číslo ";
// After a device that no port number reached before the dialog numbered it.
inline constexpr std::u16string_view OfferedPortNote = u" – nové číslo, „Ok“ jej zapíše do [Ports]";

} // namespace quorlink::window
