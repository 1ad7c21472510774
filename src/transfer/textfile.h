#pragma once

#include "codepage.h"

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quorlink::transfer {

// The source file and the result file: the text behind "Otevřít zdroj" and
// "Uložit výsledek", without any window.  The command-line program writes its
// result with the same saveResultFile.
//
// Every failure throws std::runtime_error with the text the operator sees:
//   Cannot open file "<full path>". <system description>
//   Cannot create file "<full path>". <system description>
//   Stream write error
//   Text exceeds memo capacity
//   Cannot read standard input. <system description>

// The error of a text that does not fit a pane, loaded or appended.
inline constexpr char MemoCapacityError[] = "Text exceeds memo capacity";

// Largest source text a pane takes, in UTF-16 code units counted with CR LF
// line ends (64 Mi units, 128 MiB of pane memory).  Larger files are refused
// with "Text exceeds memo capacity" before the pane is touched.
inline constexpr std::size_t MaxSourceChars = std::size_t{64} * 1024 * 1024;

// Decodes the bytes of a source file.  A leading byte-order mark selects the
// encoding and is dropped: EF BB BF UTF-8, FF FE UTF-16 LE, FE FF UTF-16 BE;
// without one the bytes are in `codePage`.  The text ends at its first NUL.
// CR LF, a lone LF and a lone CR each end a line; the result has CR LF
// throughout (LF followed by CR is two line ends).
std::u16string decodeSourceText(std::string_view bytes, const CodePage& codePage);

// How a fifo named as a source is opened: the window does not wait for its
// writer (a fifo nobody writes to loads as empty); the command-line program
// waits, as `cat` does.
enum class FifoSource { DoNotWait, WaitForWriter };

// Reads the file at `path` (shared for reading) and decodes it as
// decodeSourceText does.  Throws on an unreadable file, on a device (a
// terminal, a serial port, /dev/zero: "... Is a device") and on a text above
// `maxChars` units: a pane's capacity, or less where a test wants the limit
// within reach.  Such a text is refused as soon as that is certain, without
// reading the rest; reading also ends at the NUL that ends the text.
std::u16string loadSourceFile(const std::filesystem::path& path, const CodePage& codePage,
                              std::size_t maxChars = MaxSourceChars,
                              FifoSource fifo = FifoSource::DoNotWait);

// Standard input as a source, read to its end as loadSourceFile reads a
// file, with the same limit.  A terminal is read (typed lines); any other
// device is refused with "Cannot read standard input. Is a device", and a
// failed read throws "Cannot read standard input. <system description>".
std::u16string loadStandardInput(const CodePage& codePage, std::size_t maxChars = MaxSourceChars);

// The bytes of a result file: `text` in `codePage`, preceded by EF BB BF when
// the code page is UTF-8 and by no byte-order mark otherwise.  The text is
// written as it is (a pane's text already has CR LF line ends).
std::string encodeResultText(std::u16string_view text, const CodePage& codePage);

// Writes `text` to `path` as encodeResultText gives it, replacing an existing
// file without asking.  A regular file is replaced atomically: the bytes go to
// a hidden temporary file in the same folder, are flushed to the disk, and
// only then renamed over the target, so a failed save (a full disk) leaves the
// previous file intact and throws "Stream write error".
//
// A symbolic link is followed and stays; the file it leads to is written.  A
// device or a fifo is written where it is, never replaced.  An existing file
// that may not be written throws "Cannot create file ..." and is left as it
// is; so does a folder, and a temporary file that cannot be created.  Only
// when the folder takes no new file (no permission, read-only file system)
// while the file itself may be written is the file overwritten in place; a
// failed write then leaves it cut short.
void saveResultFile(const std::filesystem::path& path, std::u16string_view text,
                    const CodePage& codePage);

// The full path as the error texts show it (made absolute, not resolved).
std::string displayPath(const std::filesystem::path& path);

} // namespace quorlink::transfer
