// The rules under the runs: the command line, the program's folder, bounded paths, folder creation,
// the records' values, the earlier association kept, the system folders and shortcut paths.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <stdlib.h>

#include <algorithm>
#include <string>

#include "app/entry.h"
#include "base/bounded_text.h"
#include "base/setup_state.h"
#include "system/folder_path.h"
#include "system/module_path.h"
#include "system/registry_records.h"
#include "system/shortcuts.h"
#include "system/system_library.h"
#include "tests/support/fault_injection.h"
#include "tests/support/test_support.h"

TEST(CommandArgument, ProgramNameAndBlanksAreSkipped)
{
    static const struct { const char *commandLine, *argument; } cases[] = {
        {"setup.exe", ""}, {"setup.exe   /u", "/u"}, {"setup.exe\t\x01\x1f /u", "/u"}, {"", ""},
        {"\"C:\\Program Files\\Vemla\\setup.exe\" /u", "/u"}, {"\"C:\\Program Files\\Vemla\\setup.exe\"/u", "/u"},
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

TEST(RunSetup, OnlyExactSlashUUninstallsOneSetupAtATimeAndTheExitCodeIsZero)
{
    ASSERT_EQ(932u, GetACP()) << "the confirmation is code page 932";
    const int mutex = Faults::FunctionNamed("CreateMutexA");
    ASSERT_GE(mutex, 0) << "not in the fault table";
    std::string folder = MakeScratchFolder("entry");
    {
        ScopedSetupModule setup(folder);  // the wizard's templates
        sheetInstance = setup.module;
        HHOOK hook = SetWindowsHookExA(WH_CBT, BlockSheet, NULL, GetCurrentThreadId());
        // busy: another setup.exe runs, which neither mode may disturb: 1 ours, 2 another user's
        // (its mutex cannot be opened).
        static const struct { const char *argument; bool uninstall; int busy; } cases[] = {
            {"/u", true}, {"", false}, {"/U", false}, {"-u", false}, {"/u ", false}, {"/u x", false},
            {"/u", true, 1}, {"", false, 1}, {"", false, 2}};
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(c.argument) + ", busy " + std::to_string(c.busy));
            sheetsBlocked = 0;
            HANDLE other = c.busy == 1 ? CreateMutexA(NULL, TRUE, "Global\\VemlaSetup") : NULL;
            ScopedMessageBoxScript boxes({IDNO});  // declines an uninstallation
            Faults::Arm(c.busy == 2 ? mutex : -1, 1);
            EXPECT_EQ(0, RunSetup(setup.module, c.argument));
            Faults::Disarm();
            CloseHandle(other);
            EXPECT_EQ(c.uninstall || c.busy ? 0 : 1, sheetsBlocked) << "wizard sheets";
            std::string seen = boxes.seen.empty() ? "" : boxes.seen[0].caption + ": " + boxes.seen[0].text;
            EXPECT_EQ(c.busy ? "セットアップ: Vemlaのセットアップは既に実行中です。"
                      : c.uninstall ? "セットアップ: Vemlaをアンインストールしますか？" : "", seen);
        }
        UnhookWindowsHookEx(hook);
    }
    RemoveTree(folder);
}

