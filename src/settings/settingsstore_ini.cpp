#include "settings/settingsstore_ini.h"

#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryFile>
#include <QVariant>

#include <algorithm>
#include <initializer_list>
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

// "COM3", "com3" -> 3.  The number is plain decimal from 1, without sign or
// leading zeros, so that every port has one spelling apart from letter case.
std::optional<std::int32_t> portNumberOfKey(const QString& key)
{
    if (key.size() < 4 || !key.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
        return std::nullopt;
    const QStringView digits = QStringView(key).mid(3);
    if (digits.front() == QLatin1Char('0'))
        return std::nullopt;
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    bool ok = false;
    const int number = digits.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return static_cast<std::int32_t>(number);
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
            const auto number = portNumberOfKey(key);
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

std::string failureMessage(const char* name)
{
    return std::string("Failed to set data for '") + name + "'";
}

// The first of `values` that the file at `path` does not hold, or nullptr.
// The file is read through a copy under a fresh name: QSettings shares one
// cached view per file name in a process, and after a failed write that view
// still holds the unwritten values.
const char* firstValueNotInFile(const QString& path, std::initializer_list<NamedValue> values)
{
    QFile file(path);
    QTemporaryFile copy;
    if (!file.open(QIODevice::ReadOnly) || !copy.open())
        return values.begin()->first;
    if (copy.write(file.readAll()) < 0 || !copy.flush())
        return values.begin()->first;
    copy.close();
    const QSettings written(copy.fileName(), QSettings::IniFormat);
    for (const auto& [name, value] : values) {
        if (readInt(written, name) != value)
            return name;
    }
    return nullptr;
}

void writeValues(const QString& path, std::initializer_list<NamedValue> values)
{
    {
        QSettings settings(path, QSettings::IniFormat);
        for (const auto& [name, value] : values)
            settings.setValue(QLatin1String(name), value);
        settings.sync();
        if (settings.status() == QSettings::NoError)
            return;
    }
    // The status keeps only the first error, and a file that could not be
    // fully parsed when it was read reports a FormatError even though it was
    // then rewritten, so what reached the file decides.
    if (const char* missing = firstValueNotInFile(path, values))
        throw SettingsError(failureMessage(missing));
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
