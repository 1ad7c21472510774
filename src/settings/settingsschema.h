#pragma once

#include "settings/settingsstore.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorlink::settings {

// One integer value as a store writes it.
struct NamedInteger
{
    std::string_view name;
    std::int32_t value;
};

// A store's values as read by one opening of it, by name.  What counts as
// an integer or a text is the store's format; which names there are is the
// schema's.
class RawValues
{
public:
    virtual ~RawValues() = default;
    // Whether a value of this name is there, whatever it holds.
    virtual bool holds(std::string_view name) = 0;
    // The value as a signed 32-bit integer; nothing when it is missing or is
    // no integer of the store's format.
    virtual std::optional<std::int32_t> integer(std::string_view name) = 0;
    // The value as a text without surrounding blanks; empty when it is
    // missing or is no text.
    virtual std::string text(std::string_view name) = 0;
    // Every key of the group `group` with its value read as by text().
    virtual std::vector<std::pair<std::string, std::string>> group(std::string_view group) = 0;
};

// A settings store over a store of raw values, the INI file or the registry.
// The schema lives here, once for every store: the value names, their types
// and defaults (PortSettings), the order each operation reads and writes
// them, when the port counts as stored, and how [Ports] keys are read.  A
// store only opens, reads and writes.
//
//   TimeOut, BaudRateIndex, ComPortIndex  integers; StorePortSettings writes
//                                         them in this order
//   SendEndFile                           integer, 1 or 0; StoreSendEndFile
//                                         writes it alone; any other than 0
//                                         reads as set
//   CodePage                              text, read only
//   [Ports] COMn                          texts; StorePortDevice adds one
//                                         for a number without one
//
// A value that is missing or of another type takes its default; the port
// counts as stored only when ComPortIndex holds an integer.
class SchemaSettingsStore : public SettingsStore
{
public:
    StoredSettings LoadSettings() final;
    void StorePortSettings(const PortSettings& settings) final;
    void StoreSendEndFile(bool sendEndFile) final;
    void StorePortDevice(std::int32_t portNumber, const std::string& device) final;

protected:
    // When an open store counts as existing (StoredSettings::keyExisted).
    enum class Presence {
        // Once it opens: a registry key, which only a store creates.
        WhenOpen,
        // Once it holds one of the four values: a file may have been written
        // by hand with only [Ports] or CodePage, which is still a first start.
        WhenHoldingAValue,
    };
    virtual Presence presence() const = 0;

    // The store opened for reading, or nothing when it cannot be opened (then
    // everything takes its default).  Opening never creates the store.
    virtual std::unique_ptr<RawValues> openForReading() = 0;

    // Opens the store for writing, creating it, and writes `values` in this
    // order.  A store that cannot be opened or created is skipped silently; a
    // value that does not reach the open store throws SettingsError naming
    // the first value that did not reach it.  Values a failed write did not
    // write are never written later.
    virtual void writeIntegers(std::span<const NamedInteger> values) = 0;

    // Opens the store for writing as writeIntegers does and adds the text
    // `value` as `key` of the group `group`, unless the group holds a key
    // that is `key` in any letter case with a text that is not blank (a
    // blank one maps nothing and is replaced).  A text that does not reach
    // the open store throws SettingsError naming `key`.
    virtual void addText(std::string_view group, std::string_view key, std::string_view value) = 0;
};

} // namespace quorlink::settings
