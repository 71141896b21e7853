// Mode selection from the command line, and where the program finds its own folder.
#include <gtest/gtest.h>
#include <windows.h>

#include "base/bounded_text.h"
#include "app/entry.h"
#include "system/module_path.h"
#include "system/system_library.h"
#include "base/setup_state.h"
#include "tests/support/test_support.h"

TEST(CommandArgument, ProgramNameAndBlanksAreSkipped)
{
    static const struct { const char *commandLine, *argument; } cases[] = {
        {"setup.exe", ""}, {"setup.exe   /u", "/u"}, {"setup.exe\t\x01\x1f /u", "/u"}, {"", ""},
        {"\"C:\\Program Files\\Vemla\\setup.exe\" /u", "/u"},
        {"\"C:\\Program Files\\Vemla\\setup.exe\"/u", "/u"},
        {"\"C:\\a b\\setup.exe\"", ""}, {"\"unterminated quote /u", ""},
        {"C:\\Program Files\\Vemla\\setup.exe /u", "Files\\Vemla\\setup.exe /u"},
        {"setup.exe /u x", "/u x"}, {"setup.exe /u ", "/u "}, {"setup.exe /U", "/U"}, {"setup.exe -u", "-u"},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(c.argument, GetCommandArgument(c.commandLine)) << c.commandLine;
    EXPECT_STREQ("", GetCommandArgument(NULL));
}

// Counts and blocks the creation of the wizard's sheet, the only window made with the instance.
static HINSTANCE sheetInstance;
static int sheetsBlocked;

static LRESULT CALLBACK BlockSheet(int code, WPARAM wparam, LPARAM lparam)
{
    if (code == HCBT_CREATEWND && ((CBT_CREATEWNDA *)lparam)->lpcs->hInstance == sheetInstance) {
        ++sheetsBlocked;
        return 1;
    }
    return CallNextHookEx(NULL, code, wparam, lparam);
}

TEST(RunSetup, OnlyExactSlashUUninstallsAndTheExitCodeIsZero)
{
    ASSERT_EQ(932u, GetACP()) << "the confirmation is code page 932";
    std::string folder = MakeScratchFolder("entry");
    {
        ScopedSetupModule setup(folder);  // the wizard's templates
        sheetInstance = setup.module;
        HHOOK hook = SetWindowsHookExA(WH_CBT, BlockSheet, NULL, GetCurrentThreadId());
        // busy: another setup.exe runs, which neither mode may disturb.
        static const struct { const char *argument; bool uninstall, busy; } cases[] = {
            {"/u", true}, {"", false}, {"/U", false}, {"-u", false}, {"/u ", false}, {"/u x", false},
            {"/u", true, true}, {"", false, true}};
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(c.argument) + (c.busy ? ", busy" : ""));
            sheetsBlocked = 0;
            HANDLE other = c.busy ? CreateMutexA(NULL, TRUE, "Global\\VemlaSetup") : NULL;
            ScopedMessageBoxScript boxes({IDNO});  // declines an uninstallation
            EXPECT_EQ(0, RunSetup(setup.module, c.argument));
            CloseHandle(other);
            EXPECT_EQ(c.uninstall || c.busy ? 0 : 1, sheetsBlocked) << "wizard sheets";
            ASSERT_EQ(c.uninstall || c.busy ? 1u : 0u, boxes.seen.size());
            if (!boxes.seen.empty())
                EXPECT_EQ(c.busy ? "セットアップ: Vemlaのセットアップは既に実行中です。" : "セットアップ: Vemlaをアンインストールしますか？",
                          boxes.seen[0].caption + ": " + boxes.seen[0].text);
        }
        UnhookWindowsHookEx(hook);
    }
    RemoveTree(folder);
}

// Only the system folder's copy is loaded, never one of the same name in the current folder; a path
// that does not fit is refused.
TEST(LoadSystemLibrary, LoadsFromTheSystemFolderOnly)
{
    char system[MAX_PATH], program[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryA(system, sizeof system));
    ASSERT_NE(0u, GetModuleFileNameA(NULL, program, sizeof program));
    lstrcpyA(strrchr(program, '\\') + 1, "planted_comctl32.dll");
    std::string folder = MakeScratchFolder("library"), previous = CurrentDirectory();
    ASSERT_TRUE(CopyFileA(program, (folder + "\\vemla_planted.dll").c_str(), FALSE)) << program;
    SetCurrentDirectoryA(folder.c_str());
    std::string tooLong(MAX_PATH - lstrlenA(system) - 1, 'a');  // the path would need MAX_PATH + 1 bytes
    const struct { std::string name; bool loaded; } cases[] = {
        {"comctl32.dll", true}, {"version.dll", true}, {"vemla_planted.dll", false}, {"no_such.dll", false},
        {tooLong, false}};
    for (const auto &c : cases) {
        HMODULE module = (HMODULE)&module;
        char path[MAX_PATH] = "";
        EXPECT_EQ(c.loaded ? 1 : 0, LoadSystemLibrary(c.name.c_str(), &module)) << c.name;
        EXPECT_EQ(c.loaded, module != NULL) << c.name;
        if (module && GetModuleFileNameA(module, path, sizeof path))
            EXPECT_EQ(0, lstrcmpiA((std::string(system) + "\\" + c.name).c_str(), path)) << path;
        if (module)
            FreeLibrary(module);
    }
    SetCurrentDirectoryA(previous.c_str());
    RemoveTree(folder);
}

