#pragma once

// Text and paths between the window's behaviour (UTF-16, std::filesystem)
// and Qt.

#include <QFile>
#include <QString>

#include <filesystem>
#include <string_view>

namespace quorlink::qtface {

inline QString toQString(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::u16string_view toU16View(const QString& text)
{
    return std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                               static_cast<std::size_t>(text.size()));
}

// A file name from a Qt dialog as the system names the file.
inline std::filesystem::path toPath(const QString& fileName)
{
#ifdef _WIN32
    return std::filesystem::path(fileName.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(fileName).toStdString());
#endif
}

} // namespace quorlink::qtface
