// The application manifest as Windows finds it in the program.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

std::string manifest()
{
    // Resource 1 of type RT_MANIFEST: the one read when a process starts.
    const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    if (found == nullptr)
        return {};
    const HGLOBAL loaded = LoadResource(nullptr, found);
    const auto* data = static_cast<const char*>(LockResource(loaded));
    return std::string(data, SizeofResource(nullptr, found));
}

TEST(Manifest, shouldDeclarePerMonitorV2DpiCommonControls6AndNoElevation)
{
    const std::string text = manifest();
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
}

} // namespace
