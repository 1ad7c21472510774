#include "settings/settingsstore_win.h"

#include <windows.h>

#include <utility>

namespace quorlink::settings {

namespace {

// The schema's names are ASCII.
std::wstring wideName(std::string_view name)
{
    return std::wstring(name.begin(), name.end());
}

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

// The values of the key opened for reading.  The registry keeps no texts for
// the program: the code page is the system's ANSI code page and COMn is
// "\\.\COMn", so no [Ports].
class RegistryValues final : public RawValues
{
public:
    OpenKey key;

    bool holds(std::string_view name) override
    {
        return RegQueryValueExW(key.get(), wideName(name).c_str(), nullptr, nullptr, nullptr,
                                nullptr) == ERROR_SUCCESS;
    }
    // A signed 32-bit number, or nothing when the value is missing or not a
    // REG_DWORD (a larger value makes the query fail with ERROR_MORE_DATA).
    std::optional<std::int32_t> integer(std::string_view name) override
    {
        DWORD type = 0;
        DWORD data = 0;
        DWORD size = sizeof data;
        const LSTATUS status = RegQueryValueExW(key.get(), wideName(name).c_str(), nullptr, &type,
                                                reinterpret_cast<BYTE*>(&data), &size);
        if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data)
            return std::nullopt;
        return static_cast<std::int32_t>(data);
    }
    std::string text(std::string_view) override { return {}; }
    std::vector<std::pair<std::string, std::string>> group(std::string_view) override { return {}; }
};

} // namespace

RegistrySettingsStore::RegistrySettingsStore(std::wstring subKey) : m_subKey(std::move(subKey)) {}

SchemaSettingsStore::Presence RegistrySettingsStore::presence() const
{
    return Presence::WhenOpen;
}

std::unique_ptr<RawValues> RegistrySettingsStore::openForReading()
{
    auto values = std::make_unique<RegistryValues>();
    if (RegOpenKeyExW(HKEY_CURRENT_USER, m_subKey.c_str(), 0, KEY_READ, values->key.out()) !=
        ERROR_SUCCESS)
        return nullptr;
    return values;
}

namespace testing {
void (*registryStoreAccess)(unsigned long access) = nullptr;
} // namespace testing

void RegistrySettingsStore::writeIntegers(std::span<const NamedInteger> values)
{
    // Only the rights the store uses: a key whose access list lets the user
    // set values, and not all the rest, is still stored to.  Creating a
    // missing key needs no right on the key itself, only on its parent.
    constexpr REGSAM access = KEY_QUERY_VALUE | KEY_SET_VALUE;
    if (testing::registryStoreAccess)
        testing::registryStoreAccess(access);
    OpenKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, m_subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        access, nullptr, key.out(), nullptr) != ERROR_SUCCESS)
        return; // no key, no store: the caller goes on as after a store
    for (const auto& [name, value] : values) {
        const DWORD data = static_cast<DWORD>(value);
        if (RegSetValueExW(key.get(), wideName(name).c_str(), 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&data), sizeof data) != ERROR_SUCCESS)
            throw SettingsError::valueNotWritten(name);
    }
}

std::unique_ptr<SettingsStore> createUserSettingsStore()
{
    return std::make_unique<RegistrySettingsStore>();
}

} // namespace quorlink::settings
