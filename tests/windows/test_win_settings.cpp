// The registry settings store, on a scratch key and on the user's own key.

#include "settings/settingsstore_win.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace quorlink::settings;

const wchar_t* const ScratchKey = L"Software\\Brindova\\QuorlinkTest";

struct RawValue
{
    DWORD type = REG_NONE;
    std::uint32_t dword = 0;
};

std::optional<RawValue> rawValue(const wchar_t* subKey, const wchar_t* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    RawValue value;
    BYTE data[64] = {};
    DWORD size = sizeof data;
    const LSTATUS status = RegQueryValueExW(key, name, nullptr, &value.type, data, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    if (size >= 4)
        value.dword =
            data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
    return value;
}

void setRaw(const wchar_t* subKey, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, subKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void setDword(const wchar_t* subKey, const wchar_t* name, std::uint32_t value)
{
    setRaw(subKey, name, REG_DWORD, &value, sizeof value);
}

// Every value of the key: its type and its data bytes, by name.
using Values = std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>>;

Values allValues(const wchar_t* subKey)
{
    Values values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        BYTE data[256];
        DWORD size = sizeof data;
        DWORD type = REG_NONE;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &size) !=
            ERROR_SUCCESS)
            break;
        values[std::wstring(name, nameLength)] = {type, std::vector<BYTE>(data, data + size)};
    }
    RegCloseKey(key);
    return values;
}

DWORD subKeyCount(const wchar_t* subKey)
{
    HKEY key = nullptr;
    DWORD count = 0;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return count;
}

std::pair<DWORD, std::vector<BYTE>> dword(std::vector<BYTE> littleEndian)
{
    return {REG_DWORD, std::move(littleEndian)};
}

class Registry : public ::testing::Test
{
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, ScratchKey); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, ScratchKey); }

    RegistrySettingsStore store{ScratchKey};
};

