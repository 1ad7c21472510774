#include "textfile.h"
#include "textfile_p.h"

#include "pane.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <system_error>

namespace quorlink::transfer {

namespace fileio::testing {
void (*temporaryFileCreated)(FileHandle file) = nullptr;
} // namespace fileio::testing

namespace {

using namespace fileio;

[[noreturn]] void throwFileError(const char* what, const std::filesystem::path& path,
                                 const std::string& description)
{
    throw std::runtime_error(std::string(what) + " \"" + displayPath(path) + "\". " + description);
}

[[noreturn]] void throwFileError(const char* what, const std::filesystem::path& path, int error)
{
    throwFileError(what, path, errorText(error));
}

[[noreturn]] void throwCapacity()
{
    throw std::runtime_error(MemoCapacityError);
}

// Links followed from a result path before giving up, as the system does.
constexpr int MaxLinkDepth = 40;

// Why a symbolic link at the result's name is not followed.
constexpr char OtherUsersLink[] = "It is another user's symbolic link in a shared folder.";
constexpr char DanglingLink[] = "It is a symbolic link to a file that does not exist.";

// An open file, closed on every way out: a source file held open after an
// exception would keep others from writing it (on Windows) until the end.
class OpenFile
{
public:
    explicit OpenFile(FileHandle file) : m_file(file) {}
    ~OpenFile()
    {
        if (m_file != NoFile)
            closeFile(m_file);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    FileHandle get() const { return m_file; }
    bool isOpen() const { return m_file != NoFile; }
    // Closes it now and tells whether that went well: some file systems
    // report a failed write only at the close.
    bool close()
    {
        const FileHandle file = m_file;
        m_file = NoFile;
        return closeFile(file) == 0;
    }

private:
    FileHandle m_file;
};

bool writeAll(FileHandle fd, std::string_view bytes)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const long long n = writeSome(fd, bytes.data() + written, bytes.size() - written);
        if (n <= 0)
            return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// Overwrites the existing `target` (the file behind `path`) without a
// temporary file.  A failed write leaves it cut short.  Only a regular file
// is flushed to the disk; a device or a fifo has nothing to flush.
void writeInPlace(const std::filesystem::path& path, const std::filesystem::path& target,
                  std::string_view bytes, bool regular)
{
    OpenFile file(openInPlace(target));
    if (!file.isOpen())
        throwFileError("Cannot create file", path, lastError());
    bool written;
    {
        const PipeSignalGuard guard;
        written = writeAll(file.get(), bytes) && (!regular || flushToDisk(file.get()));
    }
    if (!file.close() || !written)
        throw std::runtime_error("Stream write error");
}

enum class Encoding { CodePage, Utf8, Utf16Le, Utf16Be };

struct Decoded
{
    std::optional<std::u16string> text; // nothing: above the limit
    bool endedByNul = false;
};

// `units` with every line end turned into CR LF, or nothing when that text
// would exceed `limit` units.  A text that has only CR LF already is handed
// back as it is, without a second copy of it in memory.
std::optional<std::u16string> normalised(std::u16string&& units, std::size_t limit)
{
    const std::size_t length = panetext::crLfLength(units);
    if (length > limit)
        return std::nullopt;
    if (length == units.size())
        return std::move(units);
    return panetext::withCrLf(units);
}

// The encoding its mark selects, with the mark taken off `bytes`.
Encoding takeMark(std::string_view& bytes)
{
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
        return Encoding::Utf8;
    }
    if (bytes.substr(0, 2) == "\xFF\xFE") {
        bytes.remove_prefix(2);
        return Encoding::Utf16Le;
    }
    if (bytes.substr(0, 2) == "\xFE\xFF") {
        bytes.remove_prefix(2);
        return Encoding::Utf16Be;
    }
    return Encoding::CodePage;
}

bool isUtf16(Encoding encoding)
{
    return encoding == Encoding::Utf16Le || encoding == Encoding::Utf16Be;
}

// Where the text in `bytes` (after the mark) ends: at its first NUL, or npos.
// In UTF-8 and in every 8-bit or multi-byte code page a 0 byte is NUL and
// never part of another character; in UTF-16 a NUL is a 0 unit.
std::size_t nulAt(std::string_view bytes, Encoding encoding, std::size_t from = 0)
{
    if (!isUtf16(encoding))
        return bytes.find('\0', from);
    for (std::size_t i = from; i + 1 < bytes.size(); i += 2) {
        if (bytes[i] == 0 && bytes[i + 1] == 0)
            return i;
    }
    return std::string_view::npos;
}

// The units of `bytes` (after the mark, before any NUL) in `encoding`.  A
// last odd byte of UTF-16 is no character.
std::u16string unitsOf(std::string_view bytes, Encoding encoding, const CodePage& codePage)
{
    if (isUtf16(encoding)) {
        const bool little = encoding == Encoding::Utf16Le;
        std::u16string units(bytes.size() / 2, u'\0');
        for (std::size_t i = 0; i < units.size(); ++i) {
            const auto lo = static_cast<unsigned char>(bytes[2 * i + (little ? 0 : 1)]);
            const auto hi = static_cast<unsigned char>(bytes[2 * i + (little ? 1 : 0)]);
            units[i] = static_cast<char16_t>(lo | (hi << 8));
        }
        return units;
    }
    if (encoding == Encoding::Utf8) {
        static const std::optional<CodePage> utf8 = CodePage::named("UTF-8");
        return utf8 ? utf8->toUnicode(bytes) : codePage.toUnicode(bytes);
    }
    return codePage.toUnicode(bytes);
}

Decoded decode(std::string_view bytes, const CodePage& codePage, std::size_t limit)
{
    const Encoding encoding = takeMark(bytes);
    Decoded result;
    const std::size_t nul = nulAt(bytes, encoding);
    if (nul != std::string_view::npos) {
        bytes = bytes.substr(0, nul);
        result.endedByNul = true;
    }
    std::u16string units = unitsOf(bytes, encoding, codePage);
    if (!result.endedByNul && isUtf16(encoding) && bytes.size() % 2 != 0)
        units += u'\uFFFD';
    result.text = normalised(std::move(units), limit);
    return result;
}

// A source as it is read: the text's length is measured as the bytes come,
// so that a text above a pane's capacity is refused as soon as that is
// certain, without reading or keeping the rest, and reading ends at the NUL
// that ends the text.  The measure never exceeds the length the text will
// have: in UTF-8 every byte that is not a continuation byte gives at least
// one unit, in UTF-16 every two bytes one; a code page's bytes are decoded
// in pieces that end at a line end, which is never part of a longer
// character in a code page that keeps ASCII.  A complete text is decoded
// once more, as a whole.
class SourceReader
{
public:
    SourceReader(const CodePage& codePage, std::size_t maxChars)
        : m_codePage(codePage), m_maxChars(maxChars),
          // No encoding takes more than 4 bytes for one unit, so a text that
          // still has no NUL after this many bytes (beyond a mark) cannot
          // fit, whatever its lines.
          m_readLimit(maxChars > (SIZE_MAX - 3) / 4 ? SIZE_MAX : 4 * maxChars + 3)
    {}

