// Both runs in this process, over an isolated registry and a distribution of placeholder files. The
// sweep fails each system call in turn; the other tests take what no failed call makes: warning
// texts, paths that do not fit, where the uninstallation refuses, links.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <chrono>
#include <memory>

#include "base/layout.h"
#include "base/setup_state.h"
#include "core/failure_report.h"
#include "core/install.h"
#include "core/uninstall.h"
#include "system/uninstall_entry.h"
#include "tests/support/fault_injection.h"
#include "tests/support/test_support.h"

enum RunKind { Install, Uninstall };
static const char *const RunNames[] = {"install", "uninstall"};
// Each extension's association before the installation, in the order of Extensions: .jpg and .png
// another program's, .png's a long name read after a short one, so every read must offer its full size.
static const std::vector<std::string> Earlier = {"OtherViewer.Image", std::string(200, 'P'), "", ""};
static const std::string Asked = "セットアップ: Vemlaをアンインストールしますか？\n", Failed = Asked + "セットアップ: アンインストール失敗\n";
static const std::string Uninstalled = Asked + "セットアップ: アンインストールが成功しました。インストールしたフォルダを手動で削除してください。\n";
static const std::vector<int> Positions = {12, 15, 18, 21, 24, 27, 30, 33, 36, 39, 42, 45, 48, 51, 54, 57, 60, 65, 70, 80, 90, 100};

TEST(FailureReport, ShowsTenLinesSumsUpTheRestAndRefusesWhatDoesNotFit)
{
    for (int count : {10, 11, 25}) {
        struct { FailureList list; char guard[MAX_PATH]; } guarded;  // what an eleventh line overruns
        memset(&guarded, 0x55, sizeof guarded);
        FailureList &list = guarded.list;
        ClearFailures(&list);
        AddFailure(&list, "関連付け", ".bmp");
        std::string text = "H\n\n関連付け (.bmp)";
        for (int i = 2; i <= count; ++i) {
            AddFailure(&list, "x", NULL);
            text += i <= 10 ? "\nx" : "";
        }
        text += count > 10 ? "\nほか " + std::to_string(count - 10) + " 件" : "";
        char composed[FailureTextSize];
        EXPECT_EQ(1, ComposeFailureText(composed, sizeof composed, &list, "H", "Bye"));
        EXPECT_EQ(text + "\n\nBye", composed) << count << " items";
        EXPECT_EQ(0, ComposeFailureText(composed, (int)text.size(), &list, "H", NULL)) << "one byte short";
        EXPECT_STREQ("", composed);
        EXPECT_EQ(std::string(MAX_PATH, 0x55), std::string(guarded.guard, MAX_PATH)) << "past the list";
    }
}

static std::vector<int> positions;
static WNDPROC progressProc;

static LRESULT CALLBACK RecordingProgress(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == PBM_SETPOS)
        positions.push_back((int)wparam);
    return CallWindowProcA(progressProc, window, message, wparam, lparam);
}

