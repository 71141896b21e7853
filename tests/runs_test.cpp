// The installation and uninstallation runs: progress, what each option writes, the warnings' texts, where
// the uninstallation refuses, what it gives back exactly, and what of others it never touches. (Every
// failing system call: fault_sweep_test.)
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <memory>

#include "base/layout.h"
#include "base/setup_state.h"
#include "core/failure_report.h"
#include "core/install.h"
#include "core/uninstall.h"
#include "system/registry_records.h"
#include "tests/support/test_support.h"

TEST(FailureReport, ShowsTenLinesSumsUpTheRestAndRefusesWhatDoesNotFit)
{
    for (int count : {10, 11, 25}) {
        FailureList list;
        ClearFailures(&list);
        std::string text = "H\n\n関連付け (.bmp)";
        AddFailure(&list, "関連付け", ".bmp");
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
class InstallRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(932u, GetACP()) << "the texture names are code page 932";
        CoInitialize(NULL);
        InitCommonControls();
        RemoveInstalledShortcuts();
        page = CreateWindowExA(0, "STATIC", "page", WS_POPUP, 0, 0, 400, 300, NULL, NULL, NULL, NULL);
        HWND bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD, 0, 0, 200, 20, page, (HMENU)1010, NULL, NULL);
        progressProc = (WNDPROC)SetWindowLongPtrA(bar, GWLP_WNDPROC, (LONG_PTR)RecordingProgress);
        for (const std::string &folder : {source, install})
            ASSERT_TRUE(CreateDirectoryA((folder + "\\TEXTURE").c_str(), NULL));
        files = WriteDistribution(source);
        module.reset(new ScopedSetupModule(source));
        lstrcpyA(SetupState.installFolder, install.c_str());
    }

    void TearDown() override
    {
        DestroyWindow(page);
        module.reset();
        SetCurrentDirectoryA(savedDirectory.c_str());
        RemoveTree(source);
        RemoveTree(install);
        RemoveInstalledShortcuts();
        CoUninitialize();
    }

    // The boxes shown; every position is set whatever failed.
    std::string Install(const InstallOptions &options)
    {
        positions.clear();
        SetupState.options = options;
        ScopedMessageBoxScript boxes;
        RunInstallation(page);
        EXPECT_EQ(std::vector<int>({12, 15, 18, 21, 24, 27, 30, 33, 36, 39, 42, 45, 48, 51, 54, 57, 60, 65, 70, 80, 90, 100}),
                  positions);
        std::string seen;
        for (const SeenMessageBox &box : boxes.seen)
            seen += box.caption + ": " + box.text + (box.owner == page ? "" : " (not on the page)");
        return seen;
    }

    std::string source = MakeScratchFolder("dist"), install = MakeScratchFolder("install folder");  // a blank
    std::string savedDirectory = CurrentDirectory();
    std::vector<std::string> files;  // relative to source
    HWND page = NULL;
    std::unique_ptr<ScopedSetupModule> module;
    ScopedRegistryOverride registry;
};

TEST_F(InstallRun, EachOptionWritesItsOwnRecordsOnly)
{
    for (const InstallOptions &options : {InstallOptions{0, 0, 0, 0, 0, 0}, InstallOptions{0, 1, 0, 0, 0, 1},
                                          InstallOptions{1, 0, 1, 1, 1, 0}, InstallOptions{0, 0, 0, 0, 1, 0}}) {
        SCOPED_TRACE(testing::PrintToString(std::vector<int>(&options.associateJpeg, &options.sendToShortcut + 1)));
        RemoveInstalledShortcuts();
        for (const char *key : {ProgIdKey, ".jpg", ".png", ".bmp", ".dib"})
            RegDeleteTreeA(HKEY_CLASSES_ROOT, key);
        EXPECT_EQ("", Install(options));
        EXPECT_EQ(source + "\\", SetupState.sourceFolder);
        EXPECT_EQ("", InstallationFaults(install, source, options, std::vector<std::string>(4, "(none)")));
    }
}