    // Reads `fd` to its end, or to the NUL that ends the text.  Returns 0,
    // or the system's error code of a failed read.
    int read(FileHandle fd)
    {
        char buffer[1 << 16];
        while (!m_ended && !m_tooLong) {
            const long long n = readSome(fd, buffer, sizeof buffer);
            if (n < 0)
                return lastError();
            if (n == 0)
                break;
            m_bytes.append(buffer, static_cast<std::size_t>(n));
            measure();
        }
        return 0;
    }

    // The text; throws "Text exceeds memo capacity" for one above the limit.
    std::u16string text() const
    {
        Decoded decoded = m_tooLong ? Decoded{} : decode(m_bytes, m_codePage, m_maxChars);
        if (!decoded.text)
            throwCapacity();
        return std::move(*decoded.text);
    }

private:
    // The largest piece of a code page's bytes decoded at once for measuring.
    static constexpr std::size_t PieceBytes = 1 << 20;

    void measure()
    {
        if (!m_encoding) {
            // Known once the longest mark could be there.
            if (m_bytes.size() < 3)
                return;
            std::string_view rest(m_bytes);
            m_encoding = takeMark(rest);
            m_textStart = m_counted = m_scanned = m_bytes.size() - rest.size();
        }
        const std::string_view text = std::string_view(m_bytes).substr(m_textStart);
        if (nulAt(text, *m_encoding, m_scanned - m_textStart) != std::string_view::npos) {
            m_ended = true;
            return;
        }
        m_scanned = m_textStart + (isUtf16(*m_encoding) ? text.size() / 2 * 2 : text.size());
        // Each byte gives at most two units (a lone LF becomes CR LF): a
        // shorter text needs no measuring.
        if (m_scanned - m_textStart <= m_maxChars / 2)
            return;
        if (isUtf16(*m_encoding)) {
            const std::u16string units =
                unitsOf(std::string_view(m_bytes).substr(m_counted, m_scanned - m_counted),
                        *m_encoding, m_codePage);
            count(units);
            m_counted = m_scanned;
        } else if (*m_encoding == Encoding::Utf8 || m_codePage.isUtf8()) {
            for (std::size_t i = m_counted; i < m_scanned; ++i) {
                if ((static_cast<unsigned char>(m_bytes[i]) & 0xC0) != 0x80)
                    count(static_cast<char16_t>(static_cast<unsigned char>(m_bytes[i])));
            }
            m_counted = m_scanned;
        } else {
            measurePieces();
        }
        if (m_units > m_maxChars || m_scanned - m_textStart > m_readLimit)
            m_tooLong = true;
    }

