// Special folders and shortcut files, through Wine's shell and its shell-link object.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "base/setup_state.h"
#include "system/shortcuts.h"
#include "tests/support/test_support.h"

class CreateShortcutTest : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(NULL); }  // as the setup program's start-up does
    void TearDown() override
    {
        SetCurrentDirectoryA(saved.c_str());
        RemoveTree(scratch);
        CoUninitialize();
    }
    std::string saved = CurrentDirectory(), scratch = MakeScratchFolder("links");
};

TEST_F(CreateShortcutTest, WrittenShortcutsReadBackWholeUnderTheirOwnNames)
{
    ASSERT_EQ(932u, GetACP()) << "the help shortcut's name is converted from code page 932";
    std::string program = scratch + "\\Program Files";
    ASSERT_TRUE(CreateDirectoryA(program.c_str(), NULL));
    WriteFileBytes(scratch + "\\vemla.lnk", "not a shortcut");
    static const struct { const char *file, *target; } cases[] = {
        {"vemla.lnk", "vemla.hlp"},  // replaces the file in the way
        {"vemla.lnk", "vemla.exe"},  // replaces a shortcut
        {"Vemla ヘルプ.lnk", "vemla.hlp"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        std::string path = scratch + "\\" + c.file, target = program + "\\" + c.target;
        WriteFileBytes(target, "MZ");
        EXPECT_EQ(1, CreateShortcut(target.c_str(), path.c_str(), program.c_str()));
        ShortcutContents shortcut = ReadShortcut(path);
        ASSERT_TRUE(shortcut.loaded);
        EXPECT_EQ(target, shortcut.target);
        EXPECT_EQ("Zandorel", shortcut.description);
        EXPECT_EQ(program, shortcut.workingFolder);
        EXPECT_EQ(target, shortcut.iconLocation);
        EXPECT_EQ(0, shortcut.iconIndex);
    }
    std::wstring wide(scratch.begin(), scratch.end());  // the scratch path is ASCII
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((wide + L"\\Vemla \u30D8\u30EB\u30D7.lnk").c_str()))
        << "the UTF-16 name on disk";
    EXPECT_EQ(3, CountFolderEntries(scratch)) << "two shortcuts and Program Files";
}

TEST_F(CreateShortcutTest, PathWithoutDriveOrShareOrThatCannotBeSavedIsRefused)
{
    std::string target = scratch + "\\vemla.exe";
    ASSERT_TRUE(SetCurrentDirectoryA(scratch.c_str()));
    for (const std::string &path : {std::string(), std::string("\\vemla.lnk"), std::string("vemla.lnk"),
                                    scratch + "\\" + std::string(300, 'l') + ".lnk", scratch + "\\missing\\vemla.lnk"})
        EXPECT_EQ(0, CreateShortcut(target.c_str(), path.c_str(), scratch.c_str())) << path;
    EXPECT_EQ(0, CountFolderEntries(scratch));
}

TEST(GetSpecialFolderPath, UserFoldersResolveAndOthersLeaveThePathEmpty)
{
    static const struct { int csidl, result; } cases[] = {
        {CSIDL_DESKTOPDIRECTORY, 1}, {CSIDL_SENDTO, 1}, {CSIDL_PROGRAMS, 1},
        {CSIDL_PRINTERS, 0},  // a shell folder without a file-system path
        {0x7F, 0},            // no folder at all
    };
    SetupState.sheetWindow = NULL;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.csidl);
        char path[MAX_PATH];
        memset(path, 0x55, sizeof path);
        EXPECT_EQ(c.result, GetSpecialFolderPath(path, c.csidl));
        EXPECT_EQ(c.result ? SpecialFolder(c.csidl) : "", path);
        EXPECT_EQ(c.result == 1, FolderExists(path)) << path;
    }
}
