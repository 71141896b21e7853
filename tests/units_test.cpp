// The rules under the runs and the wizard: the command line, one setup at a time, folder creation,
// the records, the earlier association kept and given back, system folders and shortcuts, nothing
// started elevated without the shell's route, and the destination page alone.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <stdlib.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>

#include "app/entry.h"
#include "base/layout.h"
#include "base/setup_state.h"
#include "resources/resource.h"
#include "system/file_types.h"
#include "system/folder_path.h"
#include "system/message_queue.h"
#include "system/narrow_path.h"
#include "system/uninstall_entry.h"
#include "system/shortcuts.h"
#include "system/system_library.h"
#include "system/user_shell.h"
#include "tests/support/fault_injection.h"
#include "tests/support/test_support.h"
#include "wizard/pages.h"
#include "wizard/wizard_sheet.h"

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
    if (code == HCBT_CREATEWND && ((CBT_CREATEWNDA *)lparam)->lpcs->hInstance == sheetInstance)
        return ++sheetsBlocked;
    return CallNextHookEx(NULL, code, wparam, lparam);
}

// In install mode the wizard starts only from a distribution whose folder has a name in code page 932
// (a short one will do) and that holds vemla.exe: else one box says why, naming what is missing.
TEST(RunSetup, OnlyExactSlashUUninstallsOneSetupAtATimeOnlyFromAUsableDistributionAndTheExitCodeIsZero)
{
    static const char asked[] = "Vemlaをアンインストールしますか？", running[] = "Vemlaのセットアップは既に実行中です。",
        codePage[] = "Vemlaのセットアップは、「Unicode 対応ではないプログラムの言語」が日本語で、"
                     "「ベータ: ワールドワイド言語サポートで Unicode UTF-8 を使用」がオフの Windows で実行してください。",
        unusable[] = "Vemlaのセットアップを、このフォルダから実行することはできません。\nフォルダ名に使えない文字があります。"
                     "半角英数字だけの名前のフォルダにすべてのファイルを移して、もう一度実行してください。";
    const std::string missing = "Vemlaのセットアップに必要なファイルが見つかりません。\n圧縮ファイルの中から実行した場合は、"
                                "すべてのファイルを展開してから、展開したフォルダのsetup.exeを実行してください。\n\n";
    const std::string alone = missing + "vemla.exe\nvemla.hlp\nvemla.cnt\nreadme.txt\nlicense.txt\n"
                              "TEXTURE\\キャンバス.BMP\nTEXTURE\\コルク１.BMP\nTEXTURE\\コルク２.BMP\n"
                              "TEXTURE\\コンクリート壁.BMP\nTEXTURE\\メタル.BMP\nほか 7 件";
    std::string folder = MakeScratchFolder("entry");
    HHOOK hook = SetWindowsHookExA(WH_CBT, BlockSheet, NULL, GetCurrentThreadId());
    // ours: another setup.exe of ours runs, which neither mode may disturb, nor another user's
    // (CreateMutexA failing: its mutex cannot be opened); GetACP answering a Western code page;
    // GetShortPathNameW the long name, as a volume without short names. box: the only one shown, else the
    // sheet is. removed: from the distribution ("*": all but setup.exe, as Explorer runs one from a ZIP
    // folder); named: its folder named outside code page 932.
    const struct { const char *argument; bool ours; const char *fault; std::string box, removed; bool named; }
        cases[] = {
        {"/u", false, NULL, asked, "*"}, {""}, {"/U"}, {"-u"}, {"/u "}, {"/u x"}, {"/u", true, NULL, running},
        {"", true, NULL, running, "*"}, {"", false, "CreateMutexA", running},
        {"", false, "GetACP", codePage, "*"}, {"/u", false, "GetACP", codePage},
        {"", false, NULL, alone, "*"}, {"", false, NULL, missing + "vemla.exe", "vemla.exe"},
        {"", false, NULL, "", "vemla.hlp"},
        {"", false, NULL, "", "", true}, {"", false, "GetShortPathNameW", unusable, "vemla.exe", true}};
    for (size_t i = 0; i < sizeof cases / sizeof *cases; ++i) {
        const auto &c = cases[i];
        SCOPED_TRACE(std::string(c.argument) + (c.ours ? " ours " : " ") + (c.fault ? c.fault : "") +
                     " removed " + c.removed + (c.named ? " named" : ""));
        std::string source = folder + "\\" + std::to_string(i), shortName;
        if (c.removed == "*") {
            CreateDirectoryA(source.c_str(), NULL);
        } else {
            WriteDistribution(source);
            SetFileAttributesA((source + "\\" + c.removed).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA((source + "\\" + c.removed).c_str());
            CreateDirectoryA((source + "\\" + c.removed).c_str(), NULL);  // a folder so named is no file
        }
        const std::wstring named = std::to_wstring(i) + L" M\u00fcller";
        ScopedSetupModule setup(c.named ? RenameFolder(source, named, &shortName) : Wide(source));
        sheetInstance = setup.module;  // the wizard's templates
        sheetsBlocked = 0;
        HANDLE other = c.ours ? CreateMutexA(NULL, TRUE, "Global\\VemlaSetup") : NULL;
        ScopedMessageBoxScript boxes({IDNO});  // declines an uninstallation
        Faults::Arm(c.fault ? Faults::FunctionNamed(c.fault) : -1, 1);
        EXPECT_EQ(0, RunSetup(setup.module, c.argument));
        Faults::Disarm();
        CloseHandle(other);
        EXPECT_EQ(c.box.empty() ? 1 : 0, sheetsBlocked) << "wizard sheets";
        EXPECT_EQ(Shown(c.box.empty() ? "" : "セットアップ: " + c.box + "\n"), Shown(boxes.Texts()));
    }
    UnhookWindowsHookEx(hook);
    RemoveTree(folder);
}

TEST(DispatchPendingMessages, LeavesTheQuitToTheLoopThatEndsOnIt)
{
    MSG quit = {};
    PostQuitMessage(7), DispatchPendingMessages();
    EXPECT_TRUE(PeekMessageA(&quit, NULL, 0, 0, PM_REMOVE) && quit.message == WM_QUIT && quit.wParam == 7)
        << quit.message;
}

// Each copy slowed, as where every new file is scanned before it can be used.
static void SlowCopy()
{
    const int copy = Faults::FunctionNamed("CopyFileA");
    Sleep(250);
    Faults::BeforeCall(copy, Faults::Calls(copy) + 1, SlowCopy);  // and the next one
}

// The wizard driven from another thread: while it installs, the sheet (disabled) answers and its bar moves;
// Cancel, the close box, Alt+F4, Back and Next again change nothing; the finish page comes, enabled.
TEST(RunWizard, AnswersWhileItInstallsAndNothingInterruptsTheRun)
{
    ScopedRegistryOverride registry;
    std::string scratch = MakeScratchFolder("sheet"), source = scratch + "\\dist", folder = scratch + "\\v";
    WriteDistribution(source);
    std::unique_ptr<ScopedSetupModule> setup(new ScopedSetupModule(source));
    ScopedMessageBoxScript boxes({IDYES});  // the folder created
    const int copy = Faults::FunctionNamed("CopyFileA");
    std::string pages = " ";     // from the first copy on: d, o, f; capital: the sheet enabled
    std::vector<int> positions;  // the bar's, read meanwhile
    int unanswered = 0;          // in 2 s
    std::thread driver([&] {
        HWND sheet = NULL, page = NULL, bar = NULL;
        auto ask = [&](HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
            DWORD_PTR result = 0;
            unanswered += !SendMessageTimeoutA(window, message, wparam, lparam, SMTO_NORMAL, 2000, &result);
            return (LRESULT)result;
        };
        auto shown = [&] {
            page = (HWND)ask(sheet, PSM_GETCURRENTPAGEHWND);
            char letter = GetDlgItem(page, IDC_FOLDER) ? 'd' : GetDlgItem(page, IDC_PROGRESS) ? 'o'
                          : GetDlgItem(page, IDC_README) ? 'f' : '?';
            return IsWindowEnabled(sheet) ? (char)toupper(letter) : letter;
        };
        for (int i = 0; i < 400 && !((sheet = SetupState.sheetWindow) && shown() == 'D'); ++i)
            Sleep(50);
        ask(GetDlgItem(page, IDC_FOLDER), WM_SETTEXT, 0, (LPARAM)folder.c_str());
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
        for (int i = 0; i < 400 && !(shown() == 'O' && (bar = GetDlgItem(page, IDC_PROGRESS))); ++i)
            Sleep(50);
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
        for (int i = 0; i < 400 && !Faults::Calls(copy); ++i)
            Sleep(50);
        const struct { UINT message; WPARAM wparam; } pressed[] = {
            {PSM_PRESSBUTTON, PSBTN_CANCEL}, {WM_COMMAND, IDCANCEL}, {WM_CLOSE}, {WM_SYSCOMMAND, SC_CLOSE},
            {PSM_PRESSBUTTON, PSBTN_BACK}, {PSM_PRESSBUTTON, PSBTN_NEXT}};
        for (size_t i = 0; i < 400 && IsWindow(sheet) && tolower(pages.back()) != 'f'; ++i, Sleep(50)) {
            const char letter = shown();
            pages += pages.back() != letter ? std::string(1, letter) : "";
            positions.push_back((int)ask(bar, PBM_GETPOS));
            if (i < ARRAYSIZE(pressed))
                ask(sheet, pressed[i].message, pressed[i].wparam);
        }
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_FINISH, 0);
    });
    Faults::Arm(), Faults::BeforeCall(copy, 1, SlowCopy);
    RunWizard(NULL);
    Faults::Disarm(), Faults::BeforeCall(-1, 0, NULL);
    driver.join();
    EXPECT_EQ(" oF", pages) << "from the first copy on";
    EXPECT_EQ(0, unanswered) << "messages not answered in 2 s";
    EXPECT_TRUE(positions.size() > 1 && std::is_sorted(positions.begin(), positions.end()) &&
                positions.front() < positions.back()) << ::testing::PrintToString(positions);
    EXPECT_EQ(ProgramFileCount + TextureFileCount, Faults::Calls(copy)) << "copies: one run";
    setup.reset(), RemoveTree(scratch);
}

