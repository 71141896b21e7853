// Special folders and shortcut files, through Wine's shell and its shell-link object.
#include <gtest/gtest.h>
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <string>

#include "core/setup_state.h"
#include "system/shortcuts.h"
#include "tests/support/test_support.h"

// The shell-link object needs COM on this thread, as the setup program's start-up provides.
class ComEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(NULL))); }
    void TearDown() override { CoUninitialize(); }
};
static ::testing::Environment *const comEnvironment =
    ::testing::AddGlobalTestEnvironment(new ComEnvironment);

// What a shortcut file holds, read back through the shell-link object.
struct LoadedShortcut {
    bool loaded;
    std::string target;
    std::string description;
    std::string workingFolder;
    std::string iconLocation;
    int iconIndex;
};

static LoadedShortcut LoadShortcut(const std::string &path)
{
    LoadedShortcut shortcut = {false, "", "", "", "", -1};
    IShellLinkA *link = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                (void **)&link)))
        return shortcut;
    IPersistFile *file = NULL;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file))) {
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
        if (SUCCEEDED(file->Load(wide, STGM_READ))) {
            shortcut.loaded = true;
            char text[MAX_PATH];
            // Raw path: the stored target, not one the shell resolves or expands.
            if (SUCCEEDED(link->GetPath(text, sizeof text, NULL, SLGP_RAWPATH)))
                shortcut.target = text;
            if (SUCCEEDED(link->GetDescription(text, sizeof text)))
                shortcut.description = text;
            if (SUCCEEDED(link->GetWorkingDirectory(text, sizeof text)))
                shortcut.workingFolder = text;
            if (SUCCEEDED(link->GetIconLocation(text, sizeof text, &shortcut.iconIndex)))
                shortcut.iconLocation = text;
        }
        file->Release();
    }
    link->Release();
    return shortcut;
}

class ShortcutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        startDirectory = CurrentDirectory();
        scratch = MakeScratchFolder("links");
        programFolder = scratch + "\\Program Files\\Vemla";
        CreateDirectoryA((scratch + "\\Program Files").c_str(), NULL);
        CreateDirectoryA(programFolder.c_str(), NULL);
        WriteFileBytes(programFolder + "\\vemla.exe", "MZ");
        WriteFileBytes(programFolder + "\\vemla.hlp", "?_");
    }
    void TearDown() override
    {
        SetCurrentDirectoryA(startDirectory.c_str());
        RemoveTree(scratch);
    }
    void ExpectShortcut(const std::string &path, const std::string &target)
    {
        LoadedShortcut shortcut = LoadShortcut(path);
        ASSERT_TRUE(shortcut.loaded) << path;
        EXPECT_EQ(target, shortcut.target) << "target of " << path;
        EXPECT_EQ("Zandorel", shortcut.description) << "description of " << path;
        EXPECT_EQ(programFolder, shortcut.workingFolder) << "working folder of " << path;
        EXPECT_EQ(target, shortcut.iconLocation) << "icon of " << path;
        EXPECT_EQ(0, shortcut.iconIndex) << "icon index of " << path;
    }
    std::string startDirectory;
    std::string scratch;
    std::string programFolder;
};

