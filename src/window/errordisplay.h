#pragma once

// The error display: how an error that no handler caught reaches the
// operator.  A message box with the stop icon and an OK button, captioned
// with the application's title, showing the error's message.

#include "face.h"

#include <exception>
#include <string>
#include <string_view>

namespace quorlink::window {

// The application title: the executable's file name without its folder, cut
// at its first period, every character after the first in lower case
// ("C:\Program Files\QUOR.LINK.exe" gives "Quor").  Both "/" and "\" end a
// folder.
std::u16string applicationTitle(std::u16string_view executablePath);

// `message` with a period appended when its last character's code is above
// that of ".".
std::u16string errorDisplayText(std::u16string_view message);

// The message of an exception: the innermost non-empty one of a nested
// chain (std::throw_with_nested); empty for something that is not a
// std::exception.
std::u16string exceptionMessage(std::exception_ptr error);

// Shows `error` in `boxes`: the stop icon, `title` as the caption.
void showError(MessageBoxes& boxes, std::u16string_view title, std::exception_ptr error);

} // namespace quorlink::window