// Paths the system gives in UTF-16, as the narrow interfaces take them: exactly, else by their short name
// (the same folder), else not at all; never by a best fit (¥ as '\\'), never cut, nothing written past. So
// also the shell folders of a profile named outside code page 932 (its Desktop moved there).
TEST(NarrowPath, ExactElseTheShortNameNeverABestFitNorCut)
{
    const std::string scratch = MakeScratchFolder("names");
    const std::wstring umlaut = Wide(scratch) + L"\\M\u00fcller", yen = Wide(scratch) + L"\\a\u00a5b";
    for (const std::wstring &named : {umlaut, yen}) {
        CreateDirectoryW(named.c_str(), NULL);
        CloseHandle(CreateFileW((named + L"\\mark").c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL));
    }
    CreateDirectoryA((scratch + "\\a").c_str(), NULL);  // where a best fit would lead: a\b
    std::string kanji = "C:\\";  // and 表 (95 5C) 128 times: 259 bytes, a NUL fills MAX_PATH
    for (int i = 0; i < 128; ++i)
        kanji += "表";
    const wchar_t shellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                                   L"User Shell Folders";
    const RegistryValue desktop = ReadRegistryValueW(HKEY_CURRENT_USER, shellFolders, L"Desktop");
    ASSERT_TRUE(desktop.found) << "the prefix's Desktop, put back after each row";
    // narrow: the result exactly, "" refused, "same" the folder by another name (its mark there, no '?');
    // shell: through GetSpecialFolderPath, the Desktop's place being wide.
    const struct { std::wstring wide; std::string narrow; const char *fault; bool shell; } cases[] = {
        {L"C:\\Program Files\\Vemla", "C:\\Program Files\\Vemla"},
        {L"D:\\新しい表\\ソフト", "D:\\新しい表\\ソフト"},
        {Wide(kanji), kanji}, {Wide(kanji) + L"x", ""}, {umlaut, "same"}, {yen, "same"},
        {umlaut, "", "GetShortPathNameW"}, {umlaut + L"\\gone", ""},
        {umlaut, "same", NULL, true}, {yen, "", "GetShortPathNameW", true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(Shown(c.narrow) + (c.fault ? c.fault : "") + (c.shell ? " shell" : ""));
        char path[MAX_PATH + 16];
        memset(path, 0x55, sizeof path);
        if (c.shell)
            RegSetKeyValueW(HKEY_CURRENT_USER, shellFolders, L"Desktop", REG_SZ, c.wide.c_str(),
                            DWORD((c.wide.size() + 1) * sizeof(wchar_t)));
        Faults::Arm(c.fault ? Faults::FunctionNamed(c.fault) : -1, 1);
        EXPECT_EQ(c.narrow.empty() ? 0 : 1, c.shell ? GetSpecialFolderPath(path, CSIDL_DESKTOPDIRECTORY)
                                                     : NarrowPath(c.wide.c_str(), path));
        Faults::Disarm();
        RegSetKeyValueW(HKEY_CURRENT_USER, shellFolders, L"Desktop", desktop.type, desktop.bytes.data(),
                        (DWORD)desktop.bytes.size());
        if (c.narrow == "same")
            EXPECT_TRUE(!strchr(path, '?') && FileExists(path + std::string("\\mark"))) << Shown(path);
        else
            EXPECT_EQ(Shown(c.narrow), Shown(path));
        EXPECT_EQ(std::string(16, 0x55), std::string(path + MAX_PATH, 16)) << "past the buffer";
    }
    RemoveTree(scratch);
}

// Only the system folder's copy is loaded, never one of the same name in the current folder: by name, and
// by its full path where the system knows no search flags (old), which a path that does not fit stops. And
// without the desktop shell's route nothing is started: Wine runs every program elevated, as it would run.
TEST(Hardening, OnlySystemFolderDllsAndNothingStartedElevatedWithoutTheShellsRoute)
{
    CoInitialize(NULL);
    Faults::Arm(Faults::FunctionNamed("CoCreateInstance"), 1);
    EXPECT_EQ(0, OpenAsUser("C:\\", "no-such-readme.txt"));
    Faults::Disarm();
    EXPECT_TRUE(Faults::Injected() && Faults::Calls(Faults::FunctionNamed("ShellExecuteA")) == 0) << "ran";
    CoUninitialize();
    char system[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryA(system, sizeof system));
    std::string folder = MakeScratchFolder("library"), previous = CurrentDirectory();
    ASSERT_TRUE(CopyFileA((std::string(system) + "\\version.dll").c_str(), (folder + "\\vemla_planted.dll").c_str(), FALSE));
    SetCurrentDirectoryA(folder.c_str());
    std::string tooLong(MAX_PATH - lstrlenA(system) - 1, 'a');  // the path would need MAX_PATH + 1 bytes
    const struct { std::string name; bool loadable, old; } cases[] = {
        {"comctl32.dll", true}, {"version.dll", true}, {"vemla_planted.dll", false}, {"no_such.dll", false}, {tooLong, false},
        {"version.dll", true, true}, {"vemla_planted.dll", false, true}, {tooLong, false, true}};
    for (const auto &c : cases) {
        HMODULE module = (HMODULE)&module;
        char path[MAX_PATH] = "";
        Faults::Arm(c.old ? Faults::FunctionNamed("LoadLibraryExA") : -1, 1);
        EXPECT_EQ(c.loadable ? 1 : 0, LoadSystemLibrary(c.name.c_str(), &module)) << c.name << " " << c.old;
        Faults::Disarm();
        EXPECT_TRUE(!c.old || Faults::Injected()) << "the search flags not refused";
        EXPECT_EQ(c.loadable, module && GetModuleFileNameA(module, path, sizeof path) &&
                                !lstrcmpiA((std::string(system) + "\\" + c.name).c_str(), path)) << path;
        if (module)
            FreeLibrary(module);
    }
    SetCurrentDirectoryA(previous.c_str());
    RemoveTree(folder);
}

// Through the current directory, against Wine's real file system; Wine serves \\host\share from the
// prefix's dosdevices\unc\host\share folder.
TEST(CreateFolderPath, CreatesWhatIsMissingAndEndsInTheLastFolderEntered)
{
    const char *prefix = getenv("WINEPREFIX");
    ASSERT_EQ(932u, GetACP()) << "表 ends in the trail byte 5C in code page 932 only";
    ASSERT_TRUE(prefix && prefix[0] == '/') << "needs Wine's prefix to serve a network share";
    std::string start = CurrentDirectory(), scratch = MakeScratchFolder("folder"), unc = std::string("Z:") + prefix + "/dosdevices/unc";
    std::string host = "v", share = "\\\\" + host + "\\share";  // a server's name may be one letter
    std::replace(unc.begin(), unc.end(), '/', '\\');
    ASSERT_EQ(ERROR_SUCCESS, SHCreateDirectoryExA(NULL, (unc + "\\" + host + "\\share").c_str(), NULL));
    WriteFileBytes(scratch + "\\blocker", "a file");
    // Doubled separators keep the folder short while the text reaches the limit.
    std::string fits = scratch + std::string(258 - scratch.size(), '\\') + "x";
    std::string tooLong = scratch + std::string(259 - scratch.size(), '\\') + "y";
    // A folder made outside the Program Files folders gets their rights, protected; one in them inherits.
    // Wine keeps no rights: what is handed over counts; all application packages (S-1-15-2-1) read as "AC".
    const char made[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICI;0x1200a9;;;AC)";
    const std::string tag = "\\vemla-" + std::to_string(GetCurrentProcessId()), inherited = "inherited";
    const std::string programs = SpecialFolder(CSIDL_PROGRAM_FILES), in = programs + tag + "\\a";
    const std::string x86 = SpecialFolder(CSIDL_PROGRAM_FILESX86) + tag, alike = programs + tag.substr(1);
    // last: the current directory after; rights: what each folder made was given, when not empty; seen:
    // the Program Files record unreadable (its first read), the drive a mapped share, a volume without rights
    enum { Real, NoRecord, Remote, NoAcls };
    const struct {
        std::string path; int result; std::string last; std::vector<std::string> rights; int seen;
    } cases[] = {
        {scratch, 1, scratch}, {scratch + "\\a\\b\\c", 1, scratch + "\\a\\b\\c"}, {scratch + "\\a\\b2", 1, scratch + "\\a\\b2"},
        {scratch + "\\new\\", 1, scratch + "\\new"}, {scratch + "\\new2\\\\x", 1, scratch + "\\new2\\x"},
        {scratch + "/s1//s2", 1, scratch + "\\s1\\s2"},
        {scratch + "\\表示\\表", 1, scratch + "\\表示\\表"},  // trail byte 5C, also before a separator
        {"r\\r2", 1, scratch + "\\r\\r2"},  // a relative path whose first folder has one letter
        {scratch.substr(2) + "\\top\\in", 1, scratch + "\\top\\in"},  // from the drive's root
        {fits, 1, scratch + "\\x"}, {scratch + "\\blocker\\z", 0, scratch},
        {scratch + "\\m1\\m2\\bad|name\\z", 0, scratch + "\\m1\\m2"},  // earlier folders stay
        {tooLong, 0, scratch}, {"", 0, scratch}, {"\\\\server\\", 0, scratch},
        {share + "\\x\\\\y\\", 1, share + "\\x\\y", {inherited, inherited}},  // entered whole, never created
        {"\\\\" + host + "\\other\\x", 0, scratch},
        {scratch + "\\acl\\a", 1, scratch + "\\acl\\a", {made, made}},
        {in, 1, in, {inherited, inherited}}, {x86, 1, x86, {inherited}},
        {programs + "\\.." + tag, 1, "C:" + tag, {made}},
        {alike + "\\in", 1, alike + "\\in", {made, made}},  // a name that only begins like Program Files'
        {programs + tag + "u\\a", 1, programs + tag + "u\\a", {made, inherited}, NoRecord},
        {scratch + "\\net", 1, scratch + "\\net", {inherited}, Remote},
        {scratch + "\\fat", 1, scratch + "\\fat", {inherited}, NoAcls},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(SetCurrentDirectoryA(scratch.c_str()));
        const unsigned long flags = c.seen == NoAcls ? FILE_CASE_PRESERVED_NAMES : 0;
        Faults::FakeDrive(c.seen == Remote ? DRIVE_REMOTE : 0, flags);
        Faults::Arm(c.seen == NoRecord ? Faults::FunctionNamed("RegOpenKeyExA") : -1, 1);
        EXPECT_EQ(c.result, CreateFolderPath(c.path.c_str())) << c.path;
        Faults::Disarm();
        Faults::FakeDrive(0, 0);
        EXPECT_EQ(c.last, CurrentDirectory()) << c.path;
        EXPECT_EQ(c.rights, c.rights.empty() ? c.rights : Faults::FolderRights()) << c.path;
    }
    EXPECT_EQ(13, CountFolderEntries(scratch)) << "a new new2 s1 表示 r top x blocker m1 acl net fat";
    EXPECT_EQ(1, CountFolderEntries(scratch + "\\表示")) << "split at the trail byte";
    std::wstring wide(scratch.begin(), scratch.end());  // the scratch path is ASCII
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((wide + L"\\\u8868\u793A\\\u8868").c_str())) << "not so in UTF-16";
    EXPECT_EQ(1, CountFolderEntries(unc + "\\" + host)) << "a share was created";
    // A shortcut on a share, as in a redirected desktop, and on any drive letter; none under a path without a
    // drive or share (composed from a shell folder that could not be had) or that cannot be saved whole.
    const std::string links[] = {share + "\\x\\y\\vemla.lnk", "c" + scratch.substr(1) + "\\v.lnk", "",
                                 "\\vemla.lnk", ".\\vemla.lnk", scratch + "\\" + std::string(300, 'l'),
                                 scratch + "\\no\\v.lnk"};
    CoInitialize(NULL);
    SetCurrentDirectoryA(scratch.c_str());
    for (const std::string &path : links)
        EXPECT_EQ(&path < links + 2, CreateShortcut("C:\\vemla.exe", path.c_str(), "C:\\")) << path;
    CoUninitialize();
    EXPECT_EQ(14, CountFolderEntries(scratch)) << "v.lnk alone added";
    SetCurrentDirectoryA(start.c_str());
    for (const std::string &path :
         {scratch, unc + "\\" + host, programs + tag, programs + tag + "u", x86, "C:" + tag, alike})
        RemoveTree(path);
}

