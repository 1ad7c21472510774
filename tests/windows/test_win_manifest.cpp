// The resources of the built programs as Windows finds them: the window's
// manifest, and both programs' icon and version information.  The programs
// are named by QUORLINK_EXE and QUORLINK_BATCH_EXE; QUORLINK_EXPECT_VERSION
// is the version given to project(), read from CMakeLists.txt by the script
// that runs this test.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

std::wstring environment(const wchar_t* name)
{
    const wchar_t* value = _wgetenv(name);
    return value ? value : L"";
}

std::wstring expectedVersion()
{
    const std::wstring version = environment(L"QUORLINK_EXPECT_VERSION");
    EXPECT_FALSE(version.empty()) << "QUORLINK_EXPECT_VERSION must name project()'s version";
    return version;
}

// Resource `id` of `type` of the program at `path`, read without running
// it; empty when there is none.
std::string resource(const std::wstring& path, LPCWSTR type, WORD id)
{
    const HMODULE module = LoadLibraryExW(
        path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    std::string bytes;
    if (const HRSRC found = module ? FindResourceW(module, MAKEINTRESOURCEW(id), type) : nullptr)
        bytes.assign(static_cast<const char*>(LockResource(LoadResource(module, found))),
                     SizeofResource(module, found));
    if (module)
        FreeLibrary(module);
    return bytes;
}

// The program's version information as Explorer shows it: under "" the
// file's and the product's version numbers ("1.2.3.4" when they agree),
// under each of `names` its text in the language the information names.
std::map<std::wstring, std::wstring> versionInfo(const std::wstring& path,
                                                 std::initializer_list<const wchar_t*> names)
{
    std::map<std::wstring, std::wstring> found;
    DWORD ignored = 0;
    std::vector<char> data(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    void* value = nullptr;
    UINT size = 0;
    if (data.empty() ||
        !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(data.size()), data.data()) ||
        !VerQueryValueW(data.data(), L"\\", &value, &size) || size < sizeof(VS_FIXEDFILEINFO))
        return found;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    if (fixed->dwFileVersionMS == fixed->dwProductVersionMS &&
        fixed->dwFileVersionLS == fixed->dwProductVersionLS)
        found[L""] = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                     std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
                     std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
                     std::to_wstring(LOWORD(fixed->dwFileVersionLS));
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &size) || size < 4)
        return found;
    const auto* language = static_cast<const WORD*>(value);
    wchar_t block[64];
    swprintf(block, 64, L"\\StringFileInfo\\%04X%04X\\", language[0], language[1]);
    for (const wchar_t* name : names) {
        if (VerQueryValueW(data.data(), (block + std::wstring(name)).c_str(), &value, &size))
            found[name] = static_cast<const wchar_t*>(value);
    }
    return found;
}

TEST(Manifest, shouldDeclarePerMonitorV2DpiCommonControls6NoElevationAndTheVersion)
{
    // Resource 1 of type RT_MANIFEST: the one read when a process starts.
    const std::string text = resource(environment(L"QUORLINK_EXE"), MAKEINTRESOURCEW(24), 1);
    ASSERT_FALSE(text.empty()) << "QUORLINK_EXE must name quorlink.exe, with its manifest";
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>", 0), 0u);
    // Per monitor, version 2 where Windows knows it (the caption and the
    // menu scale too), then version 1, and for older Windows the old form.
    EXPECT_NE(text.find("<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/"
                        "WindowsSettings\">PerMonitorV2, PerMonitor</dpiAwareness>"),
              std::string::npos);
    EXPECT_NE(text.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">"
                        "True/PM</dpiAware>"),
              std::string::npos);
    EXPECT_NE(text.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
    EXPECT_NE(text.find("publicKeyToken=\"6595b64144ccf1df\""), std::string::npos);
    EXPECT_NE(text.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
              std::string::npos);
    const std::wstring version = expectedVersion();
    const std::string identity = "name=\"Brindova.Quorlink\" version=\"" +
                                 std::string(version.begin(), version.end()) + ".0\"";
    EXPECT_NE(text.find(identity), std::string::npos) << identity;
}

TEST(ProgramResources, shouldCarryTheIconAndTheVersionOfProjectInBothPrograms)
{
    const std::wstring version = expectedVersion();
    struct Program
    {
        const wchar_t* variable;
        const wchar_t* fileName;
        const wchar_t* description;
    };
    for (const Program program :
         {Program{L"QUORLINK_EXE", L"quorlink.exe", L"Quorlink"},
          Program{L"QUORLINK_BATCH_EXE", L"quorlink-batch.exe", L"Quorlink command line"}}) {
        SCOPED_TRACE(testing::Message() << program.fileName);
        const std::wstring path = environment(program.variable);

        const std::map<std::wstring, std::wstring> expected = {
            {L"", version + L".0"},
            {L"FileVersion", version},
            {L"ProductVersion", version},
            {L"ProductName", L"Quorlink"},
            {L"CompanyName", L"Brindova"},
            {L"LegalCopyright", L"Copyright (c) 2026 Brindova"},
            {L"FileDescription", program.description},
            {L"OriginalFilename", program.fileName}};
        EXPECT_EQ(
            versionInfo(path, {L"FileVersion", L"ProductVersion", L"ProductName", L"CompanyName",
                               L"LegalCopyright", L"FileDescription", L"OriginalFilename"}),
            expected);

        // The icon group 1, the lowest id, which Explorer shows for the
        // file: every size drawn (a width of 0 is 256 pixels).
        const std::string group = resource(path, MAKEINTRESOURCEW(14), 1); // RT_GROUP_ICON
        ASSERT_GE(group.size(), 6u) << "no icon";
        const auto count = static_cast<unsigned char>(group[4]);
        ASSERT_EQ(group.size(), 6u + 14u * count);
        std::set<int> widths;
        for (unsigned i = 0; i < count; ++i)
            widths.insert(static_cast<unsigned char>(group[6 + 14 * i]));
        EXPECT_EQ(widths, (std::set<int>{0, 16, 24, 32, 48}));
    }
}

} // namespace
