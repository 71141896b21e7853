// The uninstallation run: what it removes, what it leaves, where it refuses, what it reports.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <memory>

#include "core/install.h"
#include "core/layout.h"
#include "core/setup_state.h"
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

        // A long name, so that its short 8.3 spelling differs.
        install = MakeScratchFolder("installed-application-folder");
        elsewhere = MakeScratchFolder("elsewhere");
        module.reset(new ScopedSetupModule(install));
        WriteFiles(install);
        WriteFiles(elsewhere);
        WriteFileBytes(elsewhere + "\\setup.exe", "another setup.exe");
        WriteRecords("\"" + install + "\\setup.exe\" /u");

        for (int row = 0; row < ShortcutCount; ++row) {
            const LayoutShortcut &s = ShortcutSet[row];
            if (s.group)
                CreateDirectoryA((SpecialFolder(s.csidl) + "\\" + s.group).c_str(), NULL);
            WriteFileBytes(ShortcutPath(row), "shortcut");
        }
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

    // The listed files (the running setup.exe aside) and a texture folder with a subfolder
    // and a read-only file.
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
        WriteRegistryString(HKEY_CLASSES_ROOT, "Vemla", "", "Vemla Image");
        WriteRegistryString(HKEY_CLASSES_ROOT, "Vemla\\shell\\open\\command", "", "x.exe \"%1\"");
        WriteRegistryString(HKEY_CLASSES_ROOT, "Vemla\\DefaultIcon", "", "x.exe,0");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, UninstallKey);
        if (!uninstallString.empty()) {
            WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString",
                                uninstallString.c_str());
            WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayName", "Vemla");
        }
    }

    std::string ShortcutPath(int row)
    {
        const LayoutShortcut &s = ShortcutSet[row];
        std::string folder = SpecialFolder(s.csidl);
        if (s.group)
            folder += std::string("\\") + s.group;
        return folder + "\\" + s.file;
    }

    void ExpectNothingRemoved()
    {
        for (const std::string &folder : {install, elsewhere}) {
            for (const char *name : RemovalList)
                EXPECT_TRUE(FileExists(folder + "\\" + name)) << folder << "\\" << name;
            EXPECT_TRUE(FileExists(folder + "\\TEXTURE\\" + TextureFiles[0].name)) << folder;
        }
        for (int row = 0; row < ShortcutCount; ++row)
            EXPECT_TRUE(FileExists(ShortcutPath(row))) << ShortcutPath(row);
        EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, "Vemla\\shell\\open\\command"));
    }

    std::string install, elsewhere, savedDirectory;
    std::unique_ptr<ScopedSetupModule> module;
    ScopedRegistryOverride registry;
};

TEST_F(UninstallRun, DeclinedChangesNothing)
{
    ScopedMessageBoxScript boxes({IDNO});
    RunUninstallation();
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ(Caption, boxes.seen[0].caption);
    EXPECT_EQ(Question, boxes.seen[0].text);
    ExpectNothingRemoved();
    EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey));
}

