// The uninstallation run: where it refuses, what it gives back, and what of others it never touches.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <memory>

#include "base/layout.h"
#include "core/uninstall.h"
#include "system/registry_records.h"
#include "tests/support/test_support.h"

static const char Success[] = "アンインストールが成功しました。インストールしたフォルダを手動で削除してください。";
static const char Refused[] = "アンインストール失敗";
static const std::wstring LongName(200, L'P'), Cafe = L"Caf\x00e9.Image\x2122";  // not in code page 932
static const struct {
    const wchar_t *extension;
    std::wstring value, previous;  // before; previous empty: none saved
    DWORD type;                    // of previous, and so of what is given back
    std::wstring restored;
} Associations[] = {
    {L".jpg", L"Other.Viewer", L"Vemla", REG_SZ, L"Other.Viewer"},  // a stale saved value goes
    {L".png", L"Vemla", Cafe, REG_EXPAND_SZ, Cafe},                 // registered: given back exactly
    {L".bmp", L"Vemla", L"Gone.Program", REG_SZ, L""},
    {L".dib", LongName, L"", REG_SZ, LongName},  // read after a short value: every query offers the full size
};

class UninstallRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(932u, GetACP()) << "the texts and texture names are code page 932";
        CoInitialize(NULL);
        RemoveInstalledShortcuts();
        module.reset(new ScopedSetupModule(install));
        for (const char *name : RemovalList)
            if (lstrcmpA(name, "setup.exe"))  // the running one
                WriteFileBytes(install + "\\" + name, name);
        CreateDirectoryA((install + "\\TEXTURE").c_str(), NULL);
        for (const LayoutFile &file : TextureFiles)
            WriteFileBytes(install + "\\TEXTURE\\" + file.name, file.name);
        // Read-only, as an earlier setup copied them from a CD-ROM.
        SetFileAttributesA((install + "\\TEXTURE\\" + TextureFiles[0].name).c_str(), FILE_ATTRIBUTE_READONLY);
        SetFileAttributesA((install + "\\license.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        WriteFileBytes(elsewhere + "\\setup.exe", "another setup.exe");
        RegCreateKeyExW(HKEY_CLASSES_ROOT, Cafe.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
        RegCloseKey(key);
        for (const auto &a : Associations) {
            SetWide(a.extension, L"", REG_SZ, a.value);
            SetWide(a.extension, L"Content Type", REG_SZ, L"image/x");
            if (!a.previous.empty())
                SetWide(a.extension, L"VemlaPrevious", a.type, a.previous);
            for (const wchar_t *program : {L"Vemla", L"Other"})
                RegSetKeyValueW(HKEY_CLASSES_ROOT, (a.extension + std::wstring(L"\\OpenWithProgids")).c_str(), program, REG_NONE, NULL, 0);
        }
        WriteRecords("\"" + install + "\\setup.exe\" /u");
        CreateDirectoryA((SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla").c_str(), NULL);
        for (int row = 0; row < ShortcutCount; ++row)
            WriteFileBytes(InstalledShortcutPath(row), "shortcut");
    }

    void TearDown() override
    {
        module.reset();
        SetCurrentDirectoryA(savedDirectory.c_str());
        RemoveTree(install);
        RemoveTree(elsewhere);
        RemoveInstalledShortcuts();
        CoUninitialize();
    }

    static void SetWide(const wchar_t *key, const wchar_t *name, DWORD type, const std::wstring &text)
    {
        RegSetKeyValueW(HKEY_CLASSES_ROOT, key, name, type, text.c_str(), (DWORD)(text.size() + 1) * 2);
    }

    // The file type with a subkey named outside code page 932, and the uninstall entry.
    void WriteRecords(const std::string &uninstallString)
    {
        RegCreateKeyExW(HKEY_CLASSES_ROOT, L"Vemla\\shell\\Caf\x00e9\\command", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
        RegCloseKey(key);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, UninstallKey);
        if (!uninstallString.empty())
            WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString", uninstallString.c_str());
    }

    // Confirms the run and expects it to end with text, under a watchdog; declines it when text is null.
    void Uninstall(const char *text)
    {
        ScopedMessageBoxScript boxes({text ? IDYES : IDNO});
        HANDLE done = CreateEventA(NULL, TRUE, FALSE, NULL);
        HANDLE watchdog = CreateThread(NULL, 0, [](void *event) -> DWORD {
            if (WaitForSingleObject(event, 30000) == WAIT_TIMEOUT) {
                fprintf(stderr, "the uninstallation did not end within 30 s\n");
                TerminateProcess(GetCurrentProcess(), 3);
            }
            return 0;
        }, done, 0, NULL);
        RunUninstallation();
        SetEvent(done);
        WaitForSingleObject(watchdog, INFINITE);
        CloseHandle(watchdog);
        CloseHandle(done);
        ASSERT_EQ(text ? 2u : 1u, boxes.seen.size());
        EXPECT_EQ("セットアップ: Vemlaをアンインストールしますか？", boxes.seen[0].caption + ": " + boxes.seen[0].text);
        if (text)
            EXPECT_EQ(std::string("セットアップ: ") + text, boxes.seen[1].caption + ": " + boxes.seen[1].text);
    }

    void ExpectNothingForeignLost(bool linked);

    // A blank, and a long name so that its short 8.3 spelling differs.
    std::string install = MakeScratchFolder("installed application"), elsewhere = MakeScratchFolder("elsewhere");
    std::string savedDirectory = CurrentDirectory();
    std::unique_ptr<ScopedSetupModule> module;
    ScopedRegistryOverride registry;
    HKEY key;
};

TEST_F(UninstallRun, RemovesAllAndGivesBackExactlyOnlyWhenConfirmedAndRunFromTheRecordedFolder)
{
    char shortName[MAX_PATH];
    ASSERT_NE(0u, GetShortPathNameA(install.c_str(), shortName, sizeof shortName));
    ASSERT_NE(install, shortName) << "the prefix makes no short names";
    std::string upper = install;
    CharUpperA(&upper[0]);
    const struct { const char *kind; std::string command; const char *result; } cases[] = {  // result null: declined
        {"declined", "\"" + install + "\\setup.exe\" /u", NULL},
        {"no entry", "", Refused},
        {"other folder", "\"" + elsewhere + "\\setup.exe\" /u", Refused},
        {"other folder unquoted", elsewhere + "\\setup.exe /u", Refused},
        {"subfolder", "\"" + install + "\\gone\\setup.exe\" /u", Refused},
        {"unterminated quote", "\"" + install + "\\setup.exe /u", Refused},
        {"no folder", "setup.exe /u", Refused},
        {"quoted", "\"" + install + "\\setup.exe\" /u", Success},
        {"other letter case", "\"" + upper + "\\SETUP.EXE\" /u", Success},
        {"short spelling", "\"" + std::string(shortName) + "\\setup.exe\" /u", Success},
        {"unquoted from an earlier setup", install + "\\setup.exe /u", Success},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.kind);
        WriteFileBytes(install + "\\vemla.exe", "vemla");
        WriteRecords(c.command);
        Uninstall(c.result);
        bool removed = c.result == Success;
        EXPECT_EQ(removed ? 1 : RemovalCount + 1, CountFolderEntries(install)) << "only the running setup.exe stays";
        for (int row = 0; row < ShortcutCount; ++row)
            EXPECT_EQ(!removed, FileExists(InstalledShortcutPath(row))) << InstalledShortcutPath(row);
        EXPECT_EQ(!removed, FolderExists(SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla"));
        EXPECT_EQ(!removed, RegistryKeyExists(HKEY_CLASSES_ROOT, ProgIdKey)) << "with its subkeys";
        EXPECT_EQ(!removed && !c.command.empty(), RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey));
        for (const auto &a : Associations) {
            std::wstring offered = a.extension + std::wstring(L"\\OpenWithProgids");
            RegistryValue value = ReadRegistryValueW(HKEY_CLASSES_ROOT, a.extension, L"");
            bool exact = removed && !a.restored.empty() && a.restored != a.value;
            EXPECT_EQ(std::to_string(exact ? a.type : REG_SZ) + Bytes((removed ? a.restored : a.value) + L'\0'),
                      std::to_string(value.type) + value.bytes) << "the value of " << a.extension;
            EXPECT_EQ(!removed && !a.previous.empty(), ReadRegistryValueW(HKEY_CLASSES_ROOT, a.extension, L"VemlaPrevious").found);
            EXPECT_TRUE(ReadRegistryValueW(HKEY_CLASSES_ROOT, a.extension, L"Content Type").found);
            EXPECT_EQ(!removed, ReadRegistryValueW(HKEY_CLASSES_ROOT, offered.c_str(), L"Vemla").found);
            EXPECT_TRUE(ReadRegistryValueW(HKEY_CLASSES_ROOT, offered.c_str(), L"Other").found);
        }
    }
}

// Run as administrator over folders a user may write: nothing reached through a link, nothing the
// installation did not write.
void UninstallRun::ExpectNothingForeignLost(bool linked)
{
    std::string group = SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla", target = elsewhere + "\\precious";
    std::vector<std::string> kept = {install + "\\TEXTURE\\mine.bmp", group + "\\mine.txt"};
    if (linked) {
        kept = {target + "\\precious.txt", target + "\\deeper\\more.txt", target + "\\Vemla.lnk",
                target + "\\" + TextureFiles[0].name};
        RemoveTree(install + "\\TEXTURE");
        RemoveTree(group);
        CreateDirectoryA(target.c_str(), NULL);
        CreateDirectoryA((target + "\\deeper").c_str(), NULL);
        ASSERT_TRUE(FolderLink(install + "\\TEXTURE", target) && FolderLink(group, target));
    }
    for (const std::string &file : kept)
        WriteFileBytes(file, "mine");

    Uninstall(linked ? "次の項目を削除できませんでした。\n\nTEXTURE (リンク)\nVemla (リンク)\n\n"
                       "インストールしたフォルダを手動で削除してください。"
                     : "次の項目を削除できませんでした。\n\nTEXTURE\n\nインストールしたフォルダを手動で削除してください。");

    for (const std::string &file : kept)
        EXPECT_EQ("mine", ReadFileBytes(file)) << file;
    EXPECT_EQ(linked ? 4 : 1, CountFolderEntries(linked ? target : install + "\\TEXTURE"));
    EXPECT_EQ(linked ? 4 : 1, CountFolderEntries(group)) << "the user's file or the link's target";
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ProgIdKey));
    EXPECT_EQ(linked, RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey)) << "kept while a link of ours stays";
    if (linked)
        EXPECT_TRUE(FolderLink(group, "") && FolderLink(install + "\\TEXTURE", ""));
}
TEST_F(UninstallRun, KeepsTheUsersOwnFilesBesideOurs) { ExpectNothingForeignLost(false); }
TEST_F(UninstallRun, NeverDeletesThroughLinks) { ExpectNothingForeignLost(true); }