TEST(SplitModulePath, DriveUncAndShiftJisFoldersAreSplitAtTheirLastSeparator)
{
    ASSERT_EQ(932u, GetACP()) << "表 (95 5C) is a code page 932 character";
    static const struct { const char *path, *drive, *directory; } cases[] = {
        {"D:\\SETUP\\setup.exe", "D:", "\\SETUP\\"}, {"D:\\setup.exe", "D:", "\\"},
        {"\\\\server\\share\\setup.exe", "", "\\\\server\\share\\"}, {"C:/a/b/setup.exe", "C:", "/a/b/"},
        {"setup.exe", "", ""}, {"C:setup.exe", "C:", ""}, {"", "", ""},
        {"C:\\表\\setup.exe", "C:", "\\表\\"},
        {"C:\\a\\表", "C:", "\\a\\"},  // the trail byte of a file name is no separator
        {"C:\\ソフト表示\\x\\s.exe", "C:", "\\ソフト表示\\x\\"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        char drive[3], directory[256];
        memset(drive, 0x55, sizeof drive);
        memset(directory, 0x55, sizeof directory);
        EXPECT_EQ(1, SplitModulePath(c.path, drive, directory));
        EXPECT_STREQ(c.drive, drive);
        EXPECT_STREQ(c.directory, directory);
    }
    // A UNC folder of 256 bytes is one more than the directory holds: refused, both outputs empty. 255 fit.
    std::string path = "\\\\" + std::string(253, 'a') + "\\s.exe";
    char drive[3] = "C:", directory[256] = "x";
    EXPECT_TRUE(!SplitModulePath(path.c_str(), drive, directory) && !drive[0] && !directory[0]) << directory;
    path.erase(2, 1);
    EXPECT_TRUE(SplitModulePath(path.c_str(), drive, directory) && lstrlenA(directory) == 255) << directory;
}

TEST(GetSetupFolder, IsTheRunningProgramsFolder)
{
    char name[MAX_PATH], folder[MAX_PATH];
    ASSERT_NE(0u, GetModuleFileNameA(NULL, name, sizeof name));
    *(strrchr(name, '\\') + 1) = '\0';
    memset(folder, 0x55, sizeof folder);
    SetupState.instance = GetModuleHandleA(NULL);
    EXPECT_EQ(1, GetSetupFolder(folder));
    EXPECT_STREQ(name, folder);
}

TEST(BoundedText, JoinNeverDoublesOrTruncates)
{
    ASSERT_EQ(932u, GetACP());
    static const struct { const char *folder, *joined; } cases[] = {
        {"C:\\Apps", "C:\\Apps\\vemla.exe"}, {"C:\\Apps\\", "C:\\Apps\\vemla.exe"}, {"C:\\", "C:\\vemla.exe"},
        {"C:\\表", "C:\\表\\vemla.exe"}, {"", "vemla.exe"},  // 表 ends in 0x5C, a trail byte, not a separator
    };
    char out[MAX_PATH];
    for (const auto &c : cases) {
        EXPECT_EQ(1, JoinPath(out, sizeof out, c.folder, "vemla.exe")) << c.folder;
        EXPECT_STREQ(c.joined, out);
    }
    std::string folder(250, 'a');
    EXPECT_EQ(1, JoinPath(out, sizeof out, folder.c_str(), "12345678"));  // 250 + 1 + 8 = 259
    EXPECT_EQ(0, JoinPath(out, sizeof out, folder.c_str(), "123456789"));
    EXPECT_STREQ("", out);

    char small[8] = "abc";
    EXPECT_EQ(0, AppendText(small, sizeof small, "defgh"));
    EXPECT_STREQ("abc", small);
    EXPECT_EQ(1, AppendText(small, sizeof small, "defg"));
    EXPECT_EQ(0, CopyText(small, sizeof small, "12345678"));
    EXPECT_STREQ("", small);
}
