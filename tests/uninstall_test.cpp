// The uninstallation run: what it removes, what it leaves, where it refuses, what it reports.
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
static const char LongName[] = "Paint.Picture.With.A.Rather.Long.Name.For.A.ProgID.That.Goes.On";
static const struct {
    const char *extension, *value, *previous, *restored;  // value and saved value before, value after removal
} Associations[] = {
    {".jpg", "Other.Viewer", "Vemla", "Other.Viewer"},  // a stale saved value goes
    {".png", "Vemla", "pngfile", "pngfile"},            // its ProgID is registered
    {".bmp", "Vemla", "Gone.Program", ""},
    {".dib", LongName, NULL, LongName},  // read after a short value: every query offers the full size
};

class UninstallRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(932u, GetACP()) << "the texts and texture names are code page 932";
        CoInitialize(NULL);
        RemoveInstalledShortcuts();
        module.reset(new ScopedSetupModule(install));
        for (const char *name : RemovalList) {
            if (lstrcmpA(name, "setup.exe"))  // the running one
                WriteFileBytes(install + "\\" + name, name);
        }
        // Textures, one of them read-only as copied from a CD-ROM by an earlier setup.
        CreateDirectoryA((install + "\\TEXTURE").c_str(), NULL);
        for (const LayoutFile &file : TextureFiles)
            WriteFileBytes(install + "\\TEXTURE\\" + file.name, file.name);
        SetFileAttributesA((install + "\\TEXTURE\\" + TextureFiles[0].name).c_str(), FILE_ATTRIBUTE_READONLY);
        SetFileAttributesA((install + "\\license.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        WriteFileBytes(elsewhere + "\\setup.exe", "another setup.exe");
        WriteRegistryString(HKEY_CLASSES_ROOT, "pngfile", "", "PNG Image");
        for (const auto &a : Associations) {
            WriteRegistryString(HKEY_CLASSES_ROOT, a.extension, "", a.value);
            WriteRegistryString(HKEY_CLASSES_ROOT, a.extension, "Content Type", "image/x");
            RegSetKeyValueA(HKEY_CLASSES_ROOT, (a.extension + std::string("\\OpenWithProgids")).c_str(), "Vemla", REG_NONE, NULL, 0);
            RegSetKeyValueA(HKEY_CLASSES_ROOT, (a.extension + std::string("\\OpenWithProgids")).c_str(), "Other", REG_NONE, NULL, 0);
            if (a.previous)
                WriteRegistryString(HKEY_CLASSES_ROOT, a.extension, PreviousValueName, a.previous);
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

    void WriteRecords(const std::string &uninstallString)
    {
        WriteRegistryString(HKEY_CLASSES_ROOT, "Vemla\\shell\\open\\command", "", "x.exe \"%1\"");
        WriteRegistryString(HKEY_CLASSES_ROOT, "Vemla\\DefaultIcon", "", "x.exe,0");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, UninstallKey);
        if (!uninstallString.empty())
            WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString", uninstallString.c_str());
    }

    // Confirms the run and expects it to end with text; declines it when text is null.
    void Uninstall(const char *text)
    {
        ScopedMessageBoxScript boxes({text ? IDYES : IDNO});
        RunUninstallation();
        ASSERT_EQ(text ? 2u : 1u, boxes.seen.size());
        EXPECT_EQ("Vemlaをアンインストールしますか？", boxes.seen[0].text);
        if (text)
            EXPECT_EQ(text, boxes.seen[1].text);
        for (const SeenMessageBox &box : boxes.seen)
            EXPECT_EQ("セットアップ", box.caption);
    }

    void ExpectShortcuts(bool exist)
    {
        for (int row = 0; row < ShortcutCount; ++row)
            EXPECT_EQ(exist, FileExists(InstalledShortcutPath(row))) << InstalledShortcutPath(row);
    }

    // A blank, and a long name so that its short 8.3 spelling differs.
    std::string install = MakeScratchFolder("installed application"), elsewhere = MakeScratchFolder("elsewhere");
    std::string savedDirectory = CurrentDirectory();
    std::unique_ptr<ScopedSetupModule> module;
    ScopedRegistryOverride registry;
    HKEY key;
    void ExpectNothingForeignLost(bool linked);
};

TEST_F(UninstallRun, RemovesAllAndRestoresAssociationsOnlyWhenConfirmedAndRunFromTheRecordedFolder)
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
        ExpectShortcuts(!removed);
        EXPECT_EQ(!removed, FolderExists(SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla"));
        EXPECT_EQ(!removed, RegistryKeyExists(HKEY_CLASSES_ROOT, ProgIdKey)) << "with its subkeys";
        EXPECT_EQ(!removed && !c.command.empty(), RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey));
        for (const auto &a : Associations) {
            RegistryValue value = ReadRegistryValue(HKEY_CLASSES_ROOT, a.extension, "");
            EXPECT_TRUE(value.type == REG_SZ && value.bytes == std::string(removed ? a.restored : a.value) + '\0')
                << a.extension << " is \"" << value.bytes << "\"";
            EXPECT_EQ(!removed && a.previous, ReadRegistryValue(HKEY_CLASSES_ROOT, a.extension, PreviousValueName).found)
                << a.extension;
            EXPECT_TRUE(ReadRegistryValue(HKEY_CLASSES_ROOT, a.extension, "Content Type").found) << a.extension;
            std::string offered = a.extension + std::string("\\OpenWithProgids");
            EXPECT_EQ(!removed, ReadRegistryValue(HKEY_CLASSES_ROOT, offered.c_str(), "Vemla").found) << offered;
            EXPECT_TRUE(ReadRegistryValue(HKEY_CLASSES_ROOT, offered.c_str(), "Other").found) << offered;
        }
    }
}

