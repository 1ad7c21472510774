// libFuzzer target: any bytes as the settings file.  Loading never fails and
// gives each value either the integer the file stores for it or its default;
// storing afterwards keeps every other entry the file had ([Ports],
// CodePage, anything unknown), and what was stored loads back.
//
// What the file "stores" is what QSettings reads from it, the parser the
// store itself uses; the checks are about what the store makes of that.

#include "settings/settingsstore_ini.h"

#include <QByteArray>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QRegularExpression>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>

using namespace quorlink::settings;

namespace {

// A failed check names itself before the fuzzer saves the input.
#define FUZZ_CHECK(condition) ((condition) ? void() : fail(#condition, __LINE__))

[[noreturn]] void fail(const char* condition, int line)
{
    std::fprintf(stderr, "fuzz_settingsini.cpp:%d: check failed: %s\n", line, condition);
    std::abort();
}

const char* const ValueNames[] = {"TimeOut", "BaudRateIndex", "ComPortIndex", "SendEndFile"};

// A folder of this process's own, on the memory file system where there is
// one: every store flushes the file to the disk, which would otherwise take
// most of the time of a run.
QTemporaryDir& scratch()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    static QTemporaryDir folder(
        (shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath()) +
        QStringLiteral("/quorlink-fuzz-XXXXXX"));
    FUZZ_CHECK(folder.isValid());
    return folder;
}

// The files of a run, used again for every input.  QSettings keeps what it
// read of a file under its name until the file's size or time changes, so
// every write gives the file a time of its own.
QString scratchFile(const char* name)
{
    return scratch().filePath(QLatin1String(name));
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    static qint64 writes = 0;
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size() && file.flush());
    FUZZ_CHECK(file.setFileTime(QDateTime::fromSecsSinceEpoch(946684800 + ++writes),
                                QFileDevice::FileModificationTime));
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

// A key as QSettings looks it up, without leading, trailing or doubled
// slashes.
QString lookupKey(QString key)
{
    while (key.contains(QLatin1String("//")))
        key.replace(QLatin1String("//"), QLatin1String("/"));
    while (key.startsWith(QLatin1Char('/')))
        key.remove(0, 1);
    while (key.endsWith(QLatin1Char('/')))
        key.chop(1);
    return key;
}

// A value as a program reading texts sees it.  QSettings reads a list of
// texts back as a list of variants once it has written an element holding
// NUL as "@String(...)", and an empty text back as a null one or the other
// way round; neither changes a text.
QVariant asTexts(const QVariant& value)
{
    if (value.typeId() == QMetaType::QString)
        return value.toString().isNull() ? QString(QLatin1String("")) : value.toString();
    if (value.typeId() != QMetaType::QStringList && value.typeId() != QMetaType::QVariantList)
        return value;
    QVariantList elements;
    bool texts = true;
    for (const QVariant& element : value.toList()) {
        elements.append(asTexts(element));
        texts = texts && element.typeId() == QMetaType::QString;
    }
    return texts ? QVariant(QVariant(elements).toStringList()) : QVariant(elements);
}

// Whether a text of the value holds half a surrogate pair ("\\xd800" in
// the file): it is no character, and a file in UTF-8 cannot hold it.
bool holdsNoCharacter(const QVariant& value)
{
    const QVariantList texts =
        value.typeId() == QMetaType::QString ? QVariantList{value}
        : value.typeId() == QMetaType::QStringList || value.typeId() == QMetaType::QVariantList
            ? value.toList()
            : QVariantList{};
    for (const QVariant& text : texts) {
        if (text.typeId() != QMetaType::QString)
            continue;
        const QString units = text.toString();
        for (qsizetype i = 0; i < units.size(); ++i) {
            if (units[i].isHighSurrogate() && i + 1 < units.size() && units[i + 1].isLowSurrogate())
                ++i;
            else if (units[i].isSurrogate())
                return true;
        }
    }
    return false;
}

// Every entry of the file as QSettings reads it, each value in its
// serialised form (so that a NaN equals itself).
//
// A key QSettings cannot look up is no entry any program can read: one of
// slashes only, or "\\C3", read as "/C3".  Its rewrite of the file turns
// the latter into "C3", which may then show an entry of that name or replace
// the one there was.  A value holding half a surrogate pair is written as
// something else.  `hidden` holds the names so at stake.
struct Entries
{
    std::map<QString, QByteArray> values;
    std::set<QString> hidden;

    bool hides(const QString& name) const { return hidden.contains(name); }
    bool hidesPorts() const
    {
        return std::any_of(hidden.begin(), hidden.end(), [](const QString& name) {
            return name.startsWith(QLatin1String("Ports/"));
        });
    }
};

Entries entriesOf(const QByteArray& bytes)
{
    const QString path = scratchFile("entries.ini");
    writeFile(path, bytes);
    Entries entries;
    const QSettings settings(path, QSettings::IniFormat);
    for (const QString& key : settings.allKeys()) {
        const QString name = lookupKey(key);
        if (name != key || !settings.contains(name) || holdsNoCharacter(settings.value(name))) {
            entries.hidden.insert(name);
            continue;
        }
        QByteArray value;
        QDataStream stream(&value, QIODevice::WriteOnly);
        stream << asTexts(settings.value(name));
        entries.values.emplace(name, value);
    }
    return entries;
}