TEST_F(Registry, shouldLoadDefaultsWithoutCreatingTheKey)
{
    const StoredSettings loaded = store.LoadSettings();
    EXPECT_FALSE(loaded.keyExisted);
    EXPECT_FALSE(loaded.portStored);
    EXPECT_EQ(loaded.port.TimeOut, 200);
    EXPECT_EQ(loaded.port.BaudRateIndex, 5);
    EXPECT_EQ(loaded.port.ComPortIndex, 0);
    EXPECT_FALSE(loaded.sendEndFile.has_value());

    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, ScratchKey, 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, shouldStoreThePortSettingsAsDwordsAndLoadThemBack)
{
    store.StorePortSettings({500, 9, 3});
    for (const auto& [name, expected] :
         {std::pair{L"TimeOut", 500u}, {L"BaudRateIndex", 9u}, {L"ComPortIndex", 3u}}) {
        const auto value = rawValue(ScratchKey, name);
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(value->type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(value->dword, expected);
    }
    EXPECT_FALSE(rawValue(ScratchKey, L"SendEndFile").has_value());

    const StoredSettings loaded = store.LoadSettings();
    EXPECT_TRUE(loaded.keyExisted);
    EXPECT_TRUE(loaded.portStored);
    EXPECT_EQ(loaded.port.TimeOut, 500);
    EXPECT_EQ(loaded.port.BaudRateIndex, 9);
    EXPECT_EQ(loaded.port.ComPortIndex, 3);
    EXPECT_FALSE(loaded.sendEndFile.has_value());
}

TEST_F(Registry, shouldStoreSendEndFileAloneAsOneOrZero)
{
    store.StorePortSettings({500, 9, 3});
    store.StoreSendEndFile(true);
    EXPECT_EQ(rawValue(ScratchKey, L"SendEndFile")->dword, 1u);
    EXPECT_EQ(store.LoadSettings().sendEndFile, true);
    store.StoreSendEndFile(false);
    EXPECT_EQ(rawValue(ScratchKey, L"SendEndFile")->dword, 0u);
    EXPECT_EQ(store.LoadSettings().sendEndFile, false);
    // The port settings were left alone.
    EXPECT_EQ(store.LoadSettings().port.TimeOut, 500);

    setDword(ScratchKey, L"SendEndFile", 7);
    EXPECT_EQ(store.LoadSettings().sendEndFile, true);
}

TEST_F(Registry, shouldKeepValuesOutOfRangeAsTheyAre)
{
    store.StorePortSettings({0, -1, -5});
    EXPECT_EQ(rawValue(ScratchKey, L"BaudRateIndex")->dword, 0xFFFFFFFFu);
    const StoredSettings loaded = store.LoadSettings();
    EXPECT_EQ(loaded.port.TimeOut, 0);
    EXPECT_EQ(loaded.port.BaudRateIndex, -1);
    EXPECT_EQ(loaded.port.ComPortIndex, -5);
}

TEST_F(Registry, shouldNotOpenAPortFromAKeyWithSendEndFileOnly)
{
    store.StoreSendEndFile(true);
    const StoredSettings loaded = store.LoadSettings();
    EXPECT_TRUE(loaded.keyExisted);
    EXPECT_FALSE(loaded.portStored);
    EXPECT_EQ(loaded.port.TimeOut, 200);
    EXPECT_EQ(loaded.port.BaudRateIndex, 5);
    EXPECT_EQ(loaded.port.ComPortIndex, 0);
    EXPECT_EQ(loaded.sendEndFile, true);
}

TEST_F(Registry, shouldTakeDefaultsForValuesOfAnotherType)
{
    setRaw(ScratchKey, L"TimeOut", REG_SZ, L"500", sizeof L"500");
    const std::uint64_t wide = 9;
    setRaw(ScratchKey, L"BaudRateIndex", REG_QWORD, &wide, sizeof wide);
    const BYTE two[2] = {3, 0};
    setRaw(ScratchKey, L"ComPortIndex", REG_BINARY, two, sizeof two);
    const std::uint32_t one = 1;
    setRaw(ScratchKey, L"SendEndFile", REG_BINARY, &one, sizeof one);

    const StoredSettings loaded = store.LoadSettings();
    EXPECT_TRUE(loaded.keyExisted);
    EXPECT_FALSE(loaded.portStored);
    EXPECT_EQ(loaded.port.TimeOut, 200);
    EXPECT_EQ(loaded.port.BaudRateIndex, 5);
    EXPECT_EQ(loaded.port.ComPortIndex, 0);
    EXPECT_FALSE(loaded.sendEndFile.has_value());
}

// What each store leaves in the key, whole: the values written before must
// come out of the same operations the same way, and nothing else is written.
TEST_F(Registry, shouldWriteTheValuesByteForByteAndNothingElse)
{
    store.StoreSendEndFile(false);
    EXPECT_EQ(allValues(ScratchKey), (Values{{L"SendEndFile", dword({0, 0, 0, 0})}}));

    store.StorePortSettings({500, 9, 3});
    store.StorePortSettings({-1, 16, 2147483647});
    store.StoreSendEndFile(true);
    EXPECT_EQ(allValues(ScratchKey), (Values{{L"BaudRateIndex", dword({16, 0, 0, 0})},
                                             {L"ComPortIndex", dword({0xff, 0xff, 0xff, 0x7f})},
                                             {L"SendEndFile", dword({1, 0, 0, 0})},
                                             {L"TimeOut", dword({0xff, 0xff, 0xff, 0xff})}}));
    EXPECT_EQ(subKeyCount(ScratchKey), 0u);

    // A key another program wrote into: its values and subkeys stay, a value
    // of another type is replaced by the DWORD.
    RegDeleteTreeW(HKEY_CURRENT_USER, ScratchKey);
    setRaw(ScratchKey, L"TimeOut", REG_SZ, L"500", sizeof L"500");
    setRaw(ScratchKey, L"Theme", REG_SZ, L"dark", sizeof L"dark");
    setDword((std::wstring(ScratchKey) + L"\\Other").c_str(), L"Key", 7);
    store.StorePortSettings({1500, 0, 12});
    store.StoreSendEndFile(false);
    EXPECT_EQ(allValues(ScratchKey),
              (Values{{L"BaudRateIndex", dword({0, 0, 0, 0})},
                      {L"ComPortIndex", dword({12, 0, 0, 0})},
                      {L"SendEndFile", dword({0, 0, 0, 0})},
                      {L"Theme", {REG_SZ, {'d', 0, 'a', 0, 'r', 0, 'k', 0, 0, 0}}},
                      {L"TimeOut", dword({0xdc, 0x05, 0, 0})}}));
    EXPECT_EQ(allValues((std::wstring(ScratchKey) + L"\\Other").c_str()),
              (Values{{L"Key", dword({7, 0, 0, 0})}}));
}

// A key whose access list lets the user set values, and no more, must still
// be stored to.  Wine does not enforce a key's access list, so the access the
// store asks for is what is checked; the key is created all the same.
TEST_F(Registry, shouldAskOnlyToQueryAndSetValuesWhenStoring)
{
    static std::vector<unsigned long> asked;
    asked.clear();
    quorlink::settings::testing::registryStoreAccess = [](unsigned long access) {
        asked.push_back(access);
    };
    store.StorePortSettings({500, 9, 3});
    store.StoreSendEndFile(true);
    quorlink::settings::testing::registryStoreAccess = nullptr;

    // KEY_QUERY_VALUE | KEY_SET_VALUE, where KEY_ALL_ACCESS is 0xF003F.
    EXPECT_EQ(asked, (std::vector<unsigned long>{0x0003, 0x0003}));
    EXPECT_EQ(rawValue(ScratchKey, L"TimeOut")->dword, 500u);
    EXPECT_EQ(rawValue(ScratchKey, L"SendEndFile")->dword, 1u);
}

TEST(UserKey, shouldStoreTheDialogValuesUnderTheUsersKey)
{
    // The key of a first start; the script reads the result back with
    // "reg query".
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Brindova\\Quorlink");
    const auto store = createUserSettingsStore();
    const StoredSettings first = store->LoadSettings();
    EXPECT_FALSE(first.keyExisted);
    EXPECT_EQ(first.port.TimeOut, 200);

    store->StorePortSettings({500, 9, 3});
    store->StoreSendEndFile(true);
    const StoredSettings next = store->LoadSettings();
    EXPECT_TRUE(next.portStored);
    EXPECT_EQ(next.port.ComPortIndex, 3);
    EXPECT_EQ(rawValue(L"Software\\Brindova\\Quorlink", L"TimeOut")->dword, 500u);
}

} // namespace
