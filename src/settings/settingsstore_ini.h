#pragma once

#include "settings/settingsschema.h"

#include <QString>

namespace quorlink::settings {

// The settings store in one INI file, for systems without a registry.
//
// [General]
// TimeOut=500           ; reply time-out, milliseconds
// BaudRateIndex=9       ; index into BaudRates (9: 9600 Bd)
// ComPortIndex=3        ; COM port number, 1 for COM1
// SendEndFile=1         ; 1: send the end-of-file bytes after a run, 0: not
// CodePage=windows-1250 ; read only: the code page of the wire and the files
// [Ports]
// COM3=/dev/ttyUSB0     ; the device of a COM port number; the port dialog
//                       ; adds one for a device it numbered
//
// Each operation opens the file anew.  Storing takes the lock QSettings takes
// for the file, reads it, sets the values through QSettings and replaces the
// file atomically, so two programs storing at the same time leave a valid
// file, and a store keeps every entry it does not write (CodePage, [Ports],
// anything unknown).
//
// Loading never fails: a missing file, a missing value or a value that is not
// a plain decimal 32-bit integer gives that value's default, and a damaged
// file is read as far as it can be.  The store "exists" (keyExisted) when the
// file holds at least one of the four values; a file holding only [Ports] or
// CodePage counts as a first start.  The port is stored (portStored) only when
// ComPortIndex holds an integer.
//
// [Ports] keys are "COM" in any letter case and the port number, plain decimal
// from 1 ("COM3", "com12"); other keys and empty devices are ignored, and
// "COM3" wins over "com3".  A device path holding a comma must be quoted.
//
// Storing follows the rules of SettingsStore.  The file "cannot be opened or
// created" when its folder cannot be made, the file is there but cannot be
// read, or no file can be created beside it (a read-only folder): the store is
// skipped.  A write that fails after that (a full disk) leaves the file as it
// was and throws SettingsError naming the operation's first value.
class IniSettingsStore final : public SchemaSettingsStore
{
public:
    explicit IniSettingsStore(QString filePath);

    // $XDG_CONFIG_HOME/Brindova/Quorlink.ini, ~/.config/Brindova/Quorlink.ini
    // when the variable is unset.
    static QString userFilePath();

    const QString& filePath() const { return m_filePath; }

private:
    Presence presence() const override;
    std::unique_ptr<RawValues> openForReading() override;
    void writeIntegers(std::span<const NamedInteger> values) override;
    void addText(std::string_view group, std::string_view key, std::string_view value) override;

    QString m_filePath;
};

} // namespace quorlink::settings
