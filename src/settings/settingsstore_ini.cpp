#include "settings/settingsstore_ini.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryFile>
#include <QVariant>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>

namespace quorlink::settings {

namespace {

QString keyOf(std::string_view name)
{
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

// A value counts only as a plain decimal 32-bit integer ("500", "-1");
// "abc", "1.5", "", "0x10", "1,2" and numbers beyond 32 bits do not, nor
// does one holding NUL, which toInt would read up to it: a file whose end a
// crash turned to zero bytes may hold "5\0\0" where "500" was.
std::optional<std::int32_t> readInt(const QSettings& settings, const QString& name)
{
    const QVariant value = settings.value(name);
    bool ok = false;
    int number = 0;
    if (value.typeId() == QMetaType::QString && !value.toString().contains(QChar(u'\0')))
        number = value.toString().toInt(&ok, 10);
    else if (value.typeId() == QMetaType::Int) // written by another Qt program as @Variant
        number = value.toInt(&ok);
    if (!ok)
        return std::nullopt;
    return static_cast<std::int32_t>(number);
}

// An unquoted comma splits an INI value into a list; a device path or code
// page name is one text, so the pieces are put back together.  QSettings
// makes the list one of variants when a piece begins with "@" or, once it
// has rewritten the file, holds a NUL; as long as every piece is a text it
// is the same value, before a store and after it.
QString readText(const QSettings& settings, const QString& name)
{
    const QVariant value = settings.value(name);
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(',')).trimmed();
    if (value.typeId() == QMetaType::QVariantList) {
        const QVariantList pieces = value.toList();
        const bool texts = std::all_of(pieces.begin(), pieces.end(), [](const QVariant& piece) {
            return piece.typeId() == QMetaType::QString;
        });
        return texts ? value.toStringList().join(QLatin1Char(',')).trimmed() : QString();
    }
    if (value.typeId() == QMetaType::QString)
        return value.toString().trimmed();
    return {};
}

// The file as QSettings reads it: [General] holds the values, other groups
// are groups.
class IniValues final : public RawValues
{
public:
    explicit IniValues(const QString& path) : m_settings(path, QSettings::IniFormat) {}