// The records of an installation into a folder: joined with one separator, quoted, bounded; a value
// read back that is no string or does not fit.
TEST(RegistryRecords, CommandsAreQuotedForAnyFolderOrNotWrittenWhenTheyDoNotFit)
{
    ScopedRegistryOverride registry;
    char missed[128];
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
        registry.Clear();
        EXPECT_EQ(c.fileType, RegisterFileType(".bmp"));
        EXPECT_EQ(c.entry, RegisterUninstallEntry(missed, sizeof missed));
        std::string joined = c.joined.empty() ? c.folder + "\\" : c.joined;
        EXPECT_EQ(c.fileType ? "Vemla Image|\"" + joined + "vemla.exe\" \"%1\"|Vemla" : "(none)|(none)|(none)",
                  RegistryText(Classes, "Vemla", "") + "|" +
                      RegistryText(Classes, "Vemla\\shell\\open\\command", "") + "|" +
                      RegistryText(Classes, ".bmp", ""));
        EXPECT_EQ(c.entry ? "\"" + joined + "setup.exe\" /u|Vemla|" + c.folder + "|" + joined + "vemla.exe,0" : "(none)|(none)|(none)|(none)",
                  RegistryText(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString") + "|" + RegistryText(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayName") +
                      "|" + RegistryText(HKEY_LOCAL_MACHINE, UninstallKey, "InstallLocation") + "|" + RegistryText(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayIcon"));
    }
    // The stand-in vemla.exe's maker cut to one character (its length, 2 with the NUL, is 4 bytes before its
    // name), its version's name misspelt so that it has none.
    std::string folder = MakeScratchFolder("sized"), stamped = ReadFileBytes(TestProgramFolder() + "\\vemla.exe");
    size_t maker = stamped.find(Bytes(std::wstring(L"CompanyName", 12)));
    ASSERT_NE(std::string::npos, maker);
    stamped[maker - 4] = 2;
    stamped[stamped.find(Bytes(L"ProductVersion")) + 2] = 'X';
    stamped.replace(stamped.find(Bytes(L"Zandorel")), 16, std::string(16, '\0').replace(0, 1, "Z"));
    CreateDirectoryA((folder + "\\TEXTURE").c_str(), NULL);
    WriteFileBytes(folder + "\\vemla.exe", stamped);
    lstrcpyA(SetupState.installFolder, folder.c_str());
    EXPECT_EQ(1, RegisterUninstallEntry(missed, sizeof missed));
    EXPECT_EQ("(none)|Z", RegistryText(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayVersion") + "|" +
                               RegistryText(HKEY_LOCAL_MACHINE, UninstallKey, "Publisher"));
    // The size is of the files there, each counted exactly and the sum rounded up to whole KB once:
    // 1,025 + 1 bytes are 2 KB, and the missing files count nothing. No version resource: none of the values.
    WriteFileBytes(folder + "\\vemla.exe", std::string(1025, 'x'));
    WriteFileBytes(folder + "\\TEXTURE\\キャンバス.BMP", "x");
    memset(missed, 0x55, sizeof missed);  // emptied when every value was written
    EXPECT_EQ(1, RegisterUninstallEntry(missed, sizeof missed));
    EXPECT_EQ(std::string("\2\0\0\0", 4), ReadRegistryValue(HKEY_LOCAL_MACHINE, UninstallKey, "EstimatedSize").bytes);
    EXPECT_EQ("(none)|(none)|", RegistryText(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayVersion") + "|" +
                                    RegistryText(HKEY_LOCAL_MACHINE, UninstallKey, "Publisher") + "|" + missed);
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
        {REG_SZ, std::wstring(1, L'\0'), L"jpegfile", REG_SZ, std::wstring(L"jpegfile", 9)},  // none, beside one saved
        {REG_SZ, std::wstring(L"X", 2), NULL, REG_SZ, std::wstring(L"X", 2)},  // a ProgID may have one character
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
        registry.Clear();
        if (c.type != REG_NONE)
            RegSetKeyValueW(Classes, L".jpg", L"", c.type, c.earlier.data(), (DWORD)c.earlier.size() * 2);
        if (c.saved)
            RegSetKeyValueW(Classes, L".jpg", L"VemlaPrevious", REG_SZ, c.saved, (lstrlenW(c.saved) + 1) * 2);
        WriteRegistryString(Classes, ".jpg\\ShellNew", "ItemName", "photo");
        bool refused = c.type == REG_DWORD || c.earlier.size() > 256;
        EXPECT_EQ(refused ? 0 : 1, RegisterFileType(".jpg"));
        EXPECT_EQ(refused ? 0 : 1, RegisterFileType(".jpg"));
        RegistryValue value = ReadRegistryValueW(Classes, L".jpg", L"");
        EXPECT_TRUE(refused ? value.type == c.type && value.bytes == Bytes(c.earlier) : value.bytes == Bytes(std::wstring(L"Vemla", 6)));
        EXPECT_EQ(!refused, ReadRegistryValue(Classes, ".jpg\\OpenWithProgids", "Vemla").found);
        EXPECT_EQ("photo", RegistryText(Classes, ".jpg\\ShellNew", "ItemName"));
        RegistryValue saved = ReadRegistryValueW(Classes, L".jpg", L"VemlaPrevious");
        EXPECT_EQ(c.savedType, saved.found ? saved.type : REG_NONE);
        EXPECT_EQ(Bytes(c.expected), saved.bytes);
    }
}

// What the uninstallation gives an extension back, for every value it may have, saved copy and program.
TEST(RegistryRecords, UninstallationGivesBackTheEarlierAssociationWhileItsProgramIsRegistered)
{
    enum { Ours, Another, Empty, Absent, Unreadable };                        // the extension's value
    enum { NoCopy, Plain, Expandable, OwnProgId, TooLong, CopyUnreadable };  // the copy saved beside it
    enum { Registered, Gone, ProgramUnreadable };                            // the saved copy's program
    ScopedRegistryOverride registry;
    SetEnvironmentVariableA("VemlaEarlier", "Earlier.Pic");
    const std::wstring tooLong(300, L'p'), vemla(L"Vemla", 6), none(1, L'\0');
    const std::wstring values[] = {vemla, std::wstring(L"Other.Pic", 10), none, L"", vemla};
    // As stored, and the program's key; a copy that cannot be read is as good as the plain one.
    const struct { DWORD type; std::wstring text, program; } copies[] = {
        {REG_NONE, L"", L""}, {REG_SZ, std::wstring(L"Caf\x00e9.Pic", 9), L"Caf\x00e9.Pic"},
        {REG_EXPAND_SZ, std::wstring(L"%VemlaEarlier%", 15), L"Earlier.Pic"},
        {REG_SZ, std::wstring(L"VEMLA", 6), L"Vemla"}, {REG_SZ, tooLong + L'\0', tooLong.substr(0, 255)}};
    auto stored = [](DWORD type, std::wstring text) { return std::to_string(type) + " " + Bytes(text); };
    auto read = [](const wchar_t *name) {
        RegistryValue value = ReadRegistryValueW(Classes, L".jpg", name);
        return value.found ? std::to_string(value.type) + " " + value.bytes : "(none)";
    };
    for (int row = 0; row < 5 * 6 * 3; ++row) {
        const int value = row / 18, saved = row / 3 % 6, program = row % 3;
        SCOPED_TRACE("row " + std::to_string(row));  // the value row / 18, saved row / 3 % 6, program row % 3
        const auto &copy = copies[saved == CopyUnreadable ? Plain : saved];
        registry.Clear();
        if (value != Absent)
            RegSetKeyValueW(Classes, L".jpg", L"", REG_SZ, values[value].data(), values[value].size() * 2);
        if (saved != NoCopy)
            RegSetKeyValueW(Classes, L".jpg", L"VemlaPrevious", copy.type, copy.text.data(),
                            copy.text.size() * 2);
        if (saved != NoCopy && program != Gone)
            RegSetKeyValueW(Classes, copy.program.c_str(), NULL, REG_SZ, L"", 2);
        for (const char *offered : {"Vemla", "Other.Pic"})
            WriteRegistryString(Classes, ".jpg\\OpenWithProgids", offered, "");
        // Read in turn: the extension's value and its saved copy (queried), then the program's key (opened).
        if (value == Unreadable || saved == CopyUnreadable)
            Faults::Arm(Faults::FunctionNamed("RegQueryValueExW"), value == Unreadable ? 1 : 2);
        else
            Faults::Arm(program == ProgramUnreadable ? Faults::FunctionNamed("RegOpenKeyExW") : -1, 1);
        const int result = RestoreAssociation(Classes, ".jpg");
        Faults::Disarm();
        // Only an extension still ours is changed. What cannot be read (its value, the saved copy, the
        // program of another's) is left as it is and reported; else another program's association comes
        // back exactly while that program is registered, or the extension is left without one.
        const bool ours = value == Ours, another = saved == Plain || saved == Expandable;
        const bool unknown = value == Unreadable || (ours && (saved == CopyUnreadable ||
                                                              (another && program == ProgramUnreadable)));
        const std::string before = value == Absent ? "(none)" : stored(REG_SZ, values[value]);
        EXPECT_EQ(!unknown, result) << "0: listed as a failure";
        EXPECT_EQ(!ours || unknown                     ? before
                  : another && program == Registered ? stored(copy.type, copy.text)
                                                       : stored(REG_SZ, none), read(L""));
        // The saved copy goes once it is no longer needed, and our offer in "Open with" with it.
        EXPECT_EQ(unknown && saved != NoCopy ? stored(copy.type, copy.text) : "(none)",
                  read(L"VemlaPrevious"));
        EXPECT_TRUE(ReadRegistryValue(Classes, ".jpg\\OpenWithProgids", "Vemla").found == unknown &&
                    ReadRegistryValue(Classes, ".jpg\\OpenWithProgids", "Other.Pic").found) << "Open with";
    }
}

// The user's own choice, then own classes outrank the machine's association (Wine honours neither).
TEST(RegistryRecords, AssociationIsOutrankedByTheUsersChoiceOrClassesNamingAnotherProgram)
{
    const std::string longest(300, 'p');  // more than a ProgID holds: not ours
    const std::string at[] = {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.vemlatest",
                              "Software\\Classes\\.vemlatest"};  // the user's choice, the user's classes
    // Windows 11 24H2's latest choice decides where it names a program; else the choice, then the classes.
    static const struct { const char *latest, *choice, *classes; int outranked; } cases[] = {
        {0, 0, 0, 0}, {0, "Other.Pic", 0, 1}, {0, "vemla", 0, 0}, {0, 0, "Other.Pic", 1}, {0, "O", 0, 1},
        {0, 0, "", 0}, {0, "Vemla", "VEMLA", 0}, {0, "Vemla", "Other.Pic", 1}, {0, longest.c_str(), 0, 1},
        {"Other.Pic", "Vemla", 0, 1}, {"Vemla", "Other.Pic", "Other.Pic", 0}, {"", "Other.Pic", 0, 1}};
    auto put = [](const std::string &key, const char *name, const char *text) {
        if (text)
            WriteRegistryString(HKEY_CURRENT_USER, key.c_str(), name, text);
    };
    for (const auto &c : cases) {
        for (const std::string &place : at)
            RegDeleteTreeA(HKEY_CURRENT_USER, place.c_str());
        put(at[0] + "\\UserChoiceLatest\\ProgId", "ProgId", c.latest);  // its subkey, as 24H2 writes it
        put(at[0] + "\\UserChoice", "ProgId", c.choice);
        put(at[1] + "\\OpenWithProgids", "O", "");
        put(at[1], "", c.classes);
        EXPECT_EQ(c.outranked, IsAssociationOutranked(".vemlatest")) << "row " << &c - cases;
    }
}

// The destination page alone, made from setup.exe's template with its own procedure under a
// stand-in for the sheet, over a distribution of placeholder files. (The sheet and the other
// pages: e2e_test.)
class DestinationPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteDistribution(source);
        setup.reset(new ScopedSetupModule(source));
        sheet = CreateWindowExA(0, "STATIC", "sheet", WS_POPUP, 0, 0, 400, 300, NULL, NULL, NULL, NULL);
    }
    void TearDown() override
    {
        DestroyWindow(sheet);
        setup.reset();
        SetCurrentDirectoryA(startDirectory.c_str());
        RemoveTree(scratch);
    }
    // The page as the sheet shows it: its field filled by WM_INITDIALOG.
    HWND MakePage()
    {
        HWND page = CreateDialogParamA(setup->module, MAKEINTRESOURCEA(IDD_DESTINATION), sheet, DestinationPage, 0);
        EXPECT_TRUE(page) << "no page: " << GetLastError();
        return page;
    }
    static std::string Field(HWND page)
    {
        char text[MAX_PATH + 8] = "";
        GetDlgItemTextA(page, IDC_FOLDER, text, sizeof text);
        return text;
    }
    std::string startDirectory = CurrentDirectory(), scratch = MakeScratchFolder("wizard"), source = scratch + "\\dist";
    std::unique_ptr<ScopedSetupModule> setup;
    HWND sheet = NULL;
    ScopedRegistryOverride registry;
};

