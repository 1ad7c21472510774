#pragma once

#include "settings/settingsschema.h"

#include <string>

namespace quorlink::settings {

// The settings store in the registry of the current user, as REG_DWORD values
// "TimeOut", "BaudRateIndex", "ComPortIndex" and "SendEndFile" (0 or 1) under
// HKEY_CURRENT_USER\<subKey>.
//
// Loading opens the key read-only and never creates it; a key that cannot be
// opened means a first start (defaults, no port), a key that opens is a store
// that exists (keyExisted) whatever it holds.  A missing value, or one
// that is not a REG_DWORD, takes its default; the port is stored only when
// "ComPortIndex" is a REG_DWORD.  The registry has no [Ports] or CodePage:
// COMn is "\\.\COMn" and the code page is the system's ANSI code page.
//
// Storing opens the key to query and set values (nothing more), creating the
// missing levels.  A key that cannot be opened or created is skipped
// silently; a value that cannot be written throws SettingsError "Failed to
// set data for '<name>'".
class RegistrySettingsStore final : public SchemaSettingsStore
{
public:
    explicit RegistrySettingsStore(std::wstring subKey = L"Software\\Brindova\\Quorlink");

private:
    Presence presence() const override;
    std::unique_ptr<RawValues> openForReading() override;
    void writeIntegers(std::span<const NamedInteger> values) override;
    // The registry keeps no [Ports]: nothing to add.
    void addText(std::string_view, std::string_view, std::string_view) override {}

    std::wstring m_subKey;
};

namespace testing {
// Called with the access mask each store asks for on the key; Wine does not
// enforce a key's access list, so tests look at the mask.
extern void (*registryStoreAccess)(unsigned long access);
} // namespace testing

} // namespace quorlink::settings