// The integer a value holds: a decimal 32-bit number, with a sign and with
// white space around it or not, or an integer a Qt program wrote as such.
std::optional<std::int32_t> storedInteger(const QSettings& settings, const char* name)
{
    const QVariant value = settings.value(QLatin1String(name));
    if (value.typeId() == QMetaType::Int)
        return value.toInt();
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    static const QRegularExpression number(
        QStringLiteral("\\A[ \\t\\n\\v\\f\\r]*([+-]?[0-9]+)[ \\t\\n\\v\\f\\r]*\\z"));
    const QRegularExpressionMatch match = number.match(value.toString());
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const qlonglong n = match.captured(1).toLongLong(&ok);
    if (!ok || n < INT32_MIN || n > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(n);
}

// A text, or a list of texts that an unquoted comma made of one.
QString storedText(const QSettings& settings, const QString& key)
{
    const QVariant value = asTexts(settings.value(key));
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(',')).trimmed();
    return value.typeId() == QMetaType::QString ? value.toString().trimmed() : QString();
}

// [Ports]: "COM" in any letter case and a decimal number from 1 without
// leading zeros; "COM" spelled so wins over other spellings of one port.
std::map<std::int32_t, std::string> storedPorts(QSettings& settings)
{
    static const QRegularExpression portKey(QStringLiteral("\\A(?i:com)([1-9][0-9]{0,9})\\z"));
    std::map<std::int32_t, std::string> ports;
    std::map<std::int32_t, bool> upperCase;
    settings.beginGroup(QStringLiteral("Ports"));
    for (const QString& key : settings.childKeys()) {
        const QRegularExpressionMatch match = portKey.match(key);
        if (!match.hasMatch() || match.captured(1).toLongLong() > INT32_MAX)
            continue;
        const auto number = static_cast<std::int32_t>(match.captured(1).toLongLong());
        const QString device = storedText(settings, key);
        const bool upper = key.startsWith(QLatin1String("COM"));
        if (device.isEmpty() || (ports.contains(number) && (upperCase[number] || !upper)))
            continue;
        ports[number] = device.toStdString();
        upperCase[number] = upper;
    }
    settings.endGroup();
    return ports;
}

} // namespace

// QSettings warns of every key it cannot look up; a run has millions.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString path = scratchFile("Quorlink.ini");
    writeFile(path, bytes);
    IniSettingsStore store(path);
    const StoredSettings loaded = store.LoadSettings();

    {
        const QString copy = scratchFile("copy.ini");
        writeFile(copy, bytes);
        QSettings settings(copy, QSettings::IniFormat);
        bool anyValue = false;
        for (const char* name : ValueNames)
            anyValue = anyValue || settings.contains(QLatin1String(name));
        FUZZ_CHECK(loaded.keyExisted == anyValue);
        const auto timeOut = storedInteger(settings, "TimeOut");
        const auto baudRateIndex = storedInteger(settings, "BaudRateIndex");
        const auto comPortIndex = storedInteger(settings, "ComPortIndex");
        const auto sendEndFile = storedInteger(settings, "SendEndFile");
        FUZZ_CHECK(loaded.port.TimeOut == timeOut.value_or(200));
        FUZZ_CHECK(loaded.port.BaudRateIndex == baudRateIndex.value_or(5));
        FUZZ_CHECK(loaded.port.ComPortIndex == comPortIndex.value_or(0));
        FUZZ_CHECK(loaded.portStored == comPortIndex.has_value());
        FUZZ_CHECK(loaded.sendEndFile.has_value() == sendEndFile.has_value());
        FUZZ_CHECK(!sendEndFile || *loaded.sendEndFile == (*sendEndFile != 0));
        FUZZ_CHECK(loaded.ports == storedPorts(settings));
        FUZZ_CHECK(loaded.codePage ==
                   storedText(settings, QStringLiteral("CodePage")).toStdString());
    }

    // Storing writes the four values and keeps every other entry.
    const PortSettings port{loaded.port.TimeOut ^ 1, loaded.port.BaudRateIndex ^ 2, 7};
    const bool sendEndFile = !loaded.sendEndFile.value_or(false);
    const Entries before = entriesOf(bytes);
    store.StorePortSettings(port);
    store.StoreSendEndFile(sendEndFile);
    const QByteArray stored = readFile(path);
    const Entries after = entriesOf(stored);
    for (const auto& [key, value] : before.values) {
        bool written = false;
        for (const char* name : ValueNames)
            written = written || key == QLatin1String(name);
        if (!written && !before.hides(key))
            FUZZ_CHECK(after.values.contains(key) && after.values.at(key) == value);
    }

    // The next start reads the file anew, not what this process wrote.
    writeFile(path, stored);
    const StoredSettings again = store.LoadSettings();
    const auto stays = [&](const char* name) { return !before.hides(QLatin1String(name)); };
    FUZZ_CHECK(again.keyExisted);
    if (stays("TimeOut"))
        FUZZ_CHECK(again.port.TimeOut == port.TimeOut);
    if (stays("BaudRateIndex"))
        FUZZ_CHECK(again.port.BaudRateIndex == port.BaudRateIndex);
    if (stays("ComPortIndex"))
        FUZZ_CHECK(again.portStored && again.port.ComPortIndex == port.ComPortIndex);
    if (stays("SendEndFile"))
        FUZZ_CHECK(again.sendEndFile == sendEndFile);
    if (stays("CodePage"))
        FUZZ_CHECK(again.codePage == loaded.codePage);
    if (!before.hidesPorts())
        FUZZ_CHECK(again.ports == loaded.ports);
    return 0;
}