// A reinstallation is proposed where the recorded one is; a first one this system's Program Files.
TEST_F(DestinationPageTest, ProposesTheRecordedFolderElseProgramFiles)
{
    const struct { const char *location, *command; std::string proposed; DWORD type; } cases[] = {
        {"D:\\Apps\\Vemla 2", "\"E:\\Other\\setup.exe\" /u", "D:\\Apps\\Vemla 2"},
        {"", "\"E:\\Tools\\表\\setup.exe\" /u", "E:\\Tools\\表"},
        {NULL, "E:\\Old Setup\\setup.exe /u", "E:\\Old Setup"},
        {NULL, "\"\\\\srv\\share\\V\\setup.exe\" /u", "\\\\srv\\share\\V"},  // on a share: no drive
        {"D:\\Not A String", "\"E:\\Tools\\V\\setup.exe\" /u", "E:\\Tools\\V", REG_BINARY},
        {NULL, NULL, SpecialFolder(CSIDL_PROGRAM_FILES) + "\\Vemla"},
        {NULL, "\"E:\\Tools\\setup.exe /u", SpecialFolder(CSIDL_PROGRAM_FILES) + "\\Vemla"},  // unclosed
    };
    for (const auto &c : cases) {
        registry.Clear();
        if (c.location)
            RegSetKeyValueA(HKEY_LOCAL_MACHINE, UninstallKey, "InstallLocation", c.type ? c.type : REG_SZ, c.location,
                            lstrlenA(c.location) + 1);
        if (c.command)
            WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString", c.command);
        HWND page = MakePage();
        EXPECT_EQ(Shown(c.proposed), Shown(Field(page)));
        EXPECT_EQ(MAX_PATH - 1, SendDlgItemMessageA(page, IDC_FOLDER, EM_GETLIMITTEXT, 0, 0)) << "the field's limit";
        DestroyWindow(page);
    }
}

