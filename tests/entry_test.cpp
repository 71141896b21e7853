// Mode selection from the command line, and where the program finds its own folder.
#include <gtest/gtest.h>
#include <windows.h>

#include "core/bounded_text.h"
#include "core/entry.h"
#include "core/setup_state.h"

TEST(CommandArgument, ProgramNameAndBlanksAreSkipped)
{
    static const struct {
        const char *commandLine;
        const char *argument;
    } cases[] = {
        {"setup.exe", ""},
        {"setup.exe /u", "/u"},
        {"setup.exe   /u", "/u"},
        {"setup.exe\t\x01\x1f /u", "/u"},
        {"\"C:\\Program Files\\Vemla\\setup.exe\" /u", "/u"},
        {"\"C:\\Program Files\\Vemla\\setup.exe\"/u", "/u"},
        {"\"C:\\a b\\setup.exe\"", ""},
        {"\"unterminated quote /u", ""},
        {"C:\\Program Files\\Vemla\\setup.exe /u", "Files\\Vemla\\setup.exe /u"},
        {"setup.exe /u x", "/u x"},
        {"setup.exe /u ", "/u "},
        {"setup.exe /U", "/U"},
        {"", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.commandLine);
        EXPECT_STREQ(c.argument, GetCommandArgument(c.commandLine));
    }
    EXPECT_STREQ("", GetCommandArgument(NULL));
}

TEST(CommandArgument, OnlyExactSlashUSelectsUninstallMode)
{
    // RunSetup compares with lstrcmpA: exact and case-sensitive.
    static const char *const installArguments[] = {"", "/U", "-u", "/u ", "/u x", "u", "//u"};
    for (const char *argument : installArguments)
        EXPECT_NE(0, lstrcmpA(argument, "/u")) << "argument \"" << argument << "\"";
    EXPECT_EQ(0, lstrcmpA(GetCommandArgument("x.exe /u"), "/u"));
}

struct SplitCase {
    const char *path;
    const char *drive;
    const char *directory;
};

TEST(SplitModulePath, DriveUncAndPlainPaths)
{
    static const SplitCase cases[] = {
        {"D:\\SETUP\\setup.exe", "D:", "\\SETUP\\"},
        {"D:\\setup.exe", "D:", "\\"},
        {"\\\\server\\share\\setup.exe", "", "\\\\server\\share\\"},
        {"C:/a/b/setup.exe", "C:", "/a/b/"},
        {"setup.exe", "", ""},
        {"C:setup.exe", "C:", ""},
        {"", "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        char drive[3];
        char directory[256];
        memset(drive, 0x55, sizeof drive);
        memset(directory, 0x55, sizeof directory);
        EXPECT_EQ(1, SplitModulePath(c.path, drive, directory));
        EXPECT_STREQ(c.drive, drive);
        EXPECT_STREQ(c.directory, directory);
    }
}

TEST(SplitModulePath, ShiftJisTrailByteIsNoSeparator)
{
    ASSERT_EQ(932u, GetACP()) << "these cases need the Japanese ANSI code page";
    char drive[3];
    char directory[256];
    // 表 is 0x95 0x5C: the directory must end at the real separator after it.
    EXPECT_EQ(1, SplitModulePath("C:\\表\\setup.exe", drive, directory));
    EXPECT_STREQ("\\表\\", directory);
    // A file name ending in 表 would otherwise make its trail byte the last separator.
    EXPECT_EQ(1, SplitModulePath("C:\\a\\表", drive, directory));
    EXPECT_STREQ("\\a\\", directory);
    EXPECT_EQ(1, SplitModulePath("C:\\ソフト表示\\x\\s.exe", drive, directory));
    EXPECT_STREQ("\\ソフト表示\\x\\", directory);
}

TEST(SplitModulePath, OverlongDirectoryIsRefusedNotCut)
{
    char path[300];
    char drive[3];
    char directory[256];
    // A UNC folder of 256 bytes: one more than the directory can hold.
    memset(path, 'a', sizeof path);
    path[0] = path[1] = '\\';
    path[255] = '\\';
    lstrcpyA(path + 256, "s.exe");
    memset(directory, 0x55, sizeof directory);
    EXPECT_EQ(0, SplitModulePath(path, drive, directory));
    EXPECT_STREQ("", directory);
    EXPECT_STREQ("", drive);
    // 255 bytes still fit.
    path[254] = '\\';
    path[255] = 'b';
    EXPECT_EQ(1, SplitModulePath(path, drive, directory));
    EXPECT_EQ(255, lstrlenA(directory));
}

TEST(GetSetupFolder, IsTheRunningProgramsFolder)
{
    char name[MAX_PATH];
    ASSERT_NE(0u, GetModuleFileNameA(NULL, name, sizeof name));
    *(strrchr(name, '\\') + 1) = '\0';

    char folder[MAX_PATH];
    memset(folder, 0x55, sizeof folder);
    SetupState.instance = GetModuleHandleA(NULL);
    EXPECT_EQ(1, GetSetupFolder(folder));
    EXPECT_STREQ(name, folder);
    EXPECT_TRUE(EndsWithSeparator(folder)) << folder;
}

TEST(BoundedText, JoinNeverDoublesOrTruncates)
{
    ASSERT_EQ(932u, GetACP());
    static const struct {
        const char *folder, *name, *joined;
    } cases[] = {
        {"C:\\Apps", "vemla.exe", "C:\\Apps\\vemla.exe"},
        {"C:\\Apps\\", "vemla.exe", "C:\\Apps\\vemla.exe"},
        {"C:\\", "vemla.exe", "C:\\vemla.exe"},
        {"C:\\表", "vemla.exe", "C:\\表\\vemla.exe"},  // ends in trail byte 0x5C, not a separator
        {"", "vemla.exe", "vemla.exe"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.folder);
        char out[MAX_PATH];
        EXPECT_EQ(1, JoinPath(out, sizeof out, c.folder, c.name));
        EXPECT_STREQ(c.joined, out);
    }

    char folder[300];
    memset(folder, 'a', sizeof folder);
    folder[250] = '\0';
    char out[MAX_PATH];
    memset(out, 0x55, sizeof out);
    EXPECT_EQ(1, JoinPath(out, sizeof out, folder, "12345678"));  // 250 + 1 + 8 = 259
    EXPECT_EQ(0, JoinPath(out, sizeof out, folder, "123456789"));
    EXPECT_STREQ("", out);

    char small[8] = "abc";
    EXPECT_EQ(0, AppendText(small, sizeof small, "defgh"));
    EXPECT_STREQ("abc", small);
    EXPECT_EQ(1, AppendText(small, sizeof small, "defg"));
    EXPECT_EQ(0, CopyText(small, sizeof small, "12345678"));
    EXPECT_STREQ("", small);
}
