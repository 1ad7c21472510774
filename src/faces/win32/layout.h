#pragma once

// Where every control of the main window and of the port dialog sits, in
// pixels at 96 dots per inch, and the captions they carry.  The face scales
// the pixels to the dots per inch of the monitor a window is on.

namespace quorlink::win32::layout {

struct Rect96
{
    int left, top, width, height;
};

// Tahoma 8 point: 11 pixels high at 96 dots per inch.
inline constexpr wchar_t FontFace[] = L"Tahoma";
inline constexpr int FontPoints = 8;

// ---- Main window Form1
inline constexpr wchar_t MainCaption[] = L"Terminal";
inline constexpr int MainClientWidth = 635;
inline constexpr int MainClientHeight = 216;
inline constexpr int StatusBarHeight = 24;
// Right edges of status panels 0 to 2 (50 pixels each); panel 3 takes the rest.
inline constexpr int StatusPanelWidth = 50;
inline constexpr int CentredPanels = 3;
inline constexpr wchar_t SourcePageCaption[] = L"Zdrojová data";
inline constexpr wchar_t ReceivedPageCaption[] = L"Přijatá data";

// ---- Port dialog SetCom
inline constexpr wchar_t DialogCaption[] = L"Nastavení portu";
inline constexpr int DialogClientWidth = 252;
inline constexpr int DialogClientHeight = 291;
// The group box in the dialog's client area; the labels and fields are
// placed relative to it.
inline constexpr Rect96 GroupBox1{0, 8, 249, 225};
inline constexpr Rect96 Label1{16, 21, 20, 13};
inline constexpr Rect96 ComboBoxCom{16, 40, 209, 21};
inline constexpr Rect96 Label2{16, 93, 92, 13};
inline constexpr Rect96 ComboBoxBaud{16, 112, 209, 21};
inline constexpr Rect96 Label3{16, 165, 38, 13};
inline constexpr Rect96 EditTimeOut{16, 184, 209, 22};
// The buttons, in the client area.
inline constexpr Rect96 Button1{16, 248, 75, 25};
inline constexpr Rect96 Button2{150, 248, 75, 25};
// Entries the open drop-down part of a list shows before it scrolls.
inline constexpr int ListVisibleEntries = 8;
// Width of the spin field's arrow buttons at its right end.
inline constexpr int SpinButtonWidth = 15;

inline constexpr wchar_t GroupBox1Text[] = L"Parametry";
inline constexpr wchar_t Label1Text[] = L"Port";
inline constexpr wchar_t Label2Text[] = L"Přenosová rychlost";
inline constexpr wchar_t Label3Text[] = L"Timeout";
inline constexpr wchar_t ComboBoxComText[] = L"Vyberte port";
inline constexpr wchar_t ComboBoxBaudText[] = L"Vyberte rychlost";
inline constexpr wchar_t Button1Text[] = L"Storno";
inline constexpr wchar_t Button2Text[] = L"Ok";

} // namespace quorlink::win32::layout
