// What the shipped setup.exe says it is: its Japanese version strings and manifest, against the one
// version number of the build. (The stand-in's are read back by the installation: see e2e_test.)
#include <gtest/gtest.h>
#include <windows.h>

#include <stdlib.h>

#include <string>

#include "vemla_version.h"

TEST(VersionResource, SetupNamesItsMakerProductAndVersionInJapanese)
{
    const char *root = getenv("VEMLA_BUILD_ROOT");
    ASSERT_TRUE(root && root[0] == '/') << "VEMLA_BUILD_ROOT is not set";
    std::string setup = "Z:" + std::string(root) + "/dist/setup.exe";  // the i686 program as shipped
    DWORD handle = 0, size = GetFileVersionInfoSizeA(setup.c_str(), &handle);
    std::string data(size, '\0');
    ASSERT_TRUE(size && GetFileVersionInfoA(setup.c_str(), 0, size, &data[0])) << setup;
    const struct { const wchar_t *name, *expected; } cases[] = {
        {L"CompanyName", L"Zandorel"}, {L"FileDescription", L"Vemla \x30BB\x30C3\x30C8\x30A2\x30C3\x30D7"},  // セットアップ
        {L"ProductName", L"Vemla"}, {L"FileVersion", L"" VEMLA_VERSION_TEXT}, {L"ProductVersion", L"" VEMLA_VERSION_TEXT}};
    for (const auto &c : cases) {
        wchar_t *value = NULL;
        UINT length = 0;
        std::wstring query = std::wstring(L"\\StringFileInfo\\041104b0\\") + c.name;  // Japanese, UTF-16
        EXPECT_TRUE(VerQueryValueW(&data[0], query.c_str(), (void **)&value, &length) && !lstrcmpW(c.expected, value))
            << "no or another " << std::string(c.name, c.name + lstrlenW(c.name));
    }
    HMODULE module = LoadLibraryExA(setup.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    HRSRC found = module ? FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : NULL;  // RT_MANIFEST
    std::string manifest = found ? std::string((const char *)LockResource(LoadResource(module, found)), SizeofResource(module, found)) : "";
    EXPECT_NE(std::string::npos, manifest.find("version=\"" VEMLA_VERSION_TEXT "\" processorArchitecture")) << manifest;
    if (module)
        FreeLibrary(module);
}
