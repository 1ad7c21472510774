#pragma once

// The command ids of the main window's menu MainMenu1; every menu click and
// shortcut arrives as one of them.

namespace quorlink::win32 {

enum MenuCommand : int {
    Otevtzdroj1 = 101, // "Otevřít zdroj", Ctrl+O
    Uloitvsledek1,     // "Uložit výsledek", Ctrl+S
    Konec1,            // "Konec", Ctrl+X
    Odeslat1,          // "Odeslat", F6
    ClearSource,       // "Smazat zdrojová data"
    ClearReceived,     // "Smazat přijatá data"
    Port1,             // "Port", F9
    SendEndOfFile,     // "Poslat znaky konce souboru [0,CR,LF]", a check mark
};

} // namespace quorlink::win32