    // Decodes what came of a code page's text, up to its last line end.
    void measurePieces()
    {
        while (m_counted < m_scanned && m_units <= m_maxChars) {
            const std::size_t limit = std::min(m_counted + PieceBytes, m_scanned);
            std::size_t lineEnd = m_bytes.find_last_of("\r\n", limit - 1);
            if (lineEnd == std::string::npos || lineEnd < m_counted) {
                // A line longer than a piece: up to its end, once it came.
                lineEnd = m_bytes.find_first_of("\r\n", limit);
                if (lineEnd == std::string::npos || lineEnd >= m_scanned)
                    return;
            }
            const std::string_view piece =
                std::string_view(m_bytes).substr(m_counted, lineEnd + 1 - m_counted);
            count(m_codePage.toUnicode(piece));
            m_counted = lineEnd + 1;
        }
    }

    void count(std::u16string_view units)
    {
        for (const char16_t unit : units)
            count(unit);
    }
    // Counts one unit with the line ends that CR LF will replace: a lone CR
    // or LF becomes two units, CR LF stays two.
    void count(char16_t unit)
    {
        ++m_units;
        if (unit == u'\r') {
            ++m_units;
        } else if (unit == u'\n') {
            if (m_afterCr)
                --m_units;
            else
                ++m_units;
        }
        m_afterCr = unit == u'\r';
    }