// A hidden window stands for the options page; its progress bar (control 1010) records positions.
class Runs : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(932u, GetACP()) << "the texts and texture names are code page 932";
        CoInitialize(NULL);
        InitCommonControls();
        page = CreateWindowExA(0, "STATIC", "page", WS_POPUP, 0, 0, 400, 300, NULL, NULL, NULL, NULL);
        HWND bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD, 0, 0, 200, 20, page, (HMENU)1010, NULL, NULL);
        progressProc = (WNDPROC)SetWindowLongPtrA(bar, GWLP_WNDPROC, (LONG_PTR)RecordingProgress);
        // Run from a folder named outside code page 932 (as C:\Users\Müller\Downloads), which the
        // checks read through its short name.
        WriteDistribution(source);
        module.reset(new ScopedSetupModule(RenameFolder(source, L"dist M\u00fcller", &source)));
    }

    void TearDown() override
    {
        DestroyWindow(page);
        module.reset();
        SetCurrentDirectoryA(savedDirectory.c_str());
        RemoveTree(root);
        RemoveInstalledShortcuts();
        CoUninitialize();
    }

    // Before the installation: the user's files, and .jpg belonging to another program; every option.
    void Reset()
    {
        SetCurrentDirectoryA(root.c_str());
        RemoveTree(install);
        RemoveInstalledShortcuts();
        registry.Clear();
        for (const std::string &folder : {install, install + "\\TEXTURE", group})
            CreateDirectoryA(folder.c_str(), NULL);
        for (const std::string &file : UserFiles())
            WriteFileBytes(file, "the user's");
        WriteFileBytes(install + "\\vemla.hlp", "an earlier setup's, copied read-only from a CD-ROM");
        SetFileAttributesA((install + "\\vemla.hlp").c_str(), FILE_ATTRIBUTE_READONLY);
        for (int i = 0; i < 2; ++i) {
            WriteRegistryString(Classes, Extensions[i], "", Earlier[i].c_str());
            WriteRegistryString(Classes, Earlier[i].c_str(), "", "Another viewer's picture");
        }
        // Added to our file type by another program, named outside code page 932: removed with it.
        RegSetKeyValueW(Classes, L"Vemla\\shell\\Caf\x00e9\\command", L"", REG_SZ, L"", 2);
        SetupState.options = InstallOptions{1, 1, 1, 1, 1, 1};
        lstrcpyA(SetupState.installFolder, install.c_str());
        SetupState.sourceFolder[0] = '\0';
    }

    // Beside the install folder (named as a file it removes), in it, in the group.
    std::vector<std::string> UserFiles() const { return {root + "\\readme.txt", install + "\\mine.txt", group + "\\mine.txt"}; }

    // The boxes of one run, answered in turn; an uninstallation runs from the install folder.
    std::string Execute(RunKind run, int function = -1, int n = 0, std::vector<int> answers = {IDYES}, bool stop = false)
    {
        std::unique_ptr<ScopedSetupModule> running(run == Uninstall ? new ScopedSetupModule(install) : NULL);
        ScopedMessageBoxScript boxes(answers);
        positions.clear();
        Faults::Arm(function, n, stop);
        if (__builtin_setjmp(Faults::StopPoint()) == 0) {
            if (run == Install)
                RunInstallation(page);
            else
                RunUninstallation();
        }
        Faults::Disarm();
        owner = boxes.seen.empty() ? page : boxes.seen[0].owner;
        return boxes.Texts();
    }

    // After a run whose call n of function failed, or stopped dead there (the power failed), and a further
    // uninstallation; stopped, the user's recovery: the recorded uninstaller, else a new installation's.
    void Check(RunKind run, const std::string &boxes, const std::string &function, int n, bool stopped = false)
    {
        auto expect = [&](bool good, const std::string &what) {
            if (!good)
                violations.push_back(RunNames[run] + std::string(stopped ? " stopped at " : " with ") + function + " #" +
                                     std::to_string(n) + (stopped ? ": " : " failing: ") + what);
        };
        if (!stopped && boxes == (run == Install ? "" : Uninstalled)) {
            std::string faults = run == Install ? InstallationFaults(install, source, SetupState.options, Earlier)
                                                : UninstallationFaults(install, Earlier);
            expect(faults.empty(), "no warning, yet " + faults);
        }
        expect(stopped || run == Uninstall || positions == Positions, "not every progress position set");
        expect(stopped || run == Uninstall || owner == page, "the warning not on the page");
        bool records = RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey) ||
                       RegistryKeyExists(HKEY_LOCAL_MACHINE, "Software\\Vemla");
        for (int i = 0; i < 4; ++i)
            records |= RegistryText(Classes, Extensions[i], "") == "Vemla";
        for (int row = 0; row < ShortcutCount; ++row)
            records |= FileExists(InstalledShortcutPath(row));
        bool programs = FileExists(install + "\\setup.exe") && FileExists(install + "\\vemla.exe");
        expect(run == Uninstall || !records || programs, "records for a setup.exe or vemla.exe not there");
        // The list of programs shows the entry once it has its name, and runs its command.
        bool recorded = RegistryText(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString") != "(none)" &&
                        RegistryText(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayName") != "(none)" &&
                        FileExists(install + "\\setup.exe");
        if (stopped && run == Install && !recorded)
            Execute(Install);  // every option, as Reset left them
        Execute(Uninstall);
        expect(!stopped || UninstallationFaults(install, Earlier).empty(), "left after the recovery: " +
                                                                             UninstallationFaults(install, Earlier));
        for (const std::string &file : UserFiles())
            expect(ReadFileBytes(file) == "the user's", "the user's " + file.substr(root.size() + 1) + " lost");
        for (int i = 0; i < 2; ++i) {  // another program's
            expect(RegistryKeyExists(Classes, Earlier[i].c_str()), Earlier[i].substr(0, 20) + " lost");
            expect(RegistryText(Classes, Extensions[i], "") == Earlier[i],
                   Extensions[i] + std::string("'s earlier association not back after a further uninstallation"));
        }
    }

    std::string root = MakeScratchFolder("runs"), source = root + "\\dist", install = root + "\\Vemla 1";
    std::string group = SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla", savedDirectory = CurrentDirectory();
    HWND page = NULL, owner = NULL;
    ScopedRegistryOverride registry;
    std::unique_ptr<ScopedSetupModule> module;
    std::vector<std::string> violations;
};

