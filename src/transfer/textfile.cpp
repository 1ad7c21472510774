#include "textfile.h"
#include "textfile_p.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace quorlink::transfer {

namespace fileio::testing {
void (*temporaryFileCreated)(int fd) = nullptr;
} // namespace fileio::testing

namespace {

using namespace fileio;

std::string systemErrorText(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

[[noreturn]] void throwFileError(const char* what, const std::filesystem::path& path,
                                 const std::string& description)
{
    throw std::runtime_error(std::string(what) + " \"" + displayPath(path) + "\". " + description);
}

[[noreturn]] void throwFileError(const char* what, const std::filesystem::path& path, int error)
{
    throwFileError(what, path, systemErrorText(error));
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
    explicit OpenFile(int fd) : m_fd(fd) {}
    ~OpenFile()
    {
        if (m_fd >= 0)
            closeFile(m_fd);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    // Closes it now and tells whether that went well: some file systems
    // report a failed write only at the close.
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return closeFile(fd) == 0;
    }

private:
    int m_fd;
};

bool writeAll(int fd, std::string_view bytes)
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
        throwFileError("Cannot create file", path, errno);
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

// The length of `units` once every line end is CR LF.
std::size_t normalisedLength(std::u16string_view units)
{
    std::size_t length = units.size();
    for (std::size_t i = 0; i < units.size(); ++i) {
        // A lone CR or a lone LF grows by one unit; CR LF stays as it is.
        const bool loneCr = units[i] == u'\r' && (i + 1 == units.size() || units[i + 1] != u'\n');
        const bool loneLf = units[i] == u'\n' && (i == 0 || units[i - 1] != u'\r');
        if (loneCr || loneLf)
            ++length;
    }
    return length;
}

// `units` with every line end turned into CR LF, or nothing when that text
// would exceed `limit` units.  A text that has only CR LF already is handed
// back as it is, without a second copy of it in memory.
std::optional<std::u16string> normalised(std::u16string&& units, std::size_t limit)
{
    const std::size_t length = normalisedLength(units);
    if (length > limit)
        return std::nullopt;
    if (length == units.size())
        return std::move(units);
    std::u16string out(length, u'\0');
    std::size_t o = 0;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t c = units[i];
        if (c == u'\r' || c == u'\n') {
            out[o++] = u'\r';
            out[o++] = u'\n';
            if (c == u'\r' && i + 1 < units.size() && units[i + 1] == u'\n')
                ++i;
        } else {
            out[o++] = c;
        }
    }
    return out;
}

Decoded decode(std::string_view bytes, const CodePage& codePage, std::size_t limit)
{
    Encoding encoding = Encoding::CodePage;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        encoding = Encoding::Utf8;
        bytes.remove_prefix(3);
    } else if (bytes.substr(0, 2) == "\xFF\xFE") {
        encoding = Encoding::Utf16Le;
        bytes.remove_prefix(2);
    } else if (bytes.substr(0, 2) == "\xFE\xFF") {
        encoding = Encoding::Utf16Be;
        bytes.remove_prefix(2);
    }

    Decoded result;
    std::u16string units;
    if (encoding == Encoding::Utf16Le || encoding == Encoding::Utf16Be) {
        const bool little = encoding == Encoding::Utf16Le;
        units.resize(bytes.size() / 2);
        std::size_t count = 0;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            const auto lo = static_cast<unsigned char>(bytes[little ? i : i + 1]);
            const auto hi = static_cast<unsigned char>(bytes[little ? i + 1 : i]);
            const auto unit = static_cast<char16_t>(lo | (hi << 8));
            if (unit == 0) {
                result.endedByNul = true;
                break;
            }
            units[count++] = unit;
        }
        units.resize(count);
        // A last odd byte is not a character.
        if (!result.endedByNul && bytes.size() % 2 != 0)
            units += u'\uFFFD';
    } else {
        // In UTF-8 and in every 8-bit or multi-byte code page a 0 byte is NUL
        // and never part of another character.
        const auto nul = bytes.find('\0');
        if (nul != std::string_view::npos) {
            bytes = bytes.substr(0, nul);
            result.endedByNul = true;
        }
        if (encoding == Encoding::Utf8) {
            static const std::optional<CodePage> utf8 = CodePage::named("UTF-8");
            units = utf8 ? utf8->toUnicode(bytes) : codePage.toUnicode(bytes);
        } else {
            units = codePage.toUnicode(bytes);
        }
    }
    result.text = normalised(std::move(units), limit);
    return result;
}

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
                              std::size_t maxChars)
{
    OpenFile file(openForReading(path));
    if (!file.isOpen())
        throwFileError("Cannot open file", path, errno);
    if (isDirectory(file.get()))
        throwFileError("Cannot open file", path, EISDIR);

    // No encoding takes more than 4 bytes for one UTF-16 unit, so a text
    // that still has no NUL after this many bytes (beyond a mark) cannot fit
    // in a pane, and the rest of the file need not be read.
    const std::size_t readLimit = 4 * maxChars + 3;
    std::string bytes;
    bool truncated = false;
    char buffer[1 << 16];
    for (;;) {
        const long long n = readSome(file.get(), buffer, sizeof buffer);
        if (n < 0)
            throwFileError("Cannot open file", path, errno);
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > readLimit) {
            truncated = true;
            break;
        }
    }
    file.close();

    Decoded decoded = decode(bytes, codePage, maxChars);
    if (!decoded.text || (truncated && !decoded.endedByNul))
        throwCapacity();
    return std::move(*decoded.text);
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
            throwFileError("Cannot create file", path,
                           static_cast<int>(std::errc::too_many_symbolic_link_levels));
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
        throwFileError("Cannot create file", path, EISDIR);
    if (exists && !mayWrite(target))
        throwFileError("Cannot create file", path, errno);
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
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = folder / (".quorlink-" + std::to_string(processId()) + "-" +
                              std::to_string(counter++) + ".tmp");
        // Private while it is written: readable by others only once it has
        // the result's final attributes.
        fd = createExclusive(temporary);
        if (fd < 0 && errno != EEXIST) {
            const int error = errno;
            // A folder that takes no new file, with a file in it that may
            // be written: the file is overwritten where it is.
            if (type == fs::file_type::regular && isFolderRefusal(error)) {
                writeInPlace(path, target, bytes, true);
                return;
            }
            throwFileError("Cannot create file", path, error);
        }
    }
    if (fd < 0)
        throwFileError("Cannot create file", path, EEXIST);
    if (testing::temporaryFileCreated)
        testing::temporaryFileCreated(fd);

    auto fail = [&](bool closed) {
        if (!closed)
            closeFile(fd);
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw std::runtime_error("Stream write error");
    };

    if (!writeAll(fd, bytes))
        fail(false);
    setFinalAttributes(target, fd);
    if (!flushToDisk(fd))
        fail(false);
    if (closeFile(fd) != 0)
        fail(true);

    fs::rename(temporary, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throwFileError("Cannot create file", path, ec.message());
    }
    syncFolder(folder);
}

} // namespace quorlink::transfer
