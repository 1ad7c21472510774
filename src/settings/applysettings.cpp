#include "settings/applysettings.h"

#include "serial/baudrates.h"

namespace quorlink::settings {

AppliedSettings applyStoredSettings(SettingsStore& store, serial::PortTable& ports,
                                    const std::optional<std::string>& codePageName)
{
    AppliedSettings applied;
    applied.stored = store.LoadSettings();
    for (const auto& [number, device] : applied.stored.ports)
        ports.setDevice(number, device);
    applied.codePageName = codePageName.value_or(applied.stored.codePage);
    applied.codePage = applied.codePageName.empty()
                           ? transfer::CodePage::system()
                           : transfer::CodePage::named(applied.codePageName);
    applied.baudRate = serial::baudRateAt(applied.stored.port.BaudRateIndex);
    return applied;
}

} // namespace quorlink::settings