TEST_F(UninstallRun, RemovesTheInstallationAndLeavesItsFolder)
{
    SetFileAttributesA((install + "\\license.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    ScopedMessageBoxScript boxes({IDYES});
    RunUninstallation();

    ASSERT_EQ(2u, boxes.seen.size());
    EXPECT_EQ(Question, boxes.seen[0].text);
    EXPECT_EQ(Caption, boxes.seen[1].caption);
    EXPECT_EQ(Success, boxes.seen[1].text);

    for (const char *name : RemovalList) {
        if (lstrcmpA(name, "setup.exe") != 0)
            EXPECT_FALSE(FileExists(install + "\\" + name)) << name;
    }
    EXPECT_TRUE(FileExists(install + "\\setup.exe")) << "the running program stays";
    EXPECT_FALSE(FolderExists(install + "\\TEXTURE"));
    EXPECT_TRUE(FolderExists(install));
    for (int row = 0; row < ShortcutCount; ++row)
        EXPECT_FALSE(FileExists(ShortcutPath(row))) << ShortcutPath(row);
    EXPECT_FALSE(FolderExists(SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla"));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ProgIdKey)) << "with its subkeys";
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey));
    // Another folder with files of the same names is not touched.
    EXPECT_TRUE(FileExists(elsewhere + "\\vemla.exe"));
    EXPECT_TRUE(FolderExists(elsewhere + "\\TEXTURE"));
}

TEST_F(UninstallRun, GroupFolderWithFilesOfTheUsersStays)
{
    std::string group = SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla";
    WriteFileBytes(group + "\\mine.txt", "mine");
    ScopedMessageBoxScript boxes({IDYES});
    RunUninstallation();
    ASSERT_EQ(2u, boxes.seen.size());
    EXPECT_EQ(Success, boxes.seen[1].text);
    EXPECT_TRUE(FileExists(group + "\\mine.txt"));
    EXPECT_FALSE(FileExists(ShortcutPath(2)));
    EXPECT_FALSE(FileExists(ShortcutPath(3)));
}

TEST_F(UninstallRun, AssociationsAreRestoredEmptiedOrKept)
{
    struct Extension {
        const char *extension;
        const char *value;     // null: no key
        const char *previous;  // null: nothing saved
        const char *expected;  // the default value afterwards
    };
    static const struct {
        const char *name;
        Extension extensions[4];
    } scenarios[] = {
        {"restored or emptied",
         {{".jpg", "", "stale", ""},  // a short value read first must not shorten later reads
          {".png", "Vemla", "pngfile", "pngfile"},
          {".bmp", "Vemla", "Gone.Program", ""},
          {".dib", "Vemla", NULL, ""}}},
        {"kept",
         {{".jpg", "Other.Viewer", "Vemla", "Other.Viewer"},
          {".png", NULL, NULL, NULL},
          {".bmp", "Vemla", "Vemla", ""},
          {".dib", "Paint.Picture.With.A.Rather.Long.Name.For.A.ProgID.That.Goes.On", NULL,
           "Paint.Picture.With.A.Rather.Long.Name.For.A.ProgID.That.Goes.On"}}},
    };
    WriteRegistryString(HKEY_CLASSES_ROOT, "pngfile", "", "PNG Image");

    for (const auto &scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        WriteRecords("\"" + install + "\\setup.exe\" /u");
        for (const Extension &e : scenario.extensions) {
            RegDeleteTreeA(HKEY_CLASSES_ROOT, e.extension);
            if (!e.value)
                continue;
            WriteRegistryString(HKEY_CLASSES_ROOT, e.extension, "", e.value);
            WriteRegistryString(HKEY_CLASSES_ROOT, e.extension, "Content Type", "image/x");
            if (e.previous)
                WriteRegistryString(HKEY_CLASSES_ROOT, e.extension, PreviousValueName, e.previous);
        }

        ScopedMessageBoxScript boxes({IDYES});
        RunUninstallation();
        ASSERT_EQ(2u, boxes.seen.size());
        EXPECT_EQ(Success, boxes.seen[1].text);

        for (const Extension &e : scenario.extensions) {
            SCOPED_TRACE(e.extension);
            RegistryValue value = ReadRegistryValue(HKEY_CLASSES_ROOT, e.extension, "");
            if (!e.expected) {
                EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, e.extension));
                continue;
            }
            EXPECT_TRUE(value.found);
            EXPECT_EQ(REG_SZ, value.type);
            EXPECT_STREQ(e.expected, value.bytes.c_str());
            EXPECT_FALSE(ReadRegistryValue(HKEY_CLASSES_ROOT, e.extension, PreviousValueName).found);
            EXPECT_TRUE(ReadRegistryValue(HKEY_CLASSES_ROOT, e.extension, "Content Type").found);
        }
    }
}