// Only the system folder's copy is loaded, never one of the same name in the current folder; a path
// that does not fit is refused.
TEST(LoadSystemLibrary, LoadsFromTheSystemFolderOnly)
{
    char system[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryA(system, sizeof system));
    std::string folder = MakeScratchFolder("library"), previous = CurrentDirectory();
    ASSERT_TRUE(CopyFileA((std::string(system) + "\\version.dll").c_str(), (folder + "\\vemla_planted.dll").c_str(), FALSE));
    SetCurrentDirectoryA(folder.c_str());
    std::string tooLong(MAX_PATH - lstrlenA(system) - 1, 'a');  // the path would need MAX_PATH + 1 bytes
    const struct { std::string name; bool loaded; } cases[] = {
        {"comctl32.dll", true}, {"version.dll", true}, {"vemla_planted.dll", false}, {"no_such.dll", false}, {tooLong, false}};
    for (const auto &c : cases) {
        HMODULE module = (HMODULE)&module;
        char path[MAX_PATH] = "";
        EXPECT_EQ(c.loaded ? 1 : 0, LoadSystemLibrary(c.name.c_str(), &module)) << c.name;
        EXPECT_EQ(c.loaded, module && GetModuleFileNameA(module, path, sizeof path) &&
                                !lstrcmpiA((std::string(system) + "\\" + c.name).c_str(), path)) << path;
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
        {"setup.exe", "", ""}, {"C:setup.exe", "C:", ""}, {"", "", ""}, {"C:\\表\\setup.exe", "C:", "\\表\\"},
        {"C:\\a\\表", "C:", "\\a\\"},  // the trail byte of a file name is no separator
        {"C:\\ソフト表示\\x\\s.exe", "C:", "\\ソフト表示\\x\\"},
    };
    char drive[3], directory[256];
    for (const auto &c : cases) {
        memset(directory, 0x55, sizeof directory);
        EXPECT_EQ(1, SplitModulePath(c.path, drive, directory));
        EXPECT_EQ(std::string(c.drive) + "|" + c.directory, std::string(drive) + "|" + directory) << c.path;
    }
    // A UNC folder of 256 bytes is one more than the directory holds: refused, both outputs empty. 255 fit.
    std::string path = "\\\\" + std::string(253, 'a') + "\\s.exe";
    EXPECT_TRUE(!SplitModulePath(path.c_str(), drive, directory) && !drive[0] && !directory[0]) << directory;
    path.erase(2, 1);
    EXPECT_TRUE(SplitModulePath(path.c_str(), drive, directory) && lstrlenA(directory) == 255) << directory;
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
    EXPECT_EQ(0, JoinPath(out, sizeof out, std::string(MAX_PATH, 'f').c_str(), "x")) << "the folder alone does not fit";
    // 8 bytes of a buffer of 12, the rest a sentinel: what does not fit leaves the buffer as it was, or empty.
    const struct { const char *before, *text; bool copy; int result; const char *after; } edits[] = {
        {"abc", "defgh", false, 0, "abc"}, {"abc", "defg", false, 1, "abcdefg"},
        {"abc", "1234567", true, 1, "1234567"}, {"abc", "12345678", true, 0, ""}};
    for (const auto &e : edits) {
        char buffer[12];
        memset(buffer, 'x', sizeof buffer);
        lstrcpyA(buffer, e.before);
        EXPECT_EQ(e.result, e.copy ? CopyText(buffer, 8, e.text) : AppendText(buffer, 8, e.text)) << e.text;
        EXPECT_EQ(std::string(e.after) + "|xxxx", std::string(buffer) + "|" + std::string(buffer + 8, 4)) << e.text;
    }
}

TEST(NormalizeSeparators, OnlyRealSeparatorsBecomeSlashes)
{
    static const struct { const char *input, *normalized; } cases[] = {
        {"\\\\server\\share\\a/b", "//server/share/a/b"}, {"C:\\表\\示", "C:/表/示"},  // 表 is 95 5C
        // Lead bytes are the fixed ranges 80-9F and E0-FF, whatever the code page.
        {"\x80\\\x9F\\\xE0\\\xFF\\\\", "\x80\\\x9F\\\xE0\\\xFF\\/"}, {"\x7F\\\xA0\\\xDF\\", "\x7F/\xA0/\xDF/"},
    };
    for (const auto &c : cases) {
        char buffer[64];
        NormalizeSeparators(lstrcpyA(buffer, c.input));
        EXPECT_STREQ(c.normalized, buffer) << c.input;
    }
    char buffer[] = "a\\\x81\0\\";  // a lead byte right before the terminator takes nothing after it
    NormalizeSeparators(buffer);
    EXPECT_EQ(std::string("a/\x81\0\\", 5), std::string(buffer, 5));
}