    const CodePage& m_codePage;
    const std::size_t m_maxChars;
    const std::size_t m_readLimit;
    std::string m_bytes;
    std::optional<Encoding> m_encoding; // known after the first 3 bytes
    std::size_t m_textStart = 0;        // after the mark
    std::size_t m_scanned = 0;          // bytes looked through for a NUL
    std::size_t m_counted = 0;          // bytes whose units are in m_units
    std::size_t m_units = 0;
    bool m_afterCr = false;
    bool m_ended = false;   // a NUL ended the text
    bool m_tooLong = false; // certainly above the limit
};

} // namespace

std::string displayPath(const std::filesystem::path& path)
{
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(path, ec);
    if (ec)
        full = path;
    const std::u8string u8 = full.u8string();
    return std::string(u8.begin(), u8.end());
}

std::u16string decodeSourceText(std::string_view bytes, const CodePage& codePage)
{
    return *decode(bytes, codePage, std::u16string::npos).text;
}

std::u16string loadSourceFile(const std::filesystem::path& path, const CodePage& codePage,
                              std::size_t maxChars, FifoSource fifo)
{
    // A device is no text file: a terminal or a serial port would be read
    // for as long as it sends (and opening one may raise its modem lines),
    // /dev/zero gives NULs without end.  Looked at before the open, and
    // again on what was opened.
    static constexpr char IsADevice[] = "Is a device";
    if (isDevice(path))
        throwFileError("Cannot open file", path, IsADevice);
    OpenFile file(openForReading(path, fifo == FifoSource::WaitForWriter));
    if (!file.isOpen())
        throwFileError("Cannot open file", path, lastError());
    if (isDirectory(file.get()))
        throwFileError("Cannot open file", path, isADirectoryError());
    if (isDevice(file.get()))
        throwFileError("Cannot open file", path, IsADevice);
    SourceReader reader(codePage, maxChars);
    const int error = reader.read(file.get());
    file.close();
    if (error != 0)
        throwFileError("Cannot open file", path, error);
    return reader.text();
}

std::u16string loadStandardInput(const CodePage& codePage, std::size_t maxChars)
{
    const FileHandle fd = standardInput();
    // Typed lines are a source; another device is not (see loadSourceFile).
    if (isDevice(fd) && !isTerminal(fd))
        throw std::runtime_error("Cannot read standard input. Is a device");
    SourceReader reader(codePage, maxChars);
    if (const int error = reader.read(fd))
        throw std::runtime_error("Cannot read standard input. " + errorText(error));
    return reader.text();
}

std::string encodeResultText(std::u16string_view text, const CodePage& codePage)
{
    std::string bytes = codePage.isUtf8() ? std::string("\xEF\xBB\xBF") : std::string();
    bytes += codePage.fromUnicode(text);
    return bytes;
}

void saveResultFile(const std::filesystem::path& path, std::u16string_view text,
                    const CodePage& codePage)
{
    namespace fs = std::filesystem;
    const std::string bytes = encodeResultText(text, codePage);

    // A symbolic link stays and the file it leads to gets the text.  The
    // save follows links itself, so it judges each one as the system judges
    // a link that open() follows: in a shared folder such as /tmp only a
    // link of this user or of the folder's owner is followed, since anyone
    // may have put one there under any name.  A link that leads to no file
    // is not followed at all: the file would be made where the link's
    // maker chose.
    fs::path target = path;
    std::error_code ec;
    bool viaLink = false;
    for (int depth = 0; fs::is_symlink(fs::symlink_status(target, ec)); ++depth) {
        if (depth == MaxLinkDepth)
            throwFileError("Cannot create file", path, tooManyLinksError());
        if (!mayFollowLink(target))
            throwFileError("Cannot create file", path, OtherUsersLink);
        const fs::path to = fs::read_symlink(target, ec);
        if (ec)
            throwFileError("Cannot create file", path, ec.message());
        target = to.is_absolute() ? to : target.parent_path() / to;
        viaLink = true;
    }

    // Nothing known (the status cannot be read) counts as a missing file:
    // creating the temporary file then reports what is wrong.
    const fs::file_type type = fs::status(target, ec).type();
    const bool exists = type != fs::file_type::not_found && type != fs::file_type::none;
    if (viaLink && type == fs::file_type::not_found)
        throwFileError("Cannot create file", path, DanglingLink);
    if (type == fs::file_type::directory)
        throwFileError("Cannot create file", path, isADirectoryError());
    if (exists && !mayWrite(target))
        throwFileError("Cannot create file", path, lastError());
    // A device or a fifo cannot be replaced, only written.
    if (exists && type != fs::file_type::regular) {
        writeInPlace(path, target, bytes, false);
        return;
    }

    // The temporary file sits beside the target so that the rename stays on
    // one file system and replaces the target in one step.  Its name does not
    // grow with the target's, which may already be as long as names get.
    static std::atomic<unsigned> counter{0};
    fs::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    fs::path temporary;
    FileHandle fd = NoFile;
    for (int attempt = 0; attempt < 100 && fd == NoFile; ++attempt) {
        temporary = folder / (".quorlink-" + std::to_string(processId()) + "-" +
                              std::to_string(counter++) + ".tmp");
        // Private while it is written: readable by others only once it has
        // the result's final attributes.
        fd = createExclusive(temporary);
        if (fd == NoFile && lastError() != fileExistsError()) {
            const int error = lastError();
            // A folder that takes no new file, with a file in it that may
            // be written: the file is overwritten where it is.
            if (type == fs::file_type::regular && isFolderRefusal(error)) {
                writeInPlace(path, target, bytes, true);
                return;
            }
            throwFileError("Cannot create file", path, error);
        }
    }
    if (fd == NoFile)
        throwFileError("Cannot create file", path, fileExistsError());
    if (testing::temporaryFileCreated)
        testing::temporaryFileCreated(fd);

    // Closed on every way out.
    OpenFile file(fd);
    auto removeTemporary = [&] {
        std::error_code ignored;
        fs::remove(temporary, ignored);
    };
    auto fail = [&] {
        if (file.isOpen())
            file.close();
        removeTemporary();
        throw std::runtime_error("Stream write error");
    };

    if (!writeAll(file.get(), bytes))
        fail();
    setFinalAttributes(target, file.get());
    if (!flushToDisk(file.get()) || !file.close())
        fail();

    if (!replaceFile(temporary, target)) {
        const int error = lastError();
        removeTemporary();
        throwFileError("Cannot create file", path, error);
    }
    syncFolder(folder);
}

} // namespace quorlink::transfer