    bool holds(std::string_view name) override { return m_settings.contains(keyOf(name)); }
    std::optional<std::int32_t> integer(std::string_view name) override
    {
        return readInt(m_settings, keyOf(name));
    }
    std::string text(std::string_view name) override
    {
        return readText(m_settings, keyOf(name)).toStdString();
    }
    std::vector<std::pair<std::string, std::string>> group(std::string_view group) override
    {
        std::vector<std::pair<std::string, std::string>> entries;
        m_settings.beginGroup(keyOf(group));
        for (const QString& key : m_settings.childKeys())
            entries.emplace_back(key.toStdString(), readText(m_settings, key).toStdString());
        m_settings.endGroup();
        return entries;
    }

private:
    QSettings m_settings;
};

// A change of the file, made through QSettings.
using Change = std::function<void(QSettings&)>;

// `before` (the file's bytes) with `change` made, as QSettings writes it, or
// nothing when that could not be written.  QSettings works on a file of its
// own under a fresh name in `folder`: it keeps one cached view per file name
// for the whole process, and a view whose writing failed would keep the
// unwritten values and write them with the next operation.
std::optional<QByteArray> changed(const QString& folder, const QByteArray& before,
                                  const Change& change)
{
    QTemporaryFile work(folder + QStringLiteral("/.Quorlink-XXXXXX.ini"));
    if (!work.open() || work.write(before) != before.size() || !work.flush())
        return std::nullopt;
    work.close();
    qsizetype keys = 0;
    {
        QSettings settings(work.fileName(), QSettings::IniFormat);
        change(settings);
        settings.sync();
        // A damaged file reports a FormatError although it was rewritten;
        // only an AccessError means the values did not get there.
        if (settings.status() == QSettings::AccessError)
            return std::nullopt;
        keys = settings.allKeys().size();
    }
    // QSettings replaced the file: read it anew by its name.
    QFile result(work.fileName());
    if (!result.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = result.readAll();
    // A disk that fills up part-way cuts the file short without QSettings
    // noticing: the last flush of its buffer goes unchecked.  QSettings
    // writes one line per key and ends every line, so a whole file ends with
    // a line end and has a line for each key; groups' headers and the blank
    // lines between groups are the others.
    const QList<QByteArray> lines = bytes.split('\n');
    const auto keyLines = std::count_if(lines.begin(), lines.end(), [](const QByteArray& line) {
        return !line.trimmed().isEmpty() && !line.startsWith('[');
    });
    if (!bytes.endsWith('\n') || keyLines != keys)
        return std::nullopt;
    return bytes;
}

// Threads of one process: QLockFile only keeps processes apart.
std::mutex g_writeMutex;

// Makes `change` to the file at `path`; `firstName` names the first value
// it writes.
void write(const QString& path, std::string_view firstName, const Change& change)
{
    const std::lock_guard<std::mutex> guard(g_writeMutex);
    const QFileInfo info(path);
    const QString folder = info.absolutePath();

    // Opening the store: a folder that cannot be made, a lock that cannot be
    // taken, a file that cannot be read or a replacement that cannot be
    // created skip the store silently.
    if (!QDir().mkpath(folder))
        return;
    // The lock QSettings takes for the same file, so that a program storing
    // through QSettings waits for this one and the other way round.
    QLockFile lock(info.absoluteFilePath() + QStringLiteral(".lock"));
    if (!lock.lock())
        return;
    QByteArray before;
    if (info.exists()) {
        QFile current(path);
        if (!current.open(QIODevice::ReadOnly))
            return;
        before = current.readAll();
    }
    // Replaces the file atomically: a failed write leaves it as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;

    // The store is open: whatever fails now kept every value of this
    // operation from the file, the first one is named.
    const std::optional<QByteArray> after = changed(folder, before, change);
    // QSaveFile's commit does not see a write cut short while it flushes
    // its buffer: flush() does.
    if (!after || file.write(*after) != after->size() || !file.flush() || !file.commit())
        throw SettingsError::valueNotWritten(firstName);
}

} // namespace

IniSettingsStore::IniSettingsStore(QString filePath) : m_filePath(std::move(filePath)) {}

QString IniSettingsStore::userFilePath()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Brindova"),
                     QStringLiteral("Quorlink"))
        .fileName();
}

SchemaSettingsStore::Presence IniSettingsStore::presence() const
{
    return Presence::WhenHoldingAValue;
}

std::unique_ptr<RawValues> IniSettingsStore::openForReading()
{
    // A missing or unreadable file reads as an empty one.
    return std::make_unique<IniValues>(m_filePath);
}

void IniSettingsStore::writeIntegers(std::span<const NamedInteger> values)
{
    write(m_filePath, values.front().name, [values](QSettings& settings) {
        for (const auto& [name, value] : values)
            settings.setValue(keyOf(name), value);
    });
}

void IniSettingsStore::addText(std::string_view group, std::string_view key, std::string_view value)
{
    const QString name = keyOf(key);
    write(m_filePath, key, [&](QSettings& settings) {
        settings.beginGroup(keyOf(group));
        const QStringList keys = settings.childKeys();
        const bool held = std::any_of(keys.begin(), keys.end(), [&](const QString& existing) {
            return existing.compare(name, Qt::CaseInsensitive) == 0 &&
                   !readText(settings, existing).isEmpty();
        });
        if (!held)
            settings.setValue(
                name, QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
        settings.endGroup();
    });
}

std::unique_ptr<SettingsStore> createUserSettingsStore()
{
    return std::make_unique<IniSettingsStore>(IniSettingsStore::userFilePath());
}

} // namespace quorlink::settings
