// What the shipped setup.exe and the stand-in application say they are: their version resources
// and setup.exe's manifest, against the one version number of the build.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "tests/support/test_support.h"
#include "vemla_version.h"

namespace {

std::string Utf8(const wchar_t *text, int length)
{
    std::string out(length * 3 + 1, '\0');
    out.resize(WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], (int)out.size(), NULL, NULL));
    return out;
}

// One thing a file says about itself, as text: "fixed" (file and product version numbers),
// "translation" (language and code page), "manifest" (the assembly identity's version), or a string
// of the Japanese UTF-16 block. Empty when it says nothing.
std::string Describe(const std::string &path, const std::string &what)
{
    if (what == "manifest") {
        HMODULE module = LoadLibraryExA(path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        HRSRC found = module ? FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : NULL;  // RT_MANIFEST
        std::string text = found ? std::string((const char *)LockResource(LoadResource(module, found)),
                                               SizeofResource(module, found)) : "";
        if (module)
            FreeLibrary(module);
        size_t identity = text.find("<assemblyIdentity"), version = text.find(" version=\"", identity);
        return identity == std::string::npos || version == std::string::npos
                   ? "" : text.substr(version + 10, text.find('"', version + 10) - version - 10);
    }
    DWORD handle = 0, size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    std::string data(size, '\0');
    if (!size || !GetFileVersionInfoA(path.c_str(), 0, size, &data[0]))
        return "";
    void *value = NULL;
    UINT length = 0;
    char text[64];
    if (what == "fixed") {
        if (!VerQueryValueW(&data[0], L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO))
            return "";
        const VS_FIXEDFILEINFO *fixed = (const VS_FIXEDFILEINFO *)value;
        snprintf(text, sizeof text, "%u.%u.%u.%u %u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                  HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS), HIWORD(fixed->dwProductVersionMS),
                  LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
        return text;
    }
    if (what == "translation") {
        if (!VerQueryValueW(&data[0], L"\\VarFileInfo\\Translation", &value, &length) || length < 4)
            return "";
        snprintf(text, sizeof text, "%04x %u", ((WORD *)value)[0], ((WORD *)value)[1]);
        return text;
    }
    std::wstring query = L"\\StringFileInfo\\041104b0\\" + std::wstring(what.begin(), what.end());
    if (!VerQueryValueW(&data[0], query.c_str(), &value, &length) || !length)
        return "";
    return Utf8((const wchar_t *)value, lstrlenW((const wchar_t *)value));
}

TEST(VersionResource, SetupAndApplicationNameTheirMakerProductAndVersion)
{
    const char *root = getenv("VEMLA_BUILD_ROOT");
    ASSERT_TRUE(root && root[0] == '/') << "VEMLA_BUILD_ROOT is not set";
    std::string dist = "Z:" + std::string(root) + "/dist/";  // the i686 files as shipped
    const std::string version = VEMLA_VERSION_TEXT;
    const struct { const char *file, *what; std::string expected; } cases[] = {
        {"setup.exe", "CompanyName", "Zandorel"},
        {"setup.exe", "FileDescription", u8"Vemla セットアップ"},
        {"setup.exe", "ProductName", "Vemla"},
        {"setup.exe", "FileVersion", version},
        {"setup.exe", "ProductVersion", version},
        {"setup.exe", "fixed", version + " " + version},
        {"setup.exe", "translation", "0411 1200"},
        {"setup.exe", "manifest", version},
        {"vemla.exe", "CompanyName", "Zandorel"},
        {"vemla.exe", "ProductVersion", version},
        {"vemla.exe", "fixed", version + " " + version},
        {"vemla.exe", "translation", "0411 1200"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.expected, Describe(dist + c.file, c.what)) << c.file << ": " << c.what;
}

}  // namespace