TEST_F(Runs, SweepEveryFailedOrStoppedCallIsReportedOrRecoveredAndLosesNothingOfTheUsers)
{
    for (bool stop : {false, true}) {
        auto start = std::chrono::steady_clock::now();
        int runs = 0;
        for (RunKind run : {Install, Uninstall}) {
            auto prepare = [&] {
                Reset();
                EXPECT_TRUE(run == Install || Execute(Install).empty()) << "the clean installation before an uninstallation";
            };
            prepare();
            std::string clean = Execute(run);
            EXPECT_EQ(run == Install ? "" : Uninstalled, clean) << "a clean run, whose work every check below compares";
            std::vector<int> calls;
            std::string counted;
            for (int f = 0; f < Faults::FunctionCount(); ++f) {
                calls.push_back(Faults::Calls(f));
                counted += std::string(" ") + Faults::FunctionName(f) + " " + std::to_string(calls[f]);
            }
            if (!stop)
                printf("%s, calls of a clean run:%s\n", RunNames[run], counted.c_str());
            EXPECT_EQ(1, Faults::Calls(Faults::FunctionNamed("SHChangeNotify"))) << "the shell told once";
            Check(run, clean, "nothing", 0);
            for (int f = 0; f < Faults::FunctionCount(); ++f) {
                for (int n = 1; n <= calls[f]; ++n, ++runs) {
                    prepare();
                    std::string boxes = Execute(run, f, n, {IDYES}, stop);
                    EXPECT_TRUE(Faults::Injected()) << RunNames[run] << " " << Faults::FunctionName(f) << " #" << n;
                    Check(run, boxes, Faults::FunctionName(f), n, stop);
                }
            }
        }
        EXPECT_GT(runs, ProgramFileCount + TextureFileCount + RemovalCount) << "the import table was not patched";
        printf("fault sweep: %d runs with a call %s in %.1f s\n", runs, stop ? "stopping the run" : "failing",
               std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    for (const std::string &violation : violations)
        ADD_FAILURE() << violation;
    printf("fault sweep: %zu violations\n", violations.size());
}

TEST_F(Runs, PathsThatDoNotFitAndWhatFailsAreNamedInOneWarning)
{
    const std::vector<std::string> files = DistributionFiles();
    // The command and the name make the entry usable (RegSetValueExA #1 and #2): another value
    // that fails is named, and the associations go on.
    Reset();
    EXPECT_EQ("インストール: 次の項目をインストールできませんでした。\n\nアンインストール情報 (InstallLocation)\n",
              Execute(Install, Faults::FunctionNamed("RegSetValueExA"), 3));
    EXPECT_EQ("Vemla", RegistryText(Classes, ".jpg", "")) << "the associations not written";
    SetupState.options.associateJpeg = SetupState.options.associatePng = 0;  // fewer in Default apps
    Execute(Install);
    const std::string types = CapabilitiesKey + std::string("\\FileAssociations");
    for (const char *extension : Extensions)
        EXPECT_EQ(extension[1] == 'b' || extension[1] == 'd' ? "Vemla" : "(none)",
                  RegistryText(HKEY_LOCAL_MACHINE, types.c_str(), extension));
    // The longest folder the destination page takes, where the longest path of the installation just fits,
    // installs and uninstalls cleanly; a byte more and that file is refused, not copied under a cut name.
    auto shorter = [](const std::string &a, const std::string &b) { return a.size() < b.size(); };
    const std::string last = *std::max_element(files.begin(), files.end(), shorter);
    const std::string shallow = install;
    for (size_t length : {MAX_PATH - 2 - last.size(), MAX_PATH - 1 - last.size()}) {
        Reset();
        while (install.size() < length)  // folders of 60 bytes at most
            install += "\\" + std::string(std::min<size_t>(60, length - 1 - install.size()), 'd');
        ASSERT_EQ(ERROR_SUCCESS, SHCreateDirectoryExA(NULL, (install + "\\TEXTURE").c_str(), NULL));
        lstrcpyA(SetupState.installFolder, install.c_str());
        const bool fits = length == MAX_PATH - 2 - last.size();
        EXPECT_EQ(fits ? "" : "インストール: 次の項目をインストールできませんでした。\n\n" + last + "\n", Execute(Install));
        EXPECT_EQ(TextureFileCount - !fits, CountFolderEntries(install + "\\TEXTURE")) << "under a cut name";
        if (fits) {  // complete, and removed completely
            EXPECT_EQ("", InstallationFaults(install, source, SetupState.options, Earlier));
            EXPECT_EQ(Uninstalled, Execute(Uninstall));
            EXPECT_EQ("", UninstallationFaults(install, Earlier));
        }
        install = shallow;
    }
}

// From a clean installation: only the recorded folder's setup.exe removes anything.
TEST_F(Runs, OnlyTheRecordedFoldersSetupUninstalls)
{
    Reset();
    char shortName[MAX_PATH];
    ASSERT_NE(0u, GetShortPathNameA(install.c_str(), shortName, sizeof shortName));
    ASSERT_NE(install, shortName) << "the prefix makes no short names";
    std::string upper = install, quoted = "\"" + install + "\\setup.exe\" /u";
    CharUpperA(&upper[0]);
    const struct { const char *kind; std::string command, boxes; } cases[] = {
        {"declined", quoted, Asked}, {"no entry", "", Failed}, {"other folder", "\"" + root + "\\setup.exe\" /u", Failed},
        {"other folder unquoted", root + "\\setup.exe /u", Failed}, {"subfolder", "\"" + install + "\\gone\\setup.exe\" /u", Failed},
        {"unterminated quote", "\"" + install + "\\setup.exe /u", Failed}, {"no folder", "setup.exe /u", Failed},
        {"quoted", quoted, Uninstalled}, {"other letter case", "\"" + upper + "\\SETUP.EXE\" /u", Uninstalled},
        {"short spelling", "\"" + std::string(shortName) + "\\setup.exe\" /u", Uninstalled},
        {"unquoted from an earlier setup", install + "\\setup.exe /u", Uninstalled},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.kind);
        Reset();
        ASSERT_EQ("", Execute(Install));
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString");
        if (!c.command.empty())
            WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString", c.command.c_str());
        EXPECT_EQ(c.boxes, Execute(Uninstall, -1, 0, {c.boxes == Asked ? IDNO : IDYES}));
        if (c.boxes != Uninstalled)  // as installed, to compare
            WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString", quoted.c_str());
        EXPECT_EQ("", c.boxes == Uninstalled ? UninstallationFaults(install, Earlier)
                                             : InstallationFaults(install, source, SetupState.options, Earlier));
    }
}

// The installed setup.exe started again finds its files in place, not copied onto themselves; a Send To
// folder that the profile lost holds no shortcut of ours, and the uninstallation can finish.
TEST_F(Runs, OwnFilesAreInPlaceAndAShellFolderThatIsGoneHoldsNothingToRemove)
{
    Reset();
    ASSERT_EQ("", Execute(Install));
    std::unique_ptr<ScopedSetupModule> installed(new ScopedSetupModule(install));
    EXPECT_EQ("", Execute(Install));
    installed.reset();
    EXPECT_EQ("", InstallationFaults(install, source, SetupState.options, Earlier));
    const std::string sendTo = SpecialFolder(CSIDL_SENDTO);
    ASSERT_TRUE(DeleteFileA((sendTo + "\\vemla.lnk").c_str()) && RemoveDirectoryA(sendTo.c_str()));
    EXPECT_EQ(Uninstalled, Execute(Uninstall));
    CreateDirectoryA(sendTo.c_str(), NULL);
    EXPECT_EQ("", UninstallationFaults(install, Earlier));
}

// An existing folder outside Program Files that holds Vemla's files alone, or nothing, gets Program Files'
// rights before the first copy; one with the user's files keeps its own, as does one on a drive mapped to a
// share, on a volume without rights, or whose texture folder is a link that would carry them on.
TEST_F(Runs, AnExistingFolderOfOursAloneGetsProgramFilesRights)
{
    const std::vector<std::string> set = {"set D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"
                                          "(A;OICI;0x1200a9;;;AC)"};
    const std::string hlp = install + "\\vemla.hlp", textures = install + "\\TEXTURE";
    enum { UsersFile, Empty, Reinstall, Remote, NoAcls, Linked };
    for (int c : {UsersFile, Empty, Reinstall, Remote, NoAcls, Linked}) {
        SCOPED_TRACE(c);
        Reset();
        if (c != UsersFile)
            ASSERT_TRUE(DeleteFileA((install + "\\mine.txt").c_str()));
        if (c == Reinstall)
            Execute(Install);
        else if (c != UsersFile)
            ASSERT_TRUE(SetFileAttributesA(hlp.c_str(), 0) && DeleteFileA(hlp.c_str()));
        if (c == Linked)
            ASSERT_TRUE(RemoveDirectoryA(textures.c_str()) && FolderLink(textures, root));
        Faults::FakeDrive(c == Remote ? DRIVE_REMOTE : 0, c == NoAcls ? FILE_CASE_PRESERVED_NAMES : 0);
        Execute(Install);
        Faults::FakeDrive(0, 0);
        std::vector<std::string> given;
        for (const std::string &rights : Faults::FolderRights())
            if (rights.compare(0, 4, "set ") == 0)
                given.push_back(rights);
        EXPECT_EQ(c == Empty || c == Reinstall ? set : std::vector<std::string>{}, given);
        EXPECT_TRUE(c != Linked || FolderLink(textures, ""));
    }
}

// Run as administrator over folders a user may write: nothing reached through a link, nothing the
// installation did not write.
TEST_F(Runs, NeitherRunWritesOrDeletesThroughLinksAndTheUsersOwnFilesStay)
{
    std::string target = root + "\\precious";
    const std::string links = "TEXTURE (リンク)\nVemla (リンク)", again = "原因を取り除いてから、もう一度アンインストールしてください。";
    const std::string yours = "残したフォルダにはお客様のファイルがあります。不要な場合は、手動で削除してください。";
    for (bool linked : {false, true}) {
        SCOPED_TRACE(linked ? "linked" : "the user's files");
        Reset();
        std::vector<std::string> kept = {install + "\\TEXTURE\\mine.bmp", group + "\\mine.txt"};
        if (linked) {
            kept = {target + "\\precious.txt", target + "\\deeper\\more.txt", target + "\\Vemla.lnk", target + "\\" + TextureFiles[0].name};
            RemoveTree(install + "\\TEXTURE");
            RemoveTree(group);
            ASSERT_EQ(ERROR_SUCCESS, SHCreateDirectoryExA(NULL, (target + "\\deeper").c_str(), NULL));
            ASSERT_TRUE(FolderLink(install + "\\TEXTURE", target) && FolderLink(group, target));
        }
        for (const std::string &file : kept)
            WriteFileBytes(file, "mine");
        EXPECT_EQ(linked ? "インストール: 次の項目をインストールできませんでした。\n\n" + links + "\n" : "", Execute(Install));
        EXPECT_EQ(Asked + "セットアップ: 次の項目を削除できませんでした。\n\n" + (linked ? links : "TEXTURE") + "\n\n" +
                      (linked ? again : yours) + "\n", Execute(Uninstall));
        for (const std::string &file : kept)
            EXPECT_EQ("mine", ReadFileBytes(file)) << file;
        EXPECT_EQ(linked ? 4 : 1, CountFolderEntries(linked ? target : install + "\\TEXTURE"));
        EXPECT_EQ(linked ? 4 : 1, CountFolderEntries(group)) << "the user's file or the link's target";
        EXPECT_EQ(linked, RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey)) << "kept while a link of ours stays";
    }
    EXPECT_TRUE(FolderLink(group, "") && FolderLink(install + "\\TEXTURE", ""));
}

