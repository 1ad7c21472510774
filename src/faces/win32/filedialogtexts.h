#pragma once

// The filters of the file dialogs, description and pattern pairs, the first
// one preselected.  To move to the window behaviour, which owns the texts
// of both faces.

#include <string_view>
#include <utility>

namespace quorlink::win32 {

using FilterEntry = std::pair<std::u16string_view, std::u16string_view>;

inline constexpr FilterEntry OpenDialogFilter[] = {
    {u"Textov soubor [*.txt]", u"*.txt"},
    {u"Všechny soubory ", u"*.*"},
    {u"Konfigurační soubor [*.cfg]", u"*.cfg"},
};

inline constexpr FilterEntry SaveDialogFilter[] = {
    {u"Všechny soubory", u"*.*"},
    {u"Textov soubor [*.txt]", u"*.txt"},
    {u"Konfigurační soubor [*.cfg]", u"*.cfg"},
};

} // namespace quorlink::win32