TEST_F(InstallRun, PathsThatDoNotFitAndWhatFailsAreNamedInOneWarning)
{
    const std::string heading = "インストール: 次の項目をインストールできませんでした。\n\n";
    auto textures = [&](int count) {
        std::string lines;
        for (int i = 0; i < count; ++i)
            lines += "\n" + files[ProgramFileCount + i];
        return lines;
    };
    // A folder of 244 bytes: the program files fit in MAX_PATH, no texture path does (the shortest,
    // "TEXTURE\岩肌.BMP", needs 244 + 17 bytes and its NUL).
    std::string deep = install;
    while (deep.size() < 244)
        ASSERT_TRUE(CreateDirectoryA((deep += "\\" + std::string(std::min<size_t>(60, 243 - deep.size()), 'd')).c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA((deep + "\\TEXTURE").c_str(), NULL));
    lstrcpyA(SetupState.installFolder, deep.c_str());
    EXPECT_EQ(heading + textures(10).substr(1) + "\nほか 2 件", Install({}));
    EXPECT_TRUE(FileExists(deep + "\\setup.exe"));
    EXPECT_EQ(0, CountFolderEntries(deep + "\\TEXTURE")) << "written under a cut name";

    lstrcpyA(SetupState.installFolder, install.c_str());
    SetFileAttributesA((source + "\\vemla.hlp").c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA((source + "\\vemla.hlp").c_str());
    RemoveTree(source + "\\TEXTURE");
    WriteFileBytes(install + "\\readme.txt", "locked");  // held open without sharing
    HANDLE locked = CreateFileA((install + "\\readme.txt").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(heading + "vemla.hlp\nreadme.txt" + textures(8) + "\nほか 4 件", Install({}));
    CloseHandle(locked);
    EXPECT_EQ("locked", ReadFileBytes(install + "\\readme.txt"));
}

static const char Success[] = "アンインストールが成功しました。インストールしたフォルダを手動で削除してください。";
static const char Refused[] = "アンインストール失敗";
static const std::wstring LongName(200, L'P'), Cafe = L"Caf\x00e9.Image\x2122";  // not in code page 932
static const struct {
    const wchar_t *extension;
    std::wstring value, previous;  // before; previous empty: none saved
    DWORD type;                    // of previous, and so of what is given back
    std::wstring restored;
} Associations[] = {
    {L".jpg", L"Other.Viewer", L"Vemla", REG_SZ, L"Other.Viewer"},  // a stale saved value goes
    {L".png", L"Vemla", Cafe, REG_EXPAND_SZ, Cafe},                 // registered: given back exactly
    {L".bmp", L"Vemla", L"Gone.Program", REG_SZ, L""},
    {L".dib", LongName, L"", REG_SZ, LongName},  // read after a short value: every query offers the full size
};

class UninstallRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(932u, GetACP()) << "the texts and texture names are code page 932";
        CoInitialize(NULL);
        RemoveInstalledShortcuts();
        module.reset(new ScopedSetupModule(install));
        CreateDirectoryA((install + "\\TEXTURE").c_str(), NULL);
        for (const char *name : RemovalList)
            if (lstrcmpA(name, "setup.exe"))  // the running one
                WriteFileBytes(install + "\\" + name, name);
        for (const LayoutFile &file : TextureFiles)
            WriteFileBytes(install + "\\TEXTURE\\" + file.name, file.name);
        // Read-only, as an earlier setup copied them from a CD-ROM.
        SetFileAttributesA((install + "\\TEXTURE\\" + TextureFiles[0].name).c_str(), FILE_ATTRIBUTE_READONLY);
        SetFileAttributesA((install + "\\license.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        RegCreateKeyExW(HKEY_CLASSES_ROOT, Cafe.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
        RegCloseKey(key);
        for (const auto &a : Associations) {
            SetWide(a.extension, L"", REG_SZ, a.value);
            SetWide(a.extension, L"Content Type", REG_SZ, L"image/x");
            if (!a.previous.empty())
                SetWide(a.extension, L"VemlaPrevious", a.type, a.previous);
            for (const wchar_t *program : {L"Vemla", L"Other"})
                RegSetKeyValueW(HKEY_CLASSES_ROOT, (a.extension + std::wstring(L"\\OpenWithProgids")).c_str(), program, REG_NONE, NULL, 0);
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

    static void SetWide(const wchar_t *key, const wchar_t *name, DWORD type, const std::wstring &text)
    {
        RegSetKeyValueW(HKEY_CLASSES_ROOT, key, name, type, text.c_str(), (DWORD)(text.size() + 1) * 2);
    }

    // The file type with a subkey named outside code page 932, and the uninstall entry.
    void WriteRecords(const std::string &uninstallString)
    {
        RegCreateKeyExW(HKEY_CLASSES_ROOT, L"Vemla\\shell\\Caf\x00e9\\command", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
        RegCloseKey(key);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, UninstallKey);
        if (!uninstallString.empty())
            WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString", uninstallString.c_str());
    }

    // Confirms the run and expects it to end with text, under a watchdog; declines it when text is null.
    void Uninstall(const char *text)
    {
        ScopedMessageBoxScript boxes({text ? IDYES : IDNO});
        HANDLE done = CreateEventA(NULL, TRUE, FALSE, NULL);
        HANDLE watchdog = CreateThread(NULL, 0, [](void *event) -> DWORD {
            if (WaitForSingleObject(event, 30000) == WAIT_TIMEOUT) {
                fprintf(stderr, "the uninstallation did not end within 30 s\n");
                TerminateProcess(GetCurrentProcess(), 3);
            }
            return 0;
        }, done, 0, NULL);
        RunUninstallation();
        SetEvent(done);
        WaitForSingleObject(watchdog, INFINITE);
        CloseHandle(watchdog);
        CloseHandle(done);
        ASSERT_EQ(text ? 2u : 1u, boxes.seen.size());
        EXPECT_EQ("セットアップ: Vemlaをアンインストールしますか？", boxes.seen[0].caption + ": " + boxes.seen[0].text);
        if (text)
            EXPECT_EQ(std::string("セットアップ: ") + text, boxes.seen[1].caption + ": " + boxes.seen[1].text);
    }

    // A blank, and a long name so that its short 8.3 spelling differs.
    std::string install = MakeScratchFolder("installed application"), elsewhere = MakeScratchFolder("elsewhere");
    std::string savedDirectory = CurrentDirectory();
    std::unique_ptr<ScopedSetupModule> module;
    ScopedRegistryOverride registry;
    HKEY key;
};

TEST_F(UninstallRun, RemovesAllAndGivesBackExactlyOnlyWhenConfirmedAndRunFromTheRecordedFolder)
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
        for (int row = 0; row < ShortcutCount; ++row)
            EXPECT_EQ(!removed, FileExists(InstalledShortcutPath(row))) << InstalledShortcutPath(row);
        EXPECT_EQ(!removed, FolderExists(SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla"));
        EXPECT_EQ(!removed, RegistryKeyExists(HKEY_CLASSES_ROOT, ProgIdKey)) << "with its subkeys";
        EXPECT_EQ(!removed && !c.command.empty(), RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey));
        for (const auto &a : Associations) {
            std::wstring offered = a.extension + std::wstring(L"\\OpenWithProgids");
            RegistryValue value = ReadRegistryValueW(HKEY_CLASSES_ROOT, a.extension, L"");
            bool exact = removed && !a.restored.empty() && a.restored != a.value;
            EXPECT_EQ(std::to_string(exact ? a.type : REG_SZ) + Bytes((removed ? a.restored : a.value) + L'\0'),
                      std::to_string(value.type) + value.bytes) << "the value of " << a.extension;
            EXPECT_EQ(!removed && !a.previous.empty(), ReadRegistryValueW(HKEY_CLASSES_ROOT, a.extension, L"VemlaPrevious").found);
            EXPECT_TRUE(ReadRegistryValueW(HKEY_CLASSES_ROOT, a.extension, L"Content Type").found);
            EXPECT_EQ(!removed, ReadRegistryValueW(HKEY_CLASSES_ROOT, offered.c_str(), L"Vemla").found);
            EXPECT_TRUE(ReadRegistryValueW(HKEY_CLASSES_ROOT, offered.c_str(), L"Other").found);
        }
    }
}

// Run as administrator over folders a user may write: nothing reached through a link, nothing the
// installation did not write.
TEST_F(UninstallRun, KeepsTheUsersOwnFilesAndNeverDeletesThroughLinks)
{
    std::string group = SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla", target = elsewhere + "\\precious";
    for (bool linked : {false, true}) {
        SCOPED_TRACE(linked ? "linked" : "the user's files");
        std::vector<std::string> kept = {install + "\\TEXTURE\\mine.bmp", group + "\\mine.txt"};
        if (linked) {
            kept = {target + "\\precious.txt", target + "\\deeper\\more.txt", target + "\\Vemla.lnk",
                    target + "\\" + TextureFiles[0].name};
            RemoveTree(install + "\\TEXTURE");
            RemoveTree(group);
            CreateDirectoryA(target.c_str(), NULL);
            CreateDirectoryA((target + "\\deeper").c_str(), NULL);
            ASSERT_TRUE(FolderLink(install + "\\TEXTURE", target) && FolderLink(group, target));
            WriteRecords("\"" + install + "\\setup.exe\" /u");
        }
        for (const std::string &file : kept)
            WriteFileBytes(file, "mine");
        Uninstall(linked ? "次の項目を削除できませんでした。\n\nTEXTURE (リンク)\nVemla (リンク)\n\n"
                           "インストールしたフォルダを手動で削除してください。"
                         : "次の項目を削除できませんでした。\n\nTEXTURE\n\nインストールしたフォルダを手動で削除してください。");
        for (const std::string &file : kept)
            EXPECT_EQ("mine", ReadFileBytes(file)) << file;
        EXPECT_EQ(linked ? 4 : 1, CountFolderEntries(linked ? target : install + "\\TEXTURE"));
        EXPECT_EQ(linked ? 4 : 1, CountFolderEntries(group)) << "the user's file or the link's target";
        EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ProgIdKey));
        EXPECT_EQ(linked, RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey)) << "kept while a link of ours stays";
    }
    EXPECT_TRUE(FolderLink(group, "") && FolderLink(install + "\\TEXTURE", ""));
}