// Next: the question, creation, refusals, the free space, and the folder stored and shown absolute.
TEST_F(DestinationPageTest, NextAsksCreatesOrRefusesAndStoresTheFolder)
{
    const std::string existing = scratch + "\\existing", created = scratch + "\\新しい表\\ソフト";  // 表: 95 5C
    // gone: no setup.exe there; overLimit: 260 bytes
    const std::string ours = scratch + "\\ours", cramped = scratch + "\\cramped", gone = scratch + "\\gone";
    const std::string overLimit = scratch + "\\" + std::string(MAX_PATH - 1 - scratch.size(), 'a');
    CreateDirectoryA(ours.c_str(), NULL);
    WriteFileBytes(ours + "\\setup.exe", "x");
    // The longest folder whose every path fits: the longest relative one, a separator and a NUL in MAX_PATH.
    size_t longest = 0;
    for (const std::string &name : DistributionFiles())
        longest = std::max(longest, name.size());
    const std::string fits = scratch + "\\" + std::string(MAX_PATH - 3 - longest - scratch.size(), 'f');
    SHCreateDirectoryExA(NULL, (existing + "\\TEXTURE").c_str(), NULL);  // as an earlier Next left it
    CreateDirectoryA(cramped.c_str(), NULL);  // empty: everything is still to be written
    const std::string question = "インストール: フォルダが存在しません。\nフォルダを作成しますか？\n", cannot = "インストール: フォルダが作成できません。\n";
    const std::string tooLong = "インストール: フォルダ名が長すぎます。\nもっと短い名前のフォルダを指定してください。\n";
    const std::string elsewhere = "インストール: Vemlaは既に次のフォルダにインストールされています。\n" + ours +
                                  "\n別のフォルダにインストールするには、先にVemlaをアンインストールしてください。\n";
    // What the files take there: each rounded up to whole clusters of the volume, made larger than
    // Wine's 4 KB, which is also the size taken when the volume's cannot be had.
    const unsigned long cluster = 64 * 1024;
    unsigned long long needed = 0;
    for (const std::string &name : DistributionFiles())
        needed += (ReadFileBytes(source + "\\" + name).size() + cluster - 1) / cluster * cluster;
    const std::string full = "インストール: ディスクの空き容量が足りません。\n\n必要な容量: " + std::to_string((needed + 1023) / 1024) +
                             " KB\n空き容量: 1 KB\n";
    // accepted: then TEXTURE exists; notMade: a folder that must not exist afterwards; freeSpace: faked, 0 for the real one;
    // recorded: the folder of the recorded installation, whose setup.exe the entry runs.
    const struct { std::string typed; std::vector<int> answers; std::string boxes; bool accepted; std::string installFolder, notMade;
                   unsigned long long freeSpace; std::string recorded; } cases[] = {
        {created, {IDYES}, question, true, created, ""},
        {scratch + "\\declined", {IDNO}, question, false, scratch + "\\declined", scratch + "\\declined"},
        {"", {IDYES, IDOK}, question + cannot, false, ""},
        {"rel\\.\\x\\..\\sub", {IDYES}, question, true, scratch + "\\rel\\sub", startDirectory + "\\rel"},
        {overLimit, {IDOK}, tooLong, false, "unchanged"},
        {std::string(MAX_PATH - 10, 'r'), {IDOK}, tooLong, false, "unchanged"},  // too long made absolute
        {fits, {IDYES}, question, true, fits, ""},
        {fits + "x", {IDOK}, tooLong, false, "unchanged", fits + "x"},  // before any question
        {scratch + "\\second", {IDOK}, elsewhere, false, "unchanged", scratch + "\\second", 0, ours},  // the field: ours
        {existing, {}, "", true, existing, "", 0, gone},
        {cramped, {IDOK}, full, false, cramped, cramped + "\\TEXTURE", 1024},
        {cramped, {}, "", true, cramped, "", ~0ull},  // the free space cannot be had: no reason to stay
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("typed " + Shown(c.typed));
        SetCurrentDirectoryA(scratch.c_str());  // what relative names are resolved against
        lstrcpyA(SetupState.installFolder, "unchanged");
        registry.Clear();
        if (!c.recorded.empty())
            WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString", ("\"" + c.recorded + "\\setup.exe\" /u").c_str());
        HWND page = MakePage();
        SetDlgItemTextA(page, IDC_FOLDER, c.typed.c_str());
        ScopedMessageBoxScript boxes(c.answers);
        PSHNOTIFY next = {{sheet, 0, (UINT)PSN_WIZNEXT}, 0};
        Faults::FakeVolume(c.freeSpace, cluster);
        Faults::Arm(c.freeSpace == ~0ull ? Faults::FunctionNamed("GetDiskFreeSpaceExA") : -1, 1);
        LRESULT handled = SendMessageA(page, WM_NOTIFY, 0, (LPARAM)&next);
        Faults::Disarm();
        EXPECT_EQ(c.accepted ? "0 0" : "-1 -1", std::to_string(handled) + " " + std::to_string(GetWindowLongPtrA(page, DWLP_MSGRESULT)))
            << "the reply, and what the procedure returned";
        EXPECT_EQ(Shown(c.boxes), Shown(boxes.Texts())) << "message boxes";
        EXPECT_EQ(Shown(c.installFolder), Shown(SetupState.installFolder)) << "installFolder";
        const std::string field = c.installFolder == "unchanged" ? c.recorded : c.installFolder;
        EXPECT_TRUE(field.empty() || field == Field(page)) << "the field: " << Shown(Field(page));
        EXPECT_EQ(c.accepted, FolderExists(c.installFolder + "\\TEXTURE")) << "TEXTURE";
        EXPECT_TRUE(c.notMade.empty() || !FolderExists(c.notMade)) << Shown(c.notMade);
        DestroyWindow(page);
    }
}