// Through the current directory, against Wine's real file system; Wine serves \\host\share from the
// prefix's dosdevices\unc\host\share folder.
TEST(CreateFolderPath, CreatesWhatIsMissingAndEndsInTheLastFolderEntered)
{
    ASSERT_EQ(932u, GetACP()) << "表 is a code page 932 character";
    const char *prefix = getenv("WINEPREFIX");
    ASSERT_TRUE(prefix && prefix[0] == '/') << "needs Wine's prefix to serve a network share";
    std::string start = CurrentDirectory(), scratch = MakeScratchFolder("folder"), unc = std::string("Z:") + prefix + "/dosdevices/unc";
    std::string host = "vemlahost" + std::to_string(GetCurrentProcessId()), share = "\\\\" + host + "\\share";
    std::replace(unc.begin(), unc.end(), '/', '\\');
    ASSERT_EQ(ERROR_SUCCESS, SHCreateDirectoryExA(NULL, (unc + "\\" + host + "\\share").c_str(), NULL));
    WriteFileBytes(scratch + "\\blocker", "a file");
    // Doubled separators keep the folder short while the text reaches the limit.
    std::string fits = scratch + std::string(258 - scratch.size(), '\\') + "x";
    std::string tooLong = scratch + std::string(259 - scratch.size(), '\\') + "y";
    const struct { std::string path; int result; std::string last; } cases[] = {  // last: the current directory after
        {scratch, 1, scratch}, {scratch + "\\a\\b\\c", 1, scratch + "\\a\\b\\c"}, {scratch + "\\a\\b2", 1, scratch + "\\a\\b2"},
        {scratch + "\\new\\", 1, scratch + "\\new"}, {scratch + "\\new2\\\\x", 1, scratch + "\\new2\\x"},
        {scratch + "/s1//s2", 1, scratch + "\\s1\\s2"},
        {scratch + "\\表示\\表", 1, scratch + "\\表示\\表"},  // trail byte 5C, also before a separator
        {"r1\\r2", 1, scratch + "\\r1\\r2"}, {scratch.substr(2) + "\\top\\in", 1, scratch + "\\top\\in"},  // from the drive's root
        {fits, 1, scratch + "\\x"}, {scratch + "\\blocker\\z", 0, scratch},
        {scratch + "\\m1\\m2\\bad|name\\z", 0, scratch + "\\m1\\m2"},  // earlier folders stay
        {tooLong, 0, scratch}, {"", 0, scratch}, {"\\\\server\\", 0, scratch},
        {share + "\\x\\\\y\\", 1, share + "\\x\\y"},  // a share is entered whole, never created
        {"\\\\" + host + "\\other\\x", 0, scratch},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(SetCurrentDirectoryA(scratch.c_str()));
        EXPECT_EQ(c.result, CreateFolderPath(c.path.c_str())) << c.path;
        EXPECT_EQ(c.last, CurrentDirectory()) << c.path;
    }
    EXPECT_EQ(10, CountFolderEntries(scratch)) << "a new new2 s1 表示 r1 top x blocker m1";
    EXPECT_EQ(1, CountFolderEntries(scratch + "\\表示")) << "split at the trail byte";
    std::wstring wide(scratch.begin(), scratch.end());  // the scratch path is ASCII
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((wide + L"\\\u8868\u793A\\\u8868").c_str())) << "not so in UTF-16";
    EXPECT_EQ(1, CountFolderEntries(unc + "\\" + host)) << "a share was created";
    SetCurrentDirectoryA(start.c_str());
    RemoveTree(scratch);
    RemoveTree(unc + "\\" + host);
}