TEST_F(UninstallRun, OnlyTheRecordedFolderIsRemoved)
{
    char shortName[MAX_PATH];
    ASSERT_NE(0u, GetShortPathNameA(install.c_str(), shortName, sizeof shortName));
    ASSERT_NE(install, shortName) << "the prefix makes no short names";
    std::string upper = install;
    CharUpperA(&upper[0]);

    static const char *const refusedKinds[] = {"no entry", "other folder", "other folder unquoted",
                                               "missing folder", "unterminated quote",
                                               "no folder"};
    const std::string refused[] = {
        "",
        "\"" + elsewhere + "\\setup.exe\" /u",
        elsewhere + "\\setup.exe /u",
        "\"" + install + "\\gone\\setup.exe\" /u",
        "\"" + install + "\\setup.exe /u",
        "setup.exe /u",
    };
    for (int i = 0; i < (int)ARRAYSIZE(refusedKinds); ++i) {
        SCOPED_TRACE(refusedKinds[i]);
        WriteRecords(refused[i]);
        ScopedMessageBoxScript boxes({IDYES});
        RunUninstallation();
        ASSERT_EQ(2u, boxes.seen.size());
        EXPECT_EQ(Caption, boxes.seen[1].caption);
        EXPECT_EQ(Refused, boxes.seen[1].text);
        ExpectNothingRemoved();
    }

    static const char *const acceptedKinds[] = {"quoted", "other letter case", "short spelling",
                                                "unquoted from an earlier setup"};
    const std::string accepted[] = {
        "\"" + install + "\\setup.exe\" /u",
        "\"" + upper + "\\SETUP.EXE\" /u",
        "\"" + std::string(shortName) + "\\setup.exe\" /u",
        install + "\\setup.exe /u",
    };
    for (int i = 0; i < (int)ARRAYSIZE(acceptedKinds); ++i) {
        SCOPED_TRACE(acceptedKinds[i]);
        WriteFileBytes(install + "\\vemla.exe", "vemla");
        WriteRecords(accepted[i]);
        ScopedMessageBoxScript boxes({IDYES});
        RunUninstallation();
        ASSERT_EQ(2u, boxes.seen.size());
        EXPECT_EQ(Success, boxes.seen[1].text);
        EXPECT_FALSE(FileExists(install + "\\vemla.exe"));
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey));
    }
}

TEST_F(UninstallRun, FilesHeldOpenAreReportedAndTheRestRemoved)
{
    // Opened without FILE_SHARE_DELETE, as an application still running would hold them.
    HANDLE program = CreateFileA((install + "\\vemla.exe").c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, program);
    std::string texture = install + "\\TEXTURE\\" + TextureFiles[3].name;
    HANDLE picture = CreateFileA(texture.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                                 OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, picture);

    ScopedMessageBoxScript boxes({IDYES});
    RunUninstallation();
    CloseHandle(program);
    CloseHandle(picture);

    ASSERT_EQ(2u, boxes.seen.size());
    EXPECT_EQ(Caption, boxes.seen[1].caption);
    EXPECT_EQ("次の項目を削除できませんでした。\n\nvemla.exe\nTEXTURE\n\n"
              "インストールしたフォルダを手動で削除してください。",
              boxes.seen[1].text);
    EXPECT_TRUE(FileExists(install + "\\vemla.exe"));
    EXPECT_FALSE(FileExists(install + "\\vemla.ini"));
    EXPECT_FALSE(FileExists(install + "\\_thumb.idx"));
    for (int row = 0; row < ShortcutCount; ++row)
        EXPECT_FALSE(FileExists(ShortcutPath(row))) << ShortcutPath(row);
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ProgIdKey));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey));
}