// OneDrive keeps the desktop's files as placeholders, reparse points that are no links: a reinstallation
// replaces them and the uninstallation deletes them; a link is refused. Copies lose the Mark of the Web.
TEST_F(Runs, CloudPlaceholdersAreOrdinaryFilesAndFoldersAndCopiesLoseTheMarkOfTheWeb)
{
    const std::string shortcut = "ショートカット (vemla.lnk)\n", mark = ":Zone.Identifier";
    const DWORD cloud = IO_REPARSE_TAG_CLOUD;  // the group's Vemla.lnk is named so too, letter case aside
    const struct { const char *name; DWORD tag; std::string boxes; } cases[] = {
        {"vemla.lnk", cloud, ""}, {"TEXTURE", cloud, ""}, {"Vemla", cloud, ""},
        {"vemla.lnk", IO_REPARSE_TAG_SYMLINK, "インストール: 次の項目をインストールできませんでした。\n\n" + shortcut +
                                                  shortcut + "ショートカット (Vemla.lnk)\n"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name + std::string(c.boxes.empty() ? " in the cloud" : " linked"));
        Reset();
        ASSERT_EQ("", Execute(Install));
        const std::vector<std::string> marked = {install + "\\vemla.exe", install + "\\setup.exe",
                                                 install + "\\TEXTURE\\" + TextureFiles[11].name};
        for (const std::string &file : marked)  // as a download leaves it (under Wine, a file)
            WriteFileBytes(file + mark, "[ZoneTransfer]\r\nZoneId=3\r\n");
        Faults::FakeReparsePoint(c.name, c.tag);
        EXPECT_EQ(c.boxes, Execute(Install));
        for (const std::string &file : marked)
            EXPECT_FALSE(FileExists(file + mark)) << file;
        if (c.boxes.empty())
            EXPECT_EQ(Uninstalled, Execute(Uninstall));
        Faults::FakeReparsePoint(NULL, 0);
        EXPECT_TRUE(!c.boxes.empty() || UninstallationFaults(install, Earlier).empty());
    }
}

