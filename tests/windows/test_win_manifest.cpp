// The resources of the built programs as Windows finds them: the window's
// manifest, and both programs' icon and version information.  The programs
// are named by QUORLINK_EXE and QUORLINK_BATCH_EXE; QUORLINK_EXPECT_VERSION
// is the version given to project(), read from CMakeLists.txt by the script
// that runs this test.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
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

// A program's resources, without running it.
class Resources
{
public:
    explicit Resources(const std::wstring& path)
        : m_module(LoadLibraryExW(path.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {}
    ~Resources()
    {
        if (m_module)
            FreeLibrary(m_module);
    }
    Resources(const Resources&) = delete;
    Resources& operator=(const Resources&) = delete;

    bool loaded() const { return m_module != nullptr; }
    // The bytes of resource `id` of `type`; empty when there is none.
    std::string bytes(LPCWSTR type, WORD id) const
    {
        const HRSRC found = FindResourceW(m_module, MAKEINTRESOURCEW(id), type);
        if (!found)
            return {};
        const auto* data = static_cast<const char*>(LockResource(LoadResource(m_module, found)));
        return std::string(data, SizeofResource(m_module, found));
    }

private:
    HMODULE m_module;
};

// A program's version information, as Explorer reads it.
class VersionInfo
{
public:
    explicit VersionInfo(const std::wstring& path)
    {
        DWORD ignored = 0;
        m_data.resize(GetFileVersionInfoSizeW(path.c_str(), &ignored));
        if (!m_data.empty() &&
            !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(m_data.size()), m_data.data()))
            m_data.clear();
    }
    bool found() const { return !m_data.empty(); }
    // The version numbers, as "1.2.3.4".
    std::wstring fileVersion() const
    {
        void* value = nullptr;
        UINT size = 0;
        if (!VerQueryValueW(m_data.data(), L"\\", &value, &size) || size < sizeof(VS_FIXEDFILEINFO))
            return {};
        const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
        if (info->dwSignature != VS_FFI_SIGNATURE ||
            info->dwFileVersionMS != info->dwProductVersionMS ||
            info->dwFileVersionLS != info->dwProductVersionLS)
            return L"file and product versions differ";
        return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." +
               std::to_wstring(LOWORD(info->dwFileVersionMS)) + L"." +
               std::to_wstring(HIWORD(info->dwFileVersionLS)) + L"." +
               std::to_wstring(LOWORD(info->dwFileVersionLS));
    }
    // A text, in the language and code page the information itself names
    // first, as Explorer looks it up.
    std::wstring text(const std::wstring& name) const
    {
        void* value = nullptr;
        UINT size = 0;
        if (!VerQueryValueW(m_data.data(), L"\\VarFileInfo\\Translation", &value, &size) ||
            size < 4)
            return L"(no translation)";
        const auto* translation = static_cast<const WORD*>(value);
        wchar_t block[64];
        swprintf(block, 64, L"\\StringFileInfo\\%04X%04X\\", translation[0], translation[1]);
        if (!VerQueryValueW(m_data.data(), (block + name).c_str(), &value, &size) || size == 0)
            return L"(none)";
        return static_cast<const wchar_t*>(value);
    }

private:
    std::vector<char> m_data;
};

TEST(Manifest, shouldDeclarePerMonitorV2DpiCommonControls6NoElevationAndTheVersion)
{
    const Resources window(environment(L"QUORLINK_EXE"));
    ASSERT_TRUE(window.loaded()) << "QUORLINK_EXE must name quorlink.exe";
    // Resource 1 of type RT_MANIFEST: the one read when a process starts.
    const std::string text = window.bytes(MAKEINTRESOURCEW(24), 1);
    ASSERT_FALSE(text.empty());
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

        const VersionInfo info(path);
        ASSERT_TRUE(info.found()) << "no version information";
        EXPECT_EQ(info.fileVersion(), version + L".0");
        EXPECT_EQ(info.text(L"FileVersion"), version);
        EXPECT_EQ(info.text(L"ProductVersion"), version);
        EXPECT_EQ(info.text(L"ProductName"), L"Quorlink");
        EXPECT_EQ(info.text(L"CompanyName"), L"Brindova");
        EXPECT_EQ(info.text(L"LegalCopyright"), L"Copyright (c) 2026 Brindova");
        EXPECT_EQ(info.text(L"FileDescription"), program.description);
        EXPECT_EQ(info.text(L"OriginalFilename"), program.fileName);

        // The icon group 1, the lowest id, which Explorer shows for the
        // file: every size drawn (a width of 0 is 256 pixels).
        const Resources resources(path);
        ASSERT_TRUE(resources.loaded());
        const std::string group = resources.bytes(MAKEINTRESOURCEW(14), 1); // RT_GROUP_ICON
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