TEST(DeleteFolderTree, ResultSaysWhetherTheFolderIsGone)
{
    std::string root = MakeScratchFolder("tree");
    std::string tree = root + "\\Texture";
    ASSERT_TRUE(CreateDirectoryA(tree.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA((tree + "\\a").c_str(), NULL));
    WriteFileBytes(tree + "\\a\\b.bmp", "b");
    SetFileAttributesA((tree + "\\a\\b.bmp").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(1, DeleteFolderTree(tree.c_str()));
    EXPECT_FALSE(FolderExists(tree));
    EXPECT_TRUE(FolderExists(root));

    EXPECT_EQ(1, DeleteFolderTree(tree.c_str())) << "a missing folder is gone";

    ASSERT_TRUE(CreateDirectoryA(tree.c_str(), NULL));
    WriteFileBytes(tree + "\\held.bmp", "held");
    HANDLE held = CreateFileA((tree + "\\held.bmp").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(0, DeleteFolderTree(tree.c_str()));
    EXPECT_TRUE(FolderExists(tree));
    CloseHandle(held);

    std::string tooLong(MAX_PATH, 'a');
    EXPECT_EQ(0, DeleteFolderTree(tooLong.c_str()));
    RemoveTree(root);
}

// What the installation writes, the uninstallation finds and removes: its command is parsed
// back, its saved association restored.
TEST(InstallAndUninstall, RoundTripLeavesTheFolderAndTheEarlierAssociation)
{
    ASSERT_EQ(932u, GetACP());
    CoInitialize(NULL);
    std::string savedDirectory = CurrentDirectory();
    RemoveInstalledShortcuts();
    ScopedRegistryOverride registry;
    WriteRegistryString(HKEY_CLASSES_ROOT, "jpegfile", "", "JPEG Image");
    WriteRegistryString(HKEY_CLASSES_ROOT, ".jpg", "", "jpegfile");

    std::string source = MakeScratchFolder("dist");
    std::string install = MakeScratchFolder("target folder");  // a blank, as in Program Files
    ASSERT_TRUE(CreateDirectoryA((source + "\\TEXTURE").c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA((install + "\\TEXTURE").c_str(), NULL));
    for (const LayoutFile &file : ProgramFiles) {
        if (lstrcmpA(file.name, "setup.exe") != 0)
            WriteFileBytes(source + "\\" + file.name, file.name);
    }
    for (const LayoutFile &file : TextureFiles)
        WriteFileBytes(source + "\\TEXTURE\\" + file.name, file.name);

    SetupState.options = InstallOptions{1, 1, 1, 1, 1, 1};
    lstrcpyA(SetupState.installFolder, install.c_str());
    {
        ScopedSetupModule running(source);
        ScopedMessageBoxScript boxes;
        RunInstallation(NULL);
        EXPECT_EQ(0u, boxes.seen.size()) << (boxes.seen.empty() ? "" : boxes.seen[0].text);
    }
    EXPECT_STREQ("Vemla", ReadRegistryValue(HKEY_CLASSES_ROOT, ".jpg", "").bytes.c_str());
    {
        ScopedSetupModule running(install);
        ScopedMessageBoxScript boxes({IDYES});
        RunUninstallation();
        ASSERT_EQ(2u, boxes.seen.size());
        EXPECT_EQ(Success, boxes.seen[1].text);
    }

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((install + "\\*").c_str(), &found);
    std::string left;
    if (search != INVALID_HANDLE_VALUE) {
        do
            left += std::string(found.cFileName) + " ";
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    EXPECT_EQ(". .. setup.exe ", left);
    for (int folder : {CSIDL_DESKTOPDIRECTORY, CSIDL_SENDTO})
        EXPECT_FALSE(FileExists(SpecialFolder(folder) + "\\vemla.lnk")) << folder;
    EXPECT_FALSE(FolderExists(SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla"));
    EXPECT_STREQ("jpegfile", ReadRegistryValue(HKEY_CLASSES_ROOT, ".jpg", "").bytes.c_str());
    for (const char *extension : {".bmp", ".dib", ".png"})
        EXPECT_STREQ("", ReadRegistryValue(HKEY_CLASSES_ROOT, extension, "").bytes.c_str())
            << extension;
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ProgIdKey));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey));

    SetCurrentDirectoryA(savedDirectory.c_str());
    RemoveTree(source);
    RemoveTree(install);
    RemoveInstalledShortcuts();
    SetupState.installFolder[0] = '\0';
    SetupState.options = InstallOptions{};
    CoUninitialize();
}
