#pragma once

#include "serial/porttable.h"
#include "settings/settingsstore.h"
#include "transfer/codepage.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quorlink::settings {

// The stored settings as the window and the command line put them to use.
struct AppliedSettings
{
    StoredSettings stored;
    // The code page of the wire and the files: the one named, the system's
    // when none is named, nothing when the system does not know the name
    // (the window then keeps the system's, the command line refuses it).
    std::optional<transfer::CodePage> codePage;
    std::string codePageName; // the name looked up; empty: none named
    // The speed BaudRateIndex stands for; nothing outside the table.
    std::optional<std::uint32_t> baudRate;
};

// Loads the settings from `store` and applies them: the [Ports] devices go
// into `ports`, the code page is looked up by the stored name or by
// `codePageName` when given (the command line's --codepage wins over the
// stored one), and so is the stored speed.  Whatever the store throws goes
// to the caller.
AppliedSettings applyStoredSettings(SettingsStore& store, serial::PortTable& ports,
                                    const std::optional<std::string>& codePageName = std::nullopt);

} // namespace quorlink::settings