TEST_F(ShortcutTest, WrittenShortcutReadsBackWhole)
{
    ASSERT_EQ(932u, GetACP()) << "the help shortcut's name is Japanese";
    static const struct {
        const char *file;
        const char *target;
    } cases[] = {
        {"vemla.lnk", "vemla.exe"},
        {"Vemla ヘルプ.lnk", "vemla.hlp"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        std::string path = scratch + "\\" + c.file;
        std::string target = programFolder + "\\" + c.target;
        EXPECT_EQ(1, CreateShortcut(target.c_str(), path.c_str(), programFolder.c_str()));
        ExpectShortcut(path, target);
    }
}

TEST_F(ShortcutTest, JapaneseNameIsSavedAsItself)
{
    ASSERT_EQ(932u, GetACP()) << "the name is converted from code page 932";
    std::string target = programFolder + "\\vemla.hlp";
    ASSERT_EQ(1, CreateShortcut(target.c_str(), (scratch + "\\Vemla ヘルプ.lnk").c_str(),
                                programFolder.c_str()));

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((scratch + "\\*.lnk").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    EXPECT_STREQ("Vemla ヘルプ.lnk", found.cFileName);
    EXPECT_FALSE(FindNextFileA(search, &found)) << "a second file " << found.cFileName;
    FindClose(search);

    WIN32_FIND_DATAW wideFound;
    std::wstring wideScratch(scratch.begin(), scratch.end());  // the scratch path is ASCII
    search = FindFirstFileW((wideScratch + L"\\*.lnk").c_str(), &wideFound);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    EXPECT_EQ(std::wstring(L"Vemla \u30D8\u30EB\u30D7.lnk"), std::wstring(wideFound.cFileName))
        << "the UTF-16 name on disk";
    FindClose(search);
}

TEST_F(ShortcutTest, ExistingFileIsReplaced)
{
    std::string path = scratch + "\\vemla.lnk";
    std::string help = programFolder + "\\vemla.hlp";
    std::string application = programFolder + "\\vemla.exe";

    WriteFileBytes(path, "not a shortcut");
    EXPECT_EQ(1, CreateShortcut(help.c_str(), path.c_str(), programFolder.c_str()));
    ExpectShortcut(path, help);
    EXPECT_EQ(1, CreateShortcut(application.c_str(), path.c_str(), programFolder.c_str()));
    ExpectShortcut(path, application);
}

TEST_F(ShortcutTest, PathWithoutDriveOrShareIsRefused)
{
    std::string target = programFolder + "\\vemla.exe";
    ASSERT_TRUE(SetCurrentDirectoryA(scratch.c_str()));
    std::string rooted = scratch.substr(2) + "\\rooted.lnk";  // "\users\...\rooted.lnk"
    std::string tooLong = scratch + "\\" + std::string(300, 'l') + ".lnk";
    const std::string paths[] = {"", "\\vemla.lnk", "vemla.lnk", rooted, "C:vemla.lnk", tooLong};
    for (const std::string &path : paths) {
        SCOPED_TRACE(path);
        EXPECT_EQ(0, CreateShortcut(target.c_str(), path.c_str(), programFolder.c_str()));
    }
    EXPECT_FALSE(FileExists(scratch + "\\vemla.lnk"));
    EXPECT_FALSE(FileExists(scratch + "\\rooted.lnk"));
    // A path the shell cannot save to is reported, not passed over.
    EXPECT_EQ(0, CreateShortcut(target.c_str(), (scratch + "\\missing\\vemla.lnk").c_str(),
                                programFolder.c_str()));
}

TEST(GetSpecialFolderPath, UserFoldersResolveToExistingFolders)
{
    static const struct {
        int csidl;
        const char *name;
    } cases[] = {
        {CSIDL_DESKTOPDIRECTORY, "desktop"},
        {CSIDL_SENDTO, "Send To"},
        {CSIDL_PROGRAMS, "Programs"},
    };
    SetupState.sheetWindow = NULL;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        char path[MAX_PATH];
        memset(path, 0x55, sizeof path);
        EXPECT_EQ(1, GetSpecialFolderPath(path, c.csidl));
        EXPECT_TRUE(FolderExists(path)) << path;
        char expected[MAX_PATH] = "";
        ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(NULL, c.csidl, NULL, SHGFP_TYPE_CURRENT, expected)));
        EXPECT_STREQ(expected, path);
    }
}

TEST(GetSpecialFolderPath, UnresolvableFolderLeavesThePathEmpty)
{
    // Printers is a shell folder without a file-system path; 0x7F names no folder at all.
    for (int csidl : {CSIDL_PRINTERS, 0x7F}) {
        SCOPED_TRACE(csidl);
        char path[MAX_PATH];
        memset(path, 0x55, sizeof path);
        EXPECT_EQ(0, GetSpecialFolderPath(path, csidl));
        EXPECT_STREQ("", path);
    }
}