// The records of an installation into a folder: joined with one separator, quoted, bounded.
TEST(RegistryRecords, CommandsAreQuotedForAnyFolderOrNotWrittenWhenTheyDoNotFit)
{
    ASSERT_EQ(932u, GetACP()) << "one folder is Japanese";
    ScopedRegistryOverride registry;
    // The open command is the folder and 17 bytes, the uninstall command the folder and 15: 259 fit.
    static const struct { std::string folder, joined; int fileType, entry; } cases[] = {
        {"C:\\Program Files\\Vemla", "C:\\Program Files\\Vemla\\", 1, 1}, {"C:\\My Apps\\", "C:\\My Apps\\", 1, 1},
        {"C:\\", "C:\\", 1, 1}, {"D:\\ソフト 表", "D:\\ソフト 表\\", 1, 1},  // ends in 5C
        {"C:\\" + std::string(239, 'f'), "", 1, 1}, {"C:\\" + std::string(240, 'f'), "", 0, 1},
        {"C:\\" + std::string(241, 'f'), "", 0, 1}, {"C:\\" + std::string(242, 'f'), "", 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.folder);
        lstrcpyA(SetupState.installFolder, c.folder.c_str());
        RegDeleteTreeA(registry.classesRoot, NULL);
        RegDeleteTreeA(registry.localMachine, NULL);
        EXPECT_EQ(c.fileType, RegisterFileType(".bmp"));
        EXPECT_EQ(c.entry, RegisterUninstallEntry());
        std::string joined = c.joined.empty() ? c.folder + "\\" : c.joined;
        EXPECT_EQ(c.fileType ? "Vemla Image|\"" + joined + "vemla.exe\" \"%1\"|Vemla" : "(none)|(none)|(none)",
                  RegistryText(HKEY_CLASSES_ROOT, "Vemla", "") + "|" + RegistryText(HKEY_CLASSES_ROOT, "Vemla\\shell\\open\\command", "") +
                      "|" + RegistryText(HKEY_CLASSES_ROOT, ".bmp", ""));
        EXPECT_EQ(c.entry ? "\"" + joined + "setup.exe\" /u|Vemla|" + c.folder + "|" + joined + "vemla.exe,0" : "(none)|(none)|(none)|(none)",
                  RegistryText(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString") + "|" + RegistryText(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayName") +
                      "|" + RegistryText(HKEY_LOCAL_MACHINE, UninstallKey, "InstallLocation") + "|" + RegistryText(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayIcon"));
    }
    // A value that is no string, or does not fit, reads as empty: -1 tells the latter.
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, UninstallKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL));
    RegSetValueExA(key, "Binary", 0, REG_BINARY, (const BYTE *)"abc", 4);
    RegSetValueExA(key, "Long", 0, REG_SZ, (const BYTE *)"12345678", 9);
    for (const auto &read : {std::make_pair("Binary", 0), std::make_pair("Long", -1), std::make_pair("Missing", 0)}) {
        char text[8];
        memset(text, 'x', sizeof text);
        EXPECT_EQ(read.second, ReadStringValue(key, read.first, text, sizeof text)) << read.first;
        EXPECT_EQ('\0', text[0]) << read.first;
    }
    RegCloseKey(key);
    // The date, the flags; the size is of the files there, rounded up to whole KB: 1,025 + 1 bytes are 2 KB.
    std::string folder = MakeScratchFolder("sized");
    CreateDirectoryA((folder + "\\TEXTURE").c_str(), NULL);
    WriteFileBytes(folder + "\\vemla.exe", std::string(1025, 'x'));
    WriteFileBytes(folder + "\\TEXTURE\\" + std::string("キャンバス.BMP"), "x");
    lstrcpyA(SetupState.installFolder, folder.c_str());
    EXPECT_EQ(1, RegisterUninstallEntry());
    SYSTEMTIME today;
    GetLocalTime(&today);
    char date[16];
    snprintf(date, sizeof date, "%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    EXPECT_EQ(date, RegistryText(HKEY_LOCAL_MACHINE, UninstallKey, "InstallDate"));
    for (const auto &value : {std::make_pair("EstimatedSize", 2), std::make_pair("NoModify", 1), std::make_pair("NoRepair", 1)})
        EXPECT_EQ(std::to_string(REG_DWORD) + std::string(1, (char)value.second) + std::string(3, '\0'),
                  std::to_string(ReadRegistryValue(HKEY_LOCAL_MACHINE, UninstallKey, value.first).type) +
                      ReadRegistryValue(HKEY_LOCAL_MACHINE, UninstallKey, value.first).bytes) << value.first;
    RemoveTree(folder);
}

TEST(RegistryRecords, EarlierAssociationIsSavedExactlyOnceNeverAsOursAndTheKeyKeptWhole)
{
    ScopedRegistryOverride registry;
    lstrcpyA(SetupState.installFolder, "C:\\Program Files\\Vemla");
    const std::wstring tooLong(256, L'p'), longest(128, L'\x8868');  // 表: 256 bytes in code page 932
    const struct {
        DWORD type;  // of the default value before, REG_NONE for none
        std::wstring earlier;  // as stored, NUL included when stored with one
        const wchar_t *saved;  // VemlaPrevious before, or null
        DWORD savedType;       // VemlaPrevious after two installations, REG_NONE for none
        std::wstring expected;
    } cases[] = {
        {REG_NONE, L"", NULL, REG_NONE, L""},
        {REG_SZ, std::wstring(1, L'\0'), NULL, REG_NONE, L""},
        {REG_SZ, std::wstring(L"jpegfile", 9), NULL, REG_SZ, std::wstring(L"jpegfile", 9)},
        {REG_SZ, std::wstring(L"vemla", 6), NULL, REG_NONE, L""},  // ProgIDs ignore letter case
        {REG_SZ, std::wstring(L"Vemla", 6), L"jpegfile", REG_SZ, std::wstring(L"jpegfile", 9)},  // reinstall over our own
        {REG_SZ, std::wstring(L"Viewer.JPG", 11), L"older", REG_SZ, std::wstring(L"Viewer.JPG", 11)},  // taken since
        {REG_SZ, L"pngfile", NULL, REG_SZ, std::wstring(L"pngfile", 8)},  // stored without its NUL
        {REG_SZ, std::wstring(L"Caf\x00e9.Image\x2122", 12), NULL, REG_SZ, std::wstring(L"Caf\x00e9.Image\x2122", 12)},
        {REG_EXPAND_SZ, std::wstring(L"%Viewer%", 9), NULL, REG_EXPAND_SZ, std::wstring(L"%Viewer%", 9)},
        {REG_SZ, longest + L'\0', NULL, REG_SZ, longest + L'\0'},
        {REG_DWORD, L"AA", NULL, REG_NONE, L""},  // cannot be kept exactly: refused, left as it was
        {REG_SZ, tooLong + L'\0', NULL, REG_NONE, L""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.earlier));
        RegDeleteTreeA(registry.classesRoot, NULL);
        if (c.type != REG_NONE)
            RegSetKeyValueW(HKEY_CLASSES_ROOT, L".jpg", L"", c.type, c.earlier.data(), (DWORD)c.earlier.size() * 2);
        if (c.saved)
            RegSetKeyValueW(HKEY_CLASSES_ROOT, L".jpg", L"VemlaPrevious", REG_SZ, c.saved, (lstrlenW(c.saved) + 1) * 2);
        WriteRegistryString(HKEY_CLASSES_ROOT, ".jpg\\ShellNew", "ItemName", "photo");
        bool refused = c.type == REG_DWORD || c.earlier.size() > 256;
        EXPECT_EQ(refused ? 0 : 1, RegisterFileType(".jpg"));
        EXPECT_EQ(refused ? 0 : 1, RegisterFileType(".jpg"));
        RegistryValue value = ReadRegistryValueW(HKEY_CLASSES_ROOT, L".jpg", L"");
        EXPECT_TRUE(refused ? value.type == c.type && value.bytes == Bytes(c.earlier) : value.bytes == Bytes(L"Vemla", 6));
        EXPECT_EQ(!refused, ReadRegistryValue(HKEY_CLASSES_ROOT, ".jpg\\OpenWithProgids", "Vemla").found);
        EXPECT_EQ("photo", RegistryText(HKEY_CLASSES_ROOT, ".jpg\\ShellNew", "ItemName"));
        RegistryValue saved = ReadRegistryValueW(HKEY_CLASSES_ROOT, L".jpg", L"VemlaPrevious");
        EXPECT_EQ(c.savedType, saved.found ? saved.type : REG_NONE);
        EXPECT_EQ(Bytes(c.expected), saved.bytes);
    }
}

