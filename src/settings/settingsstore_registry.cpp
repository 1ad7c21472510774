#include "settings/settingsstore_registry.h"

#include <windows.h>

#include <initializer_list>
#include <utility>

namespace quorlink::settings {

namespace {

// Value names as the registry sees them and as the error message names them.
struct ValueName
{
    const wchar_t* wide;
    const char* narrow;
};

const ValueName kTimeOut{L"TimeOut", "TimeOut"};
const ValueName kBaudRateIndex{L"BaudRateIndex", "BaudRateIndex"};
const ValueName kComPortIndex{L"ComPortIndex", "ComPortIndex"};
const ValueName kSendEndFile{L"SendEndFile", "SendEndFile"};

// Closes the key on every way out, including a thrown SettingsError.
class OpenKey
{
public:
    OpenKey() = default;
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    ~OpenKey()
    {
        if (m_key != nullptr)
            RegCloseKey(m_key);
    }

    HKEY* out() { return &m_key; }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

// The value as a signed 32-bit number, or nothing when it is missing or not a
// REG_DWORD (a larger value makes the query fail with ERROR_MORE_DATA).
std::optional<std::int32_t> readDword(HKEY key, const ValueName& name)
{
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    const LSTATUS status =
        RegQueryValueExW(key, name.wide, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data)
        return std::nullopt;
    return static_cast<std::int32_t>(data);
}

void writeValues(const std::wstring& subKey,
                 std::initializer_list<std::pair<ValueName, std::int32_t>> values)
{
    OpenKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, key.out(), nullptr) != ERROR_SUCCESS)
        return; // no key, no store: the caller goes on as after a store
    for (const auto& [name, value] : values) {
        const DWORD data = static_cast<DWORD>(value);
        if (RegSetValueExW(key.get(), name.wide, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                           sizeof data) != ERROR_SUCCESS)
            throw SettingsError::valueNotWritten(name.narrow);
    }
}

} // namespace

RegistrySettingsStore::RegistrySettingsStore(std::wstring subKey) : m_subKey(std::move(subKey)) {}

StoredSettings RegistrySettingsStore::LoadSettings()
{
    StoredSettings result;
    OpenKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, m_subKey.c_str(), 0, KEY_READ, key.out()) != ERROR_SUCCESS)
        return result;

    result.keyExisted = true;
    if (const auto sendEndFile = readDword(key.get(), kSendEndFile))
        result.sendEndFile = *sendEndFile != 0;
    if (const auto timeOut = readDword(key.get(), kTimeOut))
        result.port.TimeOut = *timeOut;
    if (const auto baudRateIndex = readDword(key.get(), kBaudRateIndex))
        result.port.BaudRateIndex = *baudRateIndex;
    if (const auto comPortIndex = readDword(key.get(), kComPortIndex)) {
        result.port.ComPortIndex = *comPortIndex;
        result.portStored = true;
    }
    return result;
}

void RegistrySettingsStore::StorePortSettings(const PortSettings& settings)
{
    writeValues(m_subKey, {{kTimeOut, settings.TimeOut},
                           {kBaudRateIndex, settings.BaudRateIndex},
                           {kComPortIndex, settings.ComPortIndex}});
}

void RegistrySettingsStore::StoreSendEndFile(bool sendEndFile)
{
    writeValues(m_subKey, {{kSendEndFile, sendEndFile ? 1 : 0}});
}

std::unique_ptr<SettingsStore> createUserSettingsStore()
{
    return std::make_unique<RegistrySettingsStore>();
}

} // namespace quorlink::settings