TEST_F(UninstallRun, FilesHeldOpenAreReportedAndTheRestRemoved)
{
    // Opened without FILE_SHARE_DELETE, as an application still running would hold them.
    HANDLE program = CreateFileA((install + "\\vemla.exe").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 NULL, OPEN_EXISTING, 0, NULL);
    HANDLE picture = CreateFileA((install + "\\TEXTURE\\" + TextureFiles[3].name).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_TRUE(program != INVALID_HANDLE_VALUE && picture != INVALID_HANDLE_VALUE);
    // A file of the user's keeps the group folder, without being a failure.
    std::string group = SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla";
    WriteFileBytes(group + "\\mine.txt", "mine");

    Uninstall("次の項目を削除できませんでした。\n\nvemla.exe\nTEXTURE\n\nインストールしたフォルダを手動で削除してください。");
    CloseHandle(program);
    CloseHandle(picture);

    EXPECT_EQ(3, CountFolderEntries(install)) << "setup.exe, vemla.exe and TEXTURE";
    EXPECT_TRUE(FileExists(install + "\\vemla.exe"));
    EXPECT_TRUE(FileExists(group + "\\mine.txt"));
    ExpectShortcuts(false);
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ProgIdKey));
    EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey)) << "kept for another try";
}


// Run as administrator, over folders a user may write: nothing reached through a link, nothing the
// installation did not write, and no other program's subkey stops the run.
void UninstallRun::ExpectNothingForeignLost(bool linked)
{
    std::string group = SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla", target = elsewhere + "\\precious";
    const wchar_t cafe[] = L"Caf\x00e9.Image\x2122";  // not in code page 932
    {
        RegCreateKeyExW(HKEY_CLASSES_ROOT, L"Vemla\\shell\\Caf\x00e9\\command", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
        RegCloseKey(key);
        RegCreateKeyExW(HKEY_CLASSES_ROOT, cafe, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
        RegCloseKey(key);
        RegSetKeyValueW(HKEY_CLASSES_ROOT, L".png", L"VemlaPrevious", REG_EXPAND_SZ, cafe, sizeof cafe);
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

        HANDLE done = CreateEventA(NULL, TRUE, FALSE, NULL);
        HANDLE watchdog = CreateThread(NULL, 0, [](void *event) -> DWORD {
            if (WaitForSingleObject(event, 30000) == WAIT_TIMEOUT) {
                fprintf(stderr, "the uninstallation did not end within 30 s\n");
                TerminateProcess(GetCurrentProcess(), 3);
            }
            return 0;
        }, done, 0, NULL);
        Uninstall(linked ? "次の項目を削除できませんでした。\n\nTEXTURE (リンク)\nVemla (リンク)\n\n"
                           "インストールしたフォルダを手動で削除してください。"
                         : "次の項目を削除できませんでした。\n\nTEXTURE\n\nインストールしたフォルダを手動で削除してください。");
        SetEvent(done);
        WaitForSingleObject(watchdog, INFINITE);
        CloseHandle(watchdog);
        CloseHandle(done);

        for (const std::string &file : kept)
            EXPECT_EQ("mine", ReadFileBytes(file)) << file;
        EXPECT_EQ(linked ? 4 : 1, CountFolderEntries(linked ? target : install + "\\TEXTURE"));
        EXPECT_EQ(linked ? 4 : 1, CountFolderEntries(group)) << "the user's file or the link's target";
        for (int row = 0; row < ShortcutCount; ++row)
            EXPECT_EQ(linked && ShortcutSet[row].group && !lstrcmpA(ShortcutSet[row].file, "Vemla.lnk"),
                      FileExists(InstalledShortcutPath(row))) << "only the link's target's own Vemla.lnk";
        EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ProgIdKey)) << "with a subkey named outside code page 932";
        EXPECT_EQ(linked, RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey)) << "kept while a link of ours stays";
        RegistryValue png = ReadRegistryValueW(HKEY_CLASSES_ROOT, L".png", L"");
        EXPECT_TRUE(png.type == REG_EXPAND_SZ && png.bytes == Bytes(cafe, ARRAYSIZE(cafe))) << "given back exactly";
        if (linked)
            EXPECT_TRUE(FolderLink(group, "") && FolderLink(install + "\\TEXTURE", ""));
    }
}
TEST_F(UninstallRun, KeepsTheUsersOwnFilesBesideOurs) { ExpectNothingForeignLost(false); }
TEST_F(UninstallRun, NeverDeletesThroughLinks) { ExpectNothingForeignLost(true); }