TEST(Shortcuts, SystemFoldersResolveAndPathsWithoutDriveOrThatCannotBeSavedAreRefused)
{
    static const struct { int csidl, result; } folders[] = {
        {CSIDL_DESKTOPDIRECTORY, 1}, {CSIDL_SENDTO, 1}, {CSIDL_PROGRAMS, 1},
        {CSIDL_PRINTERS, 0}, {0x7F, 0},  // a shell folder without a file-system path; none at all
    };
    SetupState.sheetWindow = NULL;
    for (const auto &c : folders) {
        char path[MAX_PATH];
        memset(path, 0x55, sizeof path);
        EXPECT_EQ(c.result, GetSpecialFolderPath(path, c.csidl)) << c.csidl;
        EXPECT_EQ(c.result ? SpecialFolder(c.csidl) : "", path);
    }
    CoInitialize(NULL);
    std::string previous = CurrentDirectory(), scratch = MakeScratchFolder("links"), target = scratch + "\\vemla.exe";
    ASSERT_TRUE(SetCurrentDirectoryA(scratch.c_str()));
    for (const std::string &path : {std::string(), std::string("\\vemla.lnk"), std::string("vemla.lnk"),
                                    scratch + "\\" + std::string(300, 'l') + ".lnk", scratch + "\\missing\\vemla.lnk"})
        EXPECT_EQ(0, CreateShortcut(target.c_str(), path.c_str(), scratch.c_str())) << path;
    EXPECT_EQ(0, CountFolderEntries(scratch));
    SetCurrentDirectoryA(previous.c_str());
    RemoveTree(scratch);
    CoUninitialize();
}
