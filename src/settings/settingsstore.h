#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quorlink::settings {

// The port settings fields of the main window, with their defaults.
struct PortSettings
{
    std::int32_t TimeOut = 200;     // reply time-out, milliseconds
    std::int32_t BaudRateIndex = 5; // index into BaudRates (5: 2400 Bd)
    std::int32_t ComPortIndex = 0;  // COM port number, 1 for COM1; 0 none
};

// What LoadSettings found.
struct StoredSettings
{
    bool keyExisted = false;         // the store exists at all
    bool portStored = false;         // "ComPortIndex" is stored: open the port at start
    PortSettings port;               // stored values; defaults for missing or ill-typed ones
    std::optional<bool> sendEndFile; // "SendEndFile", only when stored
    // Linux extras of the settings file:
    std::map<std::int32_t, std::string> ports; // [Ports] COMn=device
    std::string codePage;                      // [General] CodePage, read only; empty: the system's
};

// A value could not be written: "Failed to set data for '<name>'".
class SettingsError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
    // The error for the value `name`.
    static SettingsError valueNotWritten(std::string_view name)
    {
        return SettingsError("Failed to set data for '" + std::string(name) + "'");
    }
};

// The per-user settings store.  Every operation opens the store anew, so
// edits made by another program between two operations are seen, and a store
// rewrites only the values it names.
//
// Failures when storing: a store that cannot be opened or created (no right
// to it, something else in its place) is skipped silently, and the caller
// goes on as after a successful store.  A value that does not reach the store
// once it is open (a full disk) throws SettingsError naming the first value
// of the operation that did not reach it.  Values a failed store did not
// write are not written by any later operation.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;
    virtual StoredSettings LoadSettings() = 0;
    // Writes "TimeOut", "BaudRateIndex", "ComPortIndex" in this order.
    virtual void StorePortSettings(const PortSettings& settings) = 0;
    // Writes "SendEndFile" as 1 or 0.
    virtual void StoreSendEndFile(bool sendEndFile) = 0;
    // Maps port `portNumber` to `device` for good: adds the line
    // "COM<n>=<device>" to [Ports], unless [Ports] maps that number already,
    // in any letter case; no other entry changes.  A failed write throws
    // SettingsError naming "COM<n>".  The registry keeps no [Ports], Windows
    // numbers its ports itself: nothing is written there.
    virtual void StorePortDevice(std::int32_t portNumber, const std::string& device) = 0;
};

// The store of the current user: the INI file
// $XDG_CONFIG_HOME/Brindova/Quorlink.ini on Linux, the registry key
// HKEY_CURRENT_USER\Software\Brindova\Quorlink on Windows.
std::unique_ptr<SettingsStore> createUserSettingsStore();

} // namespace quorlink::settings
