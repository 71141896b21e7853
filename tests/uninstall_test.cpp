// The uninstallation run: what it removes, what it leaves, where it refuses, what it reports.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <memory>

#include "core/layout.h"
#include "core/uninstall.h"
#include "system/registry_records.h"
#include "tests/support/test_support.h"

static const char Caption[] = "セットアップ";
static const char Question[] = "Vemlaをアンインストールしますか？";
static const char Success[] =
    "アンインストールが成功しました。インストールしたフォルダを手動で削除してください。";
static const char Refused[] = "アンインストール失敗";

class UninstallRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(932u, GetACP()) << "the texts and texture names are code page 932";
        CoInitialize(NULL);
        savedDirectory = CurrentDirectory();
        RemoveInstalledShortcuts();
        // A blank, and a long name so that its short 8.3 spelling differs.
        install = MakeScratchFolder("installed application");
        elsewhere = MakeScratchFolder("elsewhere");
        module.reset(new ScopedSetupModule(install));
        WriteFiles(install);
        WriteFiles(elsewhere);
        WriteFileBytes(elsewhere + "\\setup.exe", "another setup.exe");
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

    // The listed files (the running setup.exe aside), and textures with a read-only file in a
    // subfolder.
    static void WriteFiles(const std::string &folder)
    {
        for (const char *name : RemovalList) {
            if (lstrcmpA(name, "setup.exe") != 0)
                WriteFileBytes(folder + "\\" + name, name);
        }
        CreateDirectoryA((folder + "\\TEXTURE").c_str(), NULL);
        for (const LayoutFile &file : TextureFiles)
            WriteFileBytes(folder + "\\TEXTURE\\" + file.name, file.name);
        CreateDirectoryA((folder + "\\TEXTURE\\sub").c_str(), NULL);
        WriteFileBytes(folder + "\\TEXTURE\\sub\\x.bmp", "x");
        SetFileAttributesA((folder + "\\TEXTURE\\sub\\x.bmp").c_str(), FILE_ATTRIBUTE_READONLY);
    }

    void WriteRecords(const std::string &uninstallString)
    {
        WriteRegistryString(HKEY_CLASSES_ROOT, "Vemla\\shell\\open\\command", "", "x.exe \"%1\"");
        WriteRegistryString(HKEY_CLASSES_ROOT, "Vemla\\DefaultIcon", "", "x.exe,0");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, UninstallKey);
        if (!uninstallString.empty())
            WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString",
                                uninstallString.c_str());
    }

    // Confirms the run and expects it to end with text; declines it when text is null.
    void Uninstall(const char *text)
    {
        ScopedMessageBoxScript boxes({text ? IDYES : IDNO});
        RunUninstallation();
        ASSERT_EQ(text ? 2u : 1u, boxes.seen.size());
        EXPECT_EQ(Question, boxes.seen[0].text);
        for (const SeenMessageBox &box : boxes.seen)
            EXPECT_EQ(Caption, box.caption);
        if (text)
            EXPECT_EQ(text, boxes.seen[1].text);
    }

    void ExpectNothingRemoved()
    {
        for (const std::string &folder : {install, elsewhere}) {
            for (const char *name : RemovalList)
                EXPECT_TRUE(FileExists(folder + "\\" + name)) << folder << "\\" << name;
            EXPECT_TRUE(FileExists(folder + "\\TEXTURE\\" + TextureFiles[0].name)) << folder;
        }
        for (int row = 0; row < ShortcutCount; ++row)
            EXPECT_TRUE(FileExists(InstalledShortcutPath(row))) << InstalledShortcutPath(row);
        EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, "Vemla\\shell\\open\\command"));
    }

    std::string install, elsewhere, savedDirectory;
    std::unique_ptr<ScopedSetupModule> module;
    ScopedRegistryOverride registry;
};

