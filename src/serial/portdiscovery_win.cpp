// The serial ports of Windows: the COM names HARDWARE\DEVICEMAP\SERIALCOMM
// lists, which every serial driver writes there while its port is there,
// named by SetupAPI's device information where it has one.  SetupAPI is
// loaded when the ports are listed: the programs start without it, and a
// system (Wine among them) that tells nothing there leaves the names out.

#include "portdiscovery_p.h"

#include <windows.h>

#include <setupapi.h>

#include <algorithm>
#include <cwchar>
#include <map>

namespace quorlink::serial {

namespace {

std::string utf8Of(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(std::max(size, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
}

// A text of at most `chars` characters as a registry value or device
// property gives it: possibly without its terminating NUL.
std::wstring textOf(const wchar_t* data, DWORD bytes)
{
    std::wstring text(data, bytes / sizeof(wchar_t));
    text.resize(std::wcslen(text.c_str()));
    return text;
}

// The port number of a COM name, "COM23" and the like.
std::int32_t numberOf(const std::wstring& name)
{
    std::string ascii;
    for (const wchar_t c : name) {
        if (c > 0x7F)
            return 0;
        ascii += static_cast<char>(c);
    }
    return parseComName(ascii).value_or(0);
}

// The COM numbers the system lists.
std::vector<std::int32_t> listedNumbers()
{
    std::vector<std::int32_t> numbers;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS)
        return numbers;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameChars = static_cast<DWORD>(std::size(name));
        wchar_t data[64];
        DWORD dataBytes = sizeof data;
        DWORD type = 0;
        const LSTATUS status = RegEnumValueW(key, index, name, &nameChars, nullptr, &type,
                                             reinterpret_cast<BYTE*>(data), &dataBytes);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        // A value too long for a COM name is none.
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        if (const std::int32_t number = numberOf(textOf(data, dataBytes)); number > 0)
            numbers.push_back(number);
    }
    RegCloseKey(key);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

// SetupAPI's functions, looked up once.  Null where the DLL or a function
// is missing.
struct SetupApi
{
    decltype(&SetupDiGetClassDevsW) getClassDevs = nullptr;
    decltype(&SetupDiEnumDeviceInfo) enumDeviceInfo = nullptr;
    decltype(&SetupDiGetDeviceRegistryPropertyW) getProperty = nullptr;
    decltype(&SetupDiOpenDevRegKey) openDevRegKey = nullptr;
    decltype(&SetupDiDestroyDeviceInfoList) destroyList = nullptr;

    bool usable() const
    {
        return getClassDevs && enumDeviceInfo && getProperty && openDevRegKey && destroyList;
    }

    static const SetupApi& get()
    {
        static const SetupApi api = [] {
            SetupApi functions;
            // One of the system's known DLLs: always its own copy in System32.
            const HMODULE module = LoadLibraryW(L"setupapi.dll");
            if (!module)
                return functions;
            const auto find = [module]<typename Function>(Function& function, const char* name) {
                // Through void*: GetProcAddress's type says nothing of the real one.
                function = reinterpret_cast<Function>(
                    reinterpret_cast<void*>(GetProcAddress(module, name)));
            };
            find(functions.getClassDevs, "SetupDiGetClassDevsW");
            find(functions.enumDeviceInfo, "SetupDiEnumDeviceInfo");
            find(functions.getProperty, "SetupDiGetDeviceRegistryPropertyW");
            find(functions.openDevRegKey, "SetupDiOpenDevRegKey");
            find(functions.destroyList, "SetupDiDestroyDeviceInfoList");
            return functions;
        }();
        return api;
    }
};

std::wstring deviceProperty(const SetupApi& api, HDEVINFO devices, SP_DEVINFO_DATA& device,
                            DWORD property)
{
    wchar_t text[256] = {};
    DWORD type = 0;
    if (!api.getProperty(devices, &device, property, &type, reinterpret_cast<BYTE*>(text),
                         sizeof text - sizeof(wchar_t), nullptr) ||
        type != REG_SZ)
        return {};
    return text;
}

// The COM number a device of the Ports class has: the "PortName" of its
// device key.
std::int32_t portNumberOf(const SetupApi& api, HDEVINFO devices, SP_DEVINFO_DATA& device)
{
    const HKEY key =
        api.openDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE)
        return 0;
    wchar_t name[64] = {};
    DWORD bytes = sizeof name - sizeof(wchar_t);
    DWORD type = 0;
    const LSTATUS status =
        RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &bytes);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_SZ ? numberOf(textOf(name, bytes)) : 0;
}

// "USB Serial Port (COM23)" as "USB Serial Port": the list shows the number.
std::wstring withoutComName(std::wstring name, std::int32_t number)
{
    const std::string ascii = " (" + comName(number) + ")";
    const std::wstring suffix(ascii.begin(), ascii.end());
    if (name.size() > suffix.size() && name.ends_with(suffix))
        name.resize(name.size() - suffix.size());
    return name;
}

// The names and makers of the present devices of the Ports class (COM and
// LPT), by COM number.
void describe(std::vector<SystemPort>& ports)
{
    const SetupApi& api = SetupApi::get();
    if (!api.usable())
        return;
    // GUID_DEVCLASS_PORTS, spelled out: the programs link no GUID library.
    static constexpr GUID PortsClass{
        0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    const HDEVINFO devices = api.getClassDevs(&PortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; api.enumDeviceInfo(devices, index, &device); ++index) {
        const std::int32_t number = portNumberOf(api, devices, device);
        const auto port = std::find_if(ports.begin(), ports.end(), [number](const SystemPort& p) {
            return p.comNumber == number;
        });
        if (number == 0 || port == ports.end())
            continue;
        port->name = utf8Of(
            withoutComName(deviceProperty(api, devices, device, SPDRP_FRIENDLYNAME), number));
        port->maker = utf8Of(deviceProperty(api, devices, device, SPDRP_MFG));
    }
    api.destroyList(devices);
}

} // namespace

std::vector<SystemPort> findSystemPorts(const DeviceTree&)
{
    std::vector<SystemPort> ports;
    for (const std::int32_t number : listedNumbers()) {
        SystemPort port;
        port.device = PortTable::defaultDevicePath(number);
        port.comNumber = number;
        ports.push_back(std::move(port));
    }
    describe(ports);
    return ports;
}

namespace discovery {

std::string identityOf(const std::string& devicePath)
{
    // Windows' device names ignore letter case.
    std::string identity = devicePath;
    for (char& c : identity) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return identity;
}

std::int32_t defaultNumberOf(const SystemPort& port)
{
    return port.comNumber;
}

bool isOtherDevicePresent(const std::string&)
{
    return false;
}

} // namespace discovery

} // namespace quorlink::serial
