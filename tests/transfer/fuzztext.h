#pragma once

// Shared by the libFuzzer targets of the source and result files: the code
// pages an input picks from, a scratch folder for the files, and plain
// restatements of the line rules and of UTF-8 to hold the program against.

#include "transfer/codepage.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace fuzztext {

using quorlink::transfer::CodePage;

// A failed check names itself before the fuzzer saves the input.
#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? void() : fuzztext::fail(#condition, __FILE__, __LINE__))

[[noreturn]] inline void fail(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

// windows-1250 and UTF-8 are what the program is used with; CP852 is another
// single-byte page, CP932 and GB18030 are multi-byte ones (GB18030 takes up
// to four bytes for one UTF-16 unit, the most any code page takes).
inline const CodePage& codePageAt(unsigned index)
{
    static const std::array<CodePage, 5> pages = [] {
        auto named = [](const char* name) {
            std::optional<CodePage> page = CodePage::named(name);
            FUZZ_CHECK(page.has_value());
            return *page;
        };
        return std::array<CodePage, 5>{named("windows-1250"), named("UTF-8"), named("CP852"),
                                       named("CP932"), named("GB18030")};
    }();
    return pages[index % pages.size()];
}

// A folder of this process's own, removed at its normal end.  It is on the
// memory file system where there is one: every save flushes its file to the
// disk, which would otherwise be most of the time a run takes.
class ScratchFolder
{
public:
    ScratchFolder()
    {
        std::error_code ec;
        const bool shm =
            std::filesystem::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0;
        std::string pattern =
            (shm ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path())
                .append("quorlink-fuzz-XXXXXX")
                .string();
        FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
        m_path = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::filesystem::path file(const char* name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

inline std::filesystem::path scratchFile(const char* name)
{
    static const ScratchFolder folder;
    return folder.file(name);
}

inline void writeFile(const std::filesystem::path& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(out.good());
}

inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    FUZZ_CHECK(in.good());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The lines of `text` as a text editor shows them: CR LF, a lone CR and a
// lone LF each end one, text after the last line end is one more line.
inline std::vector<std::u16string> lines(std::u16string_view text)
{
    std::vector<std::u16string> result;
    const char16_t* const end = text.data() + text.size();
    const char16_t* start = text.data();
    for (const char16_t* p = start; p != end; ++p) {
        if (*p != u'\r' && *p != u'\n')
            continue;
        result.emplace_back(start, p);
        if (*p == u'\r' && p + 1 != end && p[1] == u'\n')
            ++p;
        start = p + 1;
    }
    if (start != end)
        result.emplace_back(start, end);
    return result;
}

// The same count on bytes: a code page that keeps ASCII as it is writes a
// line end as the bytes CR and LF.
inline std::size_t lineCountOfBytes(std::string_view bytes)
{
    std::size_t count = 0;
    const char* const end = bytes.data() + bytes.size();
    const char* start = bytes.data();
    for (const char* p = start; p != end; ++p) {
        if (*p != '\r' && *p != '\n')
            continue;
        ++count;
        if (*p == '\r' && p + 1 != end && p[1] == '\n')
            ++p;
        start = p + 1;
    }
    return count + (start != end ? 1 : 0);
}

inline bool isHigh(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}
inline bool isLow(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The units of the character at `p`: 2 for a surrogate pair, else 1 (a lone
// surrogate too).
inline std::size_t characterLength(const char16_t* p, const char16_t* end)
{
    return isHigh(*p) && p + 1 != end && isLow(p[1]) ? 2 : 1;
}

// UTF-16 text split into characters.
inline std::vector<std::u16string_view> characters(std::u16string_view text)
{
    std::vector<std::u16string_view> result;
    const char16_t* const end = text.data() + text.size();
    for (const char16_t* p = text.data(); p != end;) {
        const std::size_t n = characterLength(p, end);
        result.emplace_back(p, n);
        p += n;
    }
    return result;
}

// UTF-8 by the book: one code point at a time, "?" for a lone surrogate.
inline std::string utf8Of(std::u16string_view text)
{
    std::string out(4 * text.size(), '\0');
    char* o = out.data();
    const char16_t* const end = text.data() + text.size();
    for (const char16_t* p = text.data(); p != end;) {
        const std::size_t n = characterLength(p, end);
        char32_t c = *p;
        if (n == 2)
            c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
        else if (isHigh(c) || isLow(c))
            c = U'?';
        p += n;
        if (c < 0x80) {
            *o++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *o++ = static_cast<char>(0xC0 | (c >> 6));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *o++ = static_cast<char>(0xE0 | (c >> 12));
            *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *o++ = static_cast<char>(0xF0 | (c >> 18));
            *o++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

// A line as it reads back from a file saved in `codePage`: in UTF-8 the same
// but for lone surrogates, elsewhere what the code page holds of it.
inline std::u16string lineReadBack(std::u16string_view line, const CodePage& codePage)
{
    if (!codePage.isUtf8())
        return codePage.toUnicode(codePage.fromUnicode(line));
    std::u16string out(line);
    char16_t* const end = out.data() + out.size();
    for (char16_t* p = out.data(); p != end;) {
        const std::size_t n = characterLength(p, end);
        if (n == 1 && (isHigh(*p) || isLow(*p)))
            *p = u'?';
        p += n;
    }
    return out;
}

// Bytes that a loader takes for a byte order mark.  Text in a code page
// without one may begin so ("ď»ż", "˙ţ", "ţ˙" in windows-1250); such a file
// reads back in the marked encoding, as in every program that looks for the
// mark, and cannot give the same lines.
inline bool beginsWithMark(std::string_view bytes)
{
    return bytes.starts_with("\xEF\xBB\xBF") || bytes.starts_with("\xFF\xFE") ||
           bytes.starts_with("\xFE\xFF");
}

} // namespace fuzztext