TEST_F(UninstallRun, RemovesTheInstallationAndLeavesItsFolder)
{
    SetFileAttributesA((install + "\\license.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    Uninstall(Success);
    EXPECT_EQ(1, CountFolderEntries(install)) << "only the running setup.exe stays";
    EXPECT_TRUE(FileExists(install + "\\setup.exe"));
    for (int row = 0; row < ShortcutCount; ++row)
        EXPECT_FALSE(FileExists(InstalledShortcutPath(row))) << InstalledShortcutPath(row);
    EXPECT_FALSE(FolderExists(SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla"));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ProgIdKey)) << "with its subkeys";
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey));
    EXPECT_TRUE(FileExists(elsewhere + "\\vemla.exe")) << "a folder with the same names";
    EXPECT_TRUE(FolderExists(elsewhere + "\\TEXTURE"));
}

TEST_F(UninstallRun, AssociationsAreRestoredEmptiedOrKept)
{
    static const struct {
        const char *extension;
        const char *value;     // before
        const char *previous;  // saved before, or null
        const char *expected;  // afterwards
    } cases[] = {
        {".jpg", "Other.Viewer", "Vemla", "Other.Viewer"},  // a stale saved value goes
        {".png", "Vemla", "pngfile", "pngfile"},            // its ProgID is registered
        {".bmp", "Vemla", "Gone.Program", ""},
        // Read after a short value: every query must offer the full size.
        {".dib", "Paint.Picture.With.A.Rather.Long.Name.For.A.ProgID.That.Goes.On", NULL,
         "Paint.Picture.With.A.Rather.Long.Name.For.A.ProgID.That.Goes.On"},
    };
    WriteRegistryString(HKEY_CLASSES_ROOT, "pngfile", "", "PNG Image");
    for (const auto &c : cases) {
        WriteRegistryString(HKEY_CLASSES_ROOT, c.extension, "", c.value);
        WriteRegistryString(HKEY_CLASSES_ROOT, c.extension, "Content Type", "image/x");
        if (c.previous)
            WriteRegistryString(HKEY_CLASSES_ROOT, c.extension, PreviousValueName, c.previous);
    }
    Uninstall(Success);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.extension);
        RegistryValue value = ReadRegistryValue(HKEY_CLASSES_ROOT, c.extension, "");
        EXPECT_EQ(REG_SZ, value.type);
        EXPECT_EQ(std::string(c.expected) + '\0', value.bytes);
        EXPECT_FALSE(ReadRegistryValue(HKEY_CLASSES_ROOT, c.extension, PreviousValueName).found);
        EXPECT_TRUE(ReadRegistryValue(HKEY_CLASSES_ROOT, c.extension, "Content Type").found);
    }
}

TEST_F(UninstallRun, RemovesOnlyWhenConfirmedAndRunFromTheRecordedFolder)
{
    char shortName[MAX_PATH];
    ASSERT_NE(0u, GetShortPathNameA(install.c_str(), shortName, sizeof shortName));
    ASSERT_NE(install, shortName) << "the prefix makes no short names";
    std::string upper = install;
    CharUpperA(&upper[0]);

    const struct {
        const char *kind;
        std::string command;
        const char *result;  // null: declined
    } cases[] = {
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
        if (c.result == Success)
            EXPECT_FALSE(FileExists(install + "\\vemla.exe"));
        else
            ExpectNothingRemoved();
        EXPECT_EQ(c.result != Success && !c.command.empty(),
                  RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey));
    }
}

TEST_F(UninstallRun, FilesHeldOpenAreReportedAndTheRestRemoved)
{
    // Opened without FILE_SHARE_DELETE, as an application still running would hold them.
    HANDLE program = CreateFileA((install + "\\vemla.exe").c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    HANDLE picture = CreateFileA((install + "\\TEXTURE\\" + TextureFiles[3].name).c_str(),
                                 GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, program);
    ASSERT_NE(INVALID_HANDLE_VALUE, picture);
    // A file of the user's keeps the group folder, without being a failure.
    std::string group = SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla";
    WriteFileBytes(group + "\\mine.txt", "mine");

    Uninstall("次の項目を削除できませんでした。\n\nvemla.exe\nTEXTURE\n\n"
              "インストールしたフォルダを手動で削除してください。");
    CloseHandle(program);
    CloseHandle(picture);

    EXPECT_TRUE(FileExists(install + "\\vemla.exe"));
    EXPECT_EQ(3, CountFolderEntries(install)) << "setup.exe, vemla.exe and TEXTURE";
    EXPECT_TRUE(FileExists(group + "\\mine.txt"));
    for (int row = 0; row < ShortcutCount; ++row)
        EXPECT_FALSE(FileExists(InstalledShortcutPath(row))) << InstalledShortcutPath(row);
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ProgIdKey));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey));
}

// A missing "Texture" folder counts as gone: the runs above remove it more than once.
TEST(DeleteFolderTree, OverlongPathIsRefusedNotCut)
{
    EXPECT_EQ(0, DeleteFolderTree(std::string(MAX_PATH, 'a').c_str()));
}
