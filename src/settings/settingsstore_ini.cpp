#include "settings/settingsstore_ini.h"

#include "serial/porttable.h"

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
#include <initializer_list>
#include <mutex>
#include <optional>
#include <utility>

namespace quorlink::settings {

namespace {

const char* const kTimeOut = "TimeOut";
const char* const kBaudRateIndex = "BaudRateIndex";
const char* const kComPortIndex = "ComPortIndex";
const char* const kSendEndFile = "SendEndFile";
const char* const kCodePage = "CodePage";
const char* const kPortsGroup = "Ports";

using NamedValue = std::pair<const char*, std::int32_t>;

// A value counts only as a plain decimal 32-bit integer ("500", "-1");
// "abc", "1.5", "", "0x10", "1,2" and numbers beyond 32 bits do not, nor
// does one holding NUL, which toInt would read up to it: a file whose end a
// crash turned to zero bytes may hold "5\0\0" where "500" was.
std::optional<std::int32_t> readInt(const QSettings& settings, const char* name)
{
    const QVariant value = settings.value(QLatin1String(name));
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

// [Ports] COMn=device.  Junk keys and empty devices are ignored; when two keys
// name the same port in different letter case, the one spelled "COM" wins.
std::map<std::int32_t, std::string> readPorts(QSettings& settings)
{
    std::map<std::int32_t, std::string> ports;
    settings.beginGroup(QLatin1String(kPortsGroup));
    const QStringList keys = settings.childKeys();
    for (bool upperCasePass : {true, false}) {
        for (const QString& key : keys) {
            if (key.startsWith(QLatin1String("COM")) != upperCasePass)
                continue;
            const auto number = serial::parseComName(key.toStdString());
            if (!number || ports.contains(*number))
                continue;
            const QString device = readText(settings, key);
            if (!device.isEmpty())
                ports.emplace(*number, device.toStdString());
        }
    }
    settings.endGroup();
    return ports;
}

// `before` (the file's bytes) with `values` set in [General], as QSettings
// writes it, or nothing when that could not be written.  QSettings works on
// a file of its own under a fresh name in `folder`: it keeps one cached view
// per file name for the whole process, and a view whose writing failed would
// keep the unwritten values and write them with the next operation.
std::optional<QByteArray> withValues(const QString& folder, const QByteArray& before,
                                     std::initializer_list<NamedValue> values)
{
    QTemporaryFile work(folder + QStringLiteral("/.Quorlink-XXXXXX.ini"));
    if (!work.open() || work.write(before) != before.size() || !work.flush())
        return std::nullopt;
    work.close();
    {
        QSettings settings(work.fileName(), QSettings::IniFormat);
        for (const auto& [name, value] : values)
            settings.setValue(QLatin1String(name), value);
        settings.sync();
        // A damaged file reports a FormatError although it was rewritten;
        // only an AccessError means the values did not get there.
        if (settings.status() == QSettings::AccessError)
            return std::nullopt;
    }
    // QSettings replaced the file: read it anew by its name.
    QFile result(work.fileName());
    if (!result.open(QIODevice::ReadOnly))
        return std::nullopt;
    return result.readAll();
}

// Threads of one process: QLockFile only keeps processes apart.
std::mutex g_writeMutex;

void writeValues(const QString& path, std::initializer_list<NamedValue> values)
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
    const std::optional<QByteArray> after = withValues(folder, before, values);
    if (!after || file.write(*after) != after->size() || !file.commit())
        throw SettingsError::valueNotWritten(values.begin()->first);
}

} // namespace

IniSettingsStore::IniSettingsStore(QString filePath) : m_filePath(std::move(filePath)) {}

QString IniSettingsStore::userFilePath()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Brindova"),
                     QStringLiteral("Quorlink"))
        .fileName();
}

StoredSettings IniSettingsStore::LoadSettings()
{
    StoredSettings result;
    QSettings settings(m_filePath, QSettings::IniFormat);

    for (const char* name : {kTimeOut, kBaudRateIndex, kComPortIndex, kSendEndFile}) {
        if (settings.contains(QLatin1String(name)))
            result.keyExisted = true;
    }
    if (const auto sendEndFile = readInt(settings, kSendEndFile))
        result.sendEndFile = *sendEndFile != 0;
    if (const auto timeOut = readInt(settings, kTimeOut))
        result.port.TimeOut = *timeOut;
    if (const auto baudRateIndex = readInt(settings, kBaudRateIndex))
        result.port.BaudRateIndex = *baudRateIndex;
    if (const auto comPortIndex = readInt(settings, kComPortIndex)) {
        result.port.ComPortIndex = *comPortIndex;
        result.portStored = true;
    }

    result.codePage = readText(settings, QLatin1String(kCodePage)).toStdString();
    result.ports = readPorts(settings);
    return result;
}

void IniSettingsStore::StorePortSettings(const PortSettings& settings)
{
    writeValues(m_filePath, {{kTimeOut, settings.TimeOut},
                             {kBaudRateIndex, settings.BaudRateIndex},
                             {kComPortIndex, settings.ComPortIndex}});
}

void IniSettingsStore::StoreSendEndFile(bool sendEndFile)
{
    writeValues(m_filePath, {{kSendEndFile, sendEndFile ? 1 : 0}});
}

std::unique_ptr<SettingsStore> createUserSettingsStore()
{
    return std::make_unique<IniSettingsStore>(IniSettingsStore::userFilePath());
}

} // namespace quorlink::settings
