#include "settings/settingsschema.h"

#include "serial/porttable.h"

#include <algorithm>
#include <array>

namespace quorlink::settings {

namespace {

// The port settings, in the order they are read and written.
struct PortValue
{
    std::string_view name;
    std::int32_t PortSettings::*field;
};
constexpr std::array<PortValue, 3> PortValues{{
    {"TimeOut", &PortSettings::TimeOut},
    {"BaudRateIndex", &PortSettings::BaudRateIndex},
    {"ComPortIndex", &PortSettings::ComPortIndex},
}};
constexpr std::string_view ComPortIndex = PortValues[2].name;
constexpr std::string_view SendEndFile = "SendEndFile";
constexpr std::string_view CodePage = "CodePage";
constexpr std::string_view PortsGroup = "Ports";

bool holdsAValue(RawValues& values)
{
    return values.holds(SendEndFile) ||
           std::ranges::any_of(
               PortValues, [&values](const PortValue& value) { return values.holds(value.name); });
}

// [Ports] COMn=device.  Junk keys and empty devices are ignored; when two
// keys name the same port in different letter case, the one spelled "COM"
// wins.
std::map<std::int32_t, std::string>
portDevices(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::map<std::int32_t, std::string> ports;
    for (bool upperCasePass : {true, false}) {
        for (const auto& [key, device] : entries) {
            if (key.starts_with("COM") != upperCasePass)
                continue;
            const auto number = serial::parseComName(key);
            if (number && !ports.contains(*number) && !device.empty())
                ports.emplace(*number, device);
        }
    }
    return ports;
}

} // namespace

StoredSettings SchemaSettingsStore::LoadSettings()
{
    StoredSettings result;
    const std::unique_ptr<RawValues> values = openForReading();
    if (!values)
        return result;

    result.keyExisted = presence() == Presence::WhenOpen || holdsAValue(*values);
    if (const auto sendEndFile = values->integer(SendEndFile))
        result.sendEndFile = *sendEndFile != 0;
    for (const PortValue& value : PortValues) {
        if (const auto number = values->integer(value.name))
            result.port.*value.field = *number;
    }
    result.portStored = values->integer(ComPortIndex).has_value();
    result.codePage = values->text(CodePage);
    result.ports = portDevices(values->group(PortsGroup));
    return result;
}

void SchemaSettingsStore::StorePortSettings(const PortSettings& settings)
{
    std::array<NamedInteger, PortValues.size()> values{};
    std::ranges::transform(PortValues, values.begin(), [&settings](const PortValue& value) {
        return NamedInteger{value.name, settings.*value.field};
    });
    writeIntegers(values);
}

void SchemaSettingsStore::StoreSendEndFile(bool sendEndFile)
{
    const NamedInteger value{SendEndFile, sendEndFile ? 1 : 0};
    writeIntegers({&value, 1});
}

void SchemaSettingsStore::StorePortDevice(std::int32_t portNumber, const std::string& device)
{
    // A COM name has one spelling apart from letter case, so a key for the
    // number is the name in some letter case.
    addText(PortsGroup, serial::comName(portNumber), device);
}

} // namespace quorlink::settings