// Whose folder it is, for all it may hold. Vemla's (the recorded one while its setup.exe is there, or one
// with vemla.exe or Vemla's setup.exe, which an uninstallation leaves) is asked about only for a name Vemla
// never uses; another's for all but an empty TEXTURE, naming each file to be overwritten, none via a link.
TEST_F(DestinationPageTest, NextAsksAboutAnotherProgramsFolderNamingWhatWouldBeOverwritten)
{
    const std::string ourSetup = ReadFileBytes(TestProgramFolder() + "\\setup.exe");
    const std::string texture = "TEXTURE\\" + std::string(TextureFiles[0].name);
    std::string otherSetup = ourSetup;  // another product's name in the same version resource
    otherSetup[otherSetup.find(Bytes(L"Vemla"), otherSetup.find(Bytes(L"ProductName")))] = 'X';
    // setup.exe: none, Vemla's or another's; ourName: a name Vemla writes (README.TXT) or only removes;
    // TEXTURE: none, linked to the distribution's (holding every texture), empty, or holding one.
    for (int n = 0; n < 2 * 3 * 2 * 3 * 2 * 4; ++n) {
        const int recorded = n % 2, setup = n / 2 % 3, application = n / 6 % 2, ourName = n / 12 % 3;
        const int foreign = n / 36 % 2, textures = n / 72;
        const std::string folder = scratch + "\\" + std::to_string(n);
        SCOPED_TRACE(folder);
        SHCreateDirectoryExA(NULL, (folder + (textures >= 2 ? "\\TEXTURE" : "")).c_str(), NULL);
        const struct { bool made; std::string name, bytes; } files[] = {
            {setup > 0, "setup.exe", setup == 1 ? ourSetup : otherSetup}, {application > 0, "vemla.exe", "x"},
            {ourName > 0, ourName == 1 ? "README.TXT" : "_thumb.idx", "x"}, {foreign > 0, "mine.doc", "x"},
            {textures == 3, texture, "x"}};
        for (const auto &file : files)
            if (file.made)
                WriteFileBytes(folder + "\\" + file.name, file.bytes);
        ASSERT_TRUE(textures != 1 || FolderLink(folder + "\\TEXTURE", source + "\\TEXTURE"));
        registry.Clear();
        if (recorded)
            WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString",
                                ("\"" + folder + "\\setup.exe\" /u").c_str());
        const bool vemlas = (recorded && setup) || setup == 1 || application;
        const bool asked = vemlas ? foreign : setup || ourName || foreign || textures == 1 || textures == 3;
        const std::string listed = std::string(ourName == 1 ? "\nreadme.txt" : "") +
                                   (setup == 2 ? "\nsetup.exe" : "") + (textures == 3 ? "\n" + texture : "");
        HWND page = MakePage();
        SetDlgItemTextA(page, IDC_FOLDER, folder.c_str());
        ScopedMessageBoxScript boxes({IDNO});
        PSHNOTIFY next = {{sheet, 0, (UINT)PSN_WIZNEXT}, 0};
        EXPECT_EQ(asked ? -1 : 0, SendMessageA(page, WM_NOTIFY, 0, (LPARAM)&next)) << "stayed on the page";
        EXPECT_EQ(Shown(!asked ? "" : "インストール: フォルダにはほかのファイルがあります。このフォルダにインストールしますか？" +
                            (vemlas || listed.empty() ? "" : "\n\n次のファイルは上書きされ、アンインストールのときに削除されます。" +
                                                               listed) + "\n"), Shown(boxes.Texts()));
        DestroyWindow(page);
        EXPECT_TRUE(textures != 1 || FolderLink(folder + "\\TEXTURE", ""));
    }
}
