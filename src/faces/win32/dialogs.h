#pragma once

#include "window/face.h"
#include "window/windowdefs.h"

#include <windows.h>

#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

namespace quorlink::win32 {

// The system's message box with an OK button, owned by the active window of
// the program; with none shown yet it belongs to the program and disables
// every window of it.
void showMessageBox(window::BoxIcon icon, std::u16string_view caption, std::u16string_view text);

// The same for the error display when no window is left to own the box.
class SystemMessageBoxes final : public window::MessageBoxes
{
public:
    void showMessageBox(window::BoxIcon icon, std::u16string_view caption,
                        std::u16string_view text) override
    {
        win32::showMessageBox(icon, caption, text);
    }
};

// The common file dialogs, resizable, owned by `owner`, with `filters` (the
// first preselected) and `defaultExtension` as the window's behaviour gives
// them ("*.txt" appends .txt to a name typed without one; "*.*" appends
// nothing).  No check that the file or its folder exists and no question
// before overwriting.  Nothing when the operator cancels.
enum class FileDialogKind { Open, Save };
std::optional<std::filesystem::path> askFileName(HWND owner, FileDialogKind kind,
                                                 std::span<const window::FileFilter> filters,
                                                 std::u16string_view defaultExtension);

} // namespace quorlink::win32