static std::string swapFolder, swapTarget;
static bool swapMade;

// A user may swap a checked folder for a link the moment the run writes in it (timed with an opportunistic
// lock): each run holds the folder from its check to its last write or deletion in it: the swap is refused.
TEST_F(Runs, FoldersCheckedForLinksAreHeldUntilTheRunIsDoneInThem)
{
    swapTarget = root + "\\precious";
    const struct { RunKind run; const char *function; int n; std::string folder; } cases[] = {
        {Install, "CopyFileA", 8, install + "\\TEXTURE"},  // the first texture, after vemla.hlp's second try
        {Install, "CoCreateInstance", 3, group},  // the group's first shortcut
        {Uninstall, "SetCurrentDirectoryA", 2, install + "\\TEXTURE"}};  // entered to delete the textures
    for (const auto &c : cases) {
        SCOPED_TRACE(c.function);
        Reset();
        ASSERT_EQ("", c.run == Uninstall ? Execute(Install) : "");
        CreateDirectoryA(swapTarget.c_str(), NULL);
        WriteFileBytes(swapTarget + "\\" + TextureFiles[0].name, "mine");
        swapFolder = c.folder, swapMade = false;
        Faults::BeforeCall(Faults::FunctionNamed(c.function), c.n, [] {
            swapMade = MoveFileA(swapFolder.c_str(), (swapFolder + "-moved").c_str()) &&
                       FolderLink(swapFolder, swapTarget);
        });
        Execute(c.run);
        Faults::BeforeCall(-1, 0, NULL);
        EXPECT_FALSE(swapMade) << "the folder swapped for a link";
        EXPECT_EQ(1, CountFolderEntries(swapTarget)) << "written or deleted through the link";
        if (swapMade && FolderLink(swapFolder, ""))
            MoveFileA((swapFolder + "-moved").c_str(), swapFolder.c_str());
        RemoveTree(swapTarget);
    }
}

// Windows keeps a running program's file open: the uninstallation asks until Vemla has ended, or changes
// nothing.
TEST_F(Runs, UninstallationAsksToEndARunningVemlaFirst)
{
    Reset();
    ASSERT_EQ("", Execute(Install));
    std::string application = install + "\\vemla.exe";
    HANDLE held = CreateFileA(application.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, 0);
    const std::string running = "セットアップ: Vemlaが実行中です。Vemlaを終了してから「再試行」を押してください。\n";
    EXPECT_EQ(Asked + running + running, Execute(Uninstall, -1, 0, {IDYES, IDRETRY, IDCANCEL}));
    CloseHandle(held);
    EXPECT_EQ("", InstallationFaults(install, source, SetupState.options, Earlier)) << "changed, cancelled";
    RegDeleteTreeA(Classes, ".dib");  // gone meanwhile: nothing to give back, no failure
    EXPECT_EQ(Uninstalled, Execute(Uninstall));
}
