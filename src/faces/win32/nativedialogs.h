#pragma once

#include "filedialogtexts.h"

#include <windows.h>

#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

namespace quorlink::win32 {

// The system's message boxes and common file dialogs.  Each is owned by the
// active window of the program and disables it until it is dismissed.

// Information icon, OK button.
void showInformation(std::u16string_view caption, std::u16string_view text);
// Stop icon, OK button: the error display.
void showStop(std::u16string_view caption, std::u16string_view text);

// The open dialog: resizable, a name that does not exist is accepted.
// Nothing when the operator cancels.
std::optional<std::filesystem::path> askOpenFileName(std::span<const FilterEntry> filter,
                                                     const wchar_t* defaultExtension);
// The save dialog: resizable, no question before overwriting, no check of
// the folder.  Nothing when the operator cancels.
std::optional<std::filesystem::path> askSaveFileName(std::span<const FilterEntry> filter,
                                                     const wchar_t* defaultExtension);

} // namespace quorlink::win32
