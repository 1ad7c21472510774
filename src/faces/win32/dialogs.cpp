#include "dialogs.h"

#include "text.h"

#include <commdlg.h>

#include <string>
#include <vector>

namespace quorlink::win32 {

namespace {

// "description\0pattern\0...\0\0", as the dialogs take it.
std::wstring filterString(std::span<const window::FileFilter> filters)
{
    std::wstring result;
    for (const window::FileFilter& filter : filters) {
        result += toWide(filter.description);
        result.push_back(L'\0');
        result += toWide(filter.pattern);
        result.push_back(L'\0');
    }
    result.push_back(L'\0');
    return result;
}

// The dialogs take an extension without "*." and append it to a name typed
// without one; "*.*" stands for any extension, so nothing is appended.
std::wstring extensionOf(std::u16string_view pattern)
{
    if (pattern.starts_with(u"*."))
        pattern.remove_prefix(2);
    if (pattern.find_first_of(u"*?") != std::u16string_view::npos)
        return {};
    return toWide(pattern);
}

} // namespace

void showMessageBox(window::BoxIcon icon, std::u16string_view caption, std::u16string_view text)
{
    const HWND owner = GetActiveWindow();
    UINT flags = MB_OK | (icon == window::BoxIcon::Stop ? MB_ICONSTOP : MB_ICONINFORMATION);
    // Without an active window the box is the program's own and still
    // disables all its windows.
    flags |= owner ? MB_APPLMODAL : MB_TASKMODAL;
    MessageBoxW(owner, toWide(text).c_str(), toWide(caption).c_str(), flags);
}

std::optional<std::filesystem::path> askFileName(HWND owner, FileDialogKind kind,
                                                 std::span<const window::FileFilter> filters,
                                                 std::u16string_view defaultExtension)
{
    const std::wstring filterText = filterString(filters);
    const std::wstring extension = extensionOf(defaultExtension);
    // Long enough for the longest path the system takes.
    std::vector<wchar_t> name(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filterText.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    const BOOL chosen =
        kind == FileDialogKind::Save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (!chosen)
        return std::nullopt;
    return std::filesystem::path(name.data());
}

} // namespace quorlink::win32
