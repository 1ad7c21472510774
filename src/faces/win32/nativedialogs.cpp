#include "nativedialogs.h"

#include "wintext.h"

#include <commdlg.h>

#include <string>
#include <vector>

namespace quorlink::win32 {

namespace {

void messageBox(std::u16string_view caption, std::u16string_view text, UINT icon)
{
    MessageBoxW(GetActiveWindow(), toWide(text).c_str(), toWide(caption).c_str(),
                MB_OK | icon | MB_APPLMODAL);
}

// "description\0pattern\0...\0\0", as the dialogs take it.
std::wstring filterString(std::span<const FilterEntry> filter)
{
    std::wstring result;
    for (const auto& [description, pattern] : filter) {
        result += toWide(description);
        result.push_back(L'\0');
        result += toWide(pattern);
        result.push_back(L'\0');
    }
    result.push_back(L'\0');
    return result;
}

std::optional<std::filesystem::path> askFileName(std::span<const FilterEntry> filter,
                                                 const wchar_t* defaultExtension, bool save)
{
    const std::wstring filterText = filterString(filter);
    // Long enough for the longest path the system takes.
    std::vector<wchar_t> name(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = GetActiveWindow();
    dialog.lpstrFilter = filterText.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrDefExt = defaultExtension;
    dialog.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    const BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (!chosen)
        return std::nullopt;
    return std::filesystem::path(name.data());
}

} // namespace

void showInformation(std::u16string_view caption, std::u16string_view text)
{
    messageBox(caption, text, MB_ICONINFORMATION);
}

void showStop(std::u16string_view caption, std::u16string_view text)
{
    messageBox(caption, text, MB_ICONSTOP);
}

std::optional<std::filesystem::path> askOpenFileName(std::span<const FilterEntry> filter,
                                                     const wchar_t* defaultExtension)
{
    return askFileName(filter, defaultExtension, false);
}

std::optional<std::filesystem::path> askSaveFileName(std::span<const FilterEntry> filter,
                                                     const wchar_t* defaultExtension)
{
    return askFileName(filter, defaultExtension, true);
}

} // namespace quorlink::win32
