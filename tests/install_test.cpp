// The installation run: what it copies and writes, its progress, and what it reports as failed.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <memory>

#include "core/failure_report.h"
#include "core/install.h"
#include "core/layout.h"
#include "core/setup_state.h"
#include "system/registry_records.h"
#include "tests/support/test_support.h"

static const char Heading[] = "次の項目をインストールできませんでした。";

TEST(FailureReport, LinesDetailsAndSummary)
{
    static const struct {
        int count;
        const char *closing;
        const char *expected;
    } cases[] = {
        {1, NULL, "H\n\nitem1"},
        {2, "Bye", "H\n\nitem1\n関連付け (.bmp)\n\nBye"},
        {10, NULL, "H\n\nitem1\n関連付け (.bmp)\nitem3\nitem4\nitem5\nitem6\nitem7\nitem8\nitem9\nitem10"},
        {11, NULL, "H\n\nitem1\n関連付け (.bmp)\nitem3\nitem4\nitem5\nitem6\nitem7\nitem8\nitem9\nitem10\nほか 1 件"},
        {23, "Bye", "H\n\nitem1\n関連付け (.bmp)\nitem3\nitem4\nitem5\nitem6\nitem7\nitem8\nitem9\nitem10\nほか 13 件\n\nBye"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.count);
        FailureList list;
        ClearFailures(&list);
        for (int i = 1; i <= c.count; ++i) {
            char item[16];
            wsprintfA(item, "item%d", i);
            if (i == 2)
                AddFailure(&list, "関連付け", ".bmp");
            else
                AddFailure(&list, item, NULL);
        }
        EXPECT_EQ(c.count, list.count);
        char text[FailureTextSize];
        EXPECT_EQ(1, ComposeFailureText(text, sizeof text, &list, "H", c.closing));
        EXPECT_STREQ(c.expected, text);
    }
}

TEST(FailureReport, TextThatDoesNotFitIsRefused)
{
    FailureList list;
    ClearFailures(&list);
    AddFailure(&list, "vemla.exe", NULL);
    char text[20];
    memset(text, 0x55, sizeof text);
    EXPECT_EQ(0, ComposeFailureText(text, sizeof text, &list, "次の項目を削除できませんでした。", NULL));
    EXPECT_STREQ("", text);
    EXPECT_EQ(1, ComposeFailureText(text, sizeof text, &list, "H", NULL));
    EXPECT_STREQ("H\n\nvemla.exe", text);
}

// A hidden window standing for the options page, with a progress bar (control 1010) that
// records every position it is given.
static std::vector<int> *recordedPositions;
static WNDPROC progressProc;

static LRESULT CALLBACK RecordingProgress(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == PBM_SETPOS && recordedPositions)
        recordedPositions->push_back((int)wparam);
    return CallWindowProcA(progressProc, window, message, wparam, lparam);
}

class InstallRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(932u, GetACP()) << "the texture names are code page 932";
        CoInitialize(NULL);
        InitCommonControls();
        savedDirectory = CurrentDirectory();
        RemoveInstalledShortcuts();

        page = CreateWindowExA(0, "STATIC", "page", WS_POPUP, 0, 0, 400, 300, NULL, NULL, NULL, NULL);
        ASSERT_NE((HWND)NULL, page);
        HWND bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD, 0, 0, 200, 20, page,
                                   (HMENU)1010, NULL, NULL);
        ASSERT_NE((HWND)NULL, bar);
        progressProc = (WNDPROC)SetWindowLongPtrA(bar, GWLP_WNDPROC, (LONG_PTR)RecordingProgress);
        recordedPositions = &positions;

        source = MakeScratchFolder("dist");
        install = MakeScratchFolder("install");
        ASSERT_TRUE(CreateDirectoryA((install + "\\TEXTURE").c_str(), NULL));
        ASSERT_TRUE(CreateDirectoryA((source + "\\TEXTURE").c_str(), NULL));
        for (const LayoutFile &file : ProgramFiles) {
            if (lstrcmpA(file.name, "setup.exe") != 0)
                WriteFileBytes(SourceFile(file.name), std::string("program ") + file.name);
        }
        for (const LayoutFile &file : TextureFiles)
            WriteFileBytes(SourceTexture(file.name), std::string("BM texture ") + file.name);
        module.reset(new ScopedSetupModule(source));

        ZeroMemory(&SetupState.options, sizeof SetupState.options);
        lstrcpyA(SetupState.installFolder, install.c_str());
    }

    void TearDown() override
    {
        recordedPositions = NULL;
        if (page)
            DestroyWindow(page);
        module.reset();
        SetCurrentDirectoryA(savedDirectory.c_str());
        RemoveTree(source);
        RemoveTree(install);
        RemoveInstalledShortcuts();
        SetupState.installFolder[0] = '\0';
        SetupState.sourceFolder[0] = '\0';
        CoUninitialize();
    }

    std::string SourceFile(const char *name) { return source + "\\" + name; }
    std::string SourceTexture(const char *name) { return source + "\\TEXTURE\\" + name; }
    std::string InstalledFile(const char *name) { return install + "\\" + name; }
    std::string InstalledTexture(const char *name) { return install + "\\TEXTURE\\" + name; }

    void SetAllOptions()
    {
        InstallOptions &o = SetupState.options;
        o.associateJpeg = o.associateBitmap = o.associatePng = 1;
        o.desktopShortcut = o.startMenuGroup = o.sendToShortcut = 1;
    }

    // Every file of the tables that is not named in skipped is in place, byte-identical.
    void ExpectCopied(const std::vector<std::string> &skipped = {})
    {
        auto isSkipped = [&](const std::string &name) {
            for (const auto &s : skipped)
                if (s == name)
                    return true;
            return false;
        };
        for (const LayoutFile &file : ProgramFiles) {
            if (isSkipped(file.name))
                continue;
            std::string copied = ReadFileBytes(InstalledFile(file.name));
            EXPECT_FALSE(copied.empty()) << file.name;
            EXPECT_TRUE(copied == ReadFileBytes(SourceFile(file.name))) << file.name;
        }
        for (const LayoutFile &file : TextureFiles) {
            if (isSkipped(std::string("TEXTURE\\") + file.name))
                continue;
            EXPECT_EQ(ReadFileBytes(SourceTexture(file.name)),
                      ReadFileBytes(InstalledTexture(file.name)))
                << file.name;
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

    std::string source, install, savedDirectory;
    HWND page = NULL;
    std::vector<int> positions;
    std::unique_ptr<ScopedSetupModule> module;
    ScopedRegistryOverride registry;
};

TEST_F(InstallRun, ProgressVisitsEveryPositionWhateverHappens)
{
    const std::vector<int> expected = {12, 15, 18, 21, 24, 27, 30, 33, 36, 39, 42, 45,
                                       48, 51, 54, 57, 60, 65, 70, 80, 90, 100};
    static const char *const runs[] = {"no option", "all options", "empty distribution"};
    for (const char *run : runs) {
        SCOPED_TRACE(run);
        positions.clear();
        ZeroMemory(&SetupState.options, sizeof SetupState.options);
        if (lstrcmpA(run, "all options") == 0)
            SetAllOptions();
        if (lstrcmpA(run, "empty distribution") == 0) {
            for (const LayoutFile &file : ProgramFiles)
                DeleteFileA(SourceFile(file.name).c_str());  // setup.exe stays: it is loaded
            RemoveTree(source + "\\TEXTURE");
        }
        ScopedMessageBoxScript boxes;
        RunInstallation(page);
        EXPECT_EQ(expected, positions);
    }
}

TEST_F(InstallRun, AllOptionsCopyEverythingAndWriteEveryRecord)
{
    SetAllOptions();
    ScopedMessageBoxScript boxes;
    RunInstallation(page);

    EXPECT_EQ(0u, boxes.seen.size()) << (boxes.seen.empty() ? "" : boxes.seen[0].text);
    ExpectCopied();
    std::string expectedSource = source + "\\";
    EXPECT_STREQ(expectedSource.c_str(), SetupState.sourceFolder);

    EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, ProgIdKey));
    for (const char *extension : {".bmp", ".dib", ".jpg", ".png"}) {
        RegistryValue value = ReadRegistryValue(HKEY_CLASSES_ROOT, extension, "");
        EXPECT_TRUE(value.found) << extension;
        EXPECT_STREQ("Vemla", value.bytes.c_str()) << extension;
    }
    EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey));
    for (int row = 0; row < ShortcutCount; ++row)
        EXPECT_TRUE(FileExists(ShortcutPath(row))) << ShortcutPath(row);
}

TEST_F(InstallRun, NoOptionWritesOnlyTheFilesAndTheUninstallEntry)
{
    ScopedMessageBoxScript boxes;
    RunInstallation(page);

    EXPECT_EQ(0u, boxes.seen.size());
    ExpectCopied();
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ProgIdKey));
    for (const char *extension : {".bmp", ".dib", ".jpg", ".png"})
        EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, extension)) << extension;
    EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey));
    for (int row = 0; row < ShortcutCount; ++row)
        EXPECT_FALSE(FileExists(ShortcutPath(row))) << ShortcutPath(row);
    EXPECT_FALSE(FolderExists(SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla"));
}

TEST_F(InstallRun, ChosenAssociationsAndShortcutsOnly)
{
    SetupState.options.associateBitmap = 1;
    SetupState.options.sendToShortcut = 1;
    ScopedMessageBoxScript boxes;
    RunInstallation(page);

    EXPECT_EQ(0u, boxes.seen.size());
    EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, ".bmp"));
    EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, ".dib"));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ".jpg"));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ".png"));
    EXPECT_FALSE(FileExists(ShortcutPath(0))) << "desktop";
    EXPECT_TRUE(FileExists(ShortcutPath(1))) << "send to";
    EXPECT_FALSE(FileExists(ShortcutPath(2))) << "start menu";
}

TEST_F(InstallRun, ExistingFilesAreOverwritten)
{
    WriteFileBytes(InstalledFile("vemla.exe"), "an older vemla.exe, longer than the new one");
    WriteFileBytes(InstalledTexture(TextureFiles[11].name), "old");
    ScopedMessageBoxScript boxes;
    RunInstallation(page);
    EXPECT_EQ(0u, boxes.seen.size());
    ExpectCopied();
}

TEST_F(InstallRun, ReinstallWritesStartMenuShortcutsIntoTheExistingGroup)
{
    SetupState.options.startMenuGroup = 1;
    {
        ScopedMessageBoxScript boxes;
        RunInstallation(page);
        EXPECT_EQ(0u, boxes.seen.size());
    }
    ASSERT_TRUE(FileExists(ShortcutPath(2)));
    // The user deleted the shortcuts but not their folder.
    DeleteFileA(ShortcutPath(2).c_str());
    DeleteFileA(ShortcutPath(3).c_str());
    ASSERT_TRUE(FolderExists(SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla"));

    ScopedMessageBoxScript boxes;
    RunInstallation(page);
    EXPECT_EQ(0u, boxes.seen.size());
    EXPECT_TRUE(FileExists(ShortcutPath(2)));
    EXPECT_TRUE(FileExists(ShortcutPath(3)));

    // The help shortcut leads to the help file.
    IShellLinkA *link = NULL;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                     (void **)&link));
    IPersistFile *file = NULL;
    ASSERT_EQ(S_OK, link->QueryInterface(IID_IPersistFile, (void **)&file));
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, ShortcutPath(3).c_str(), -1, wide, MAX_PATH);
    EXPECT_EQ(S_OK, file->Load(wide, STGM_READ));
    char target[MAX_PATH] = "";
    link->GetPath(target, sizeof target, NULL, 0);
    EXPECT_EQ(0, lstrcmpiA(InstalledFile("vemla.hlp").c_str(), target)) << target;
    file->Release();
    link->Release();
}

TEST_F(InstallRun, FailedItemsAreNamedInOneWarningAndTheRestIsInstalled)
{
    DeleteFileA(SourceFile("vemla.hlp").c_str());
    DeleteFileA(SourceTexture(TextureFiles[4].name).c_str());  // メタル.BMP
    // A destination held open without sharing: a read-only attribute would not do, since Wine
    // run as root writes over it.
    WriteFileBytes(InstalledFile("readme.txt"), "locked");
    HANDLE locked = CreateFileA(InstalledFile("readme.txt").c_str(), GENERIC_READ, 0, NULL,
                                OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);

    ScopedMessageBoxScript boxes;
    RunInstallation(page);
    CloseHandle(locked);

    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("インストール", boxes.seen[0].caption);
    EXPECT_EQ(std::string(Heading) + "\n\nvemla.hlp\nreadme.txt\nTEXTURE\\メタル.BMP",
              boxes.seen[0].text);
    EXPECT_EQ(page, boxes.seen[0].owner);
    EXPECT_EQ("locked", ReadFileBytes(InstalledFile("readme.txt")));
    ExpectCopied({"vemla.hlp", "readme.txt", "TEXTURE\\メタル.BMP"});
    EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey));
}

TEST_F(InstallRun, MoreThanTenFailuresAreSummedUp)
{
    for (const LayoutFile &file : ProgramFiles)
        DeleteFileA(SourceFile(file.name).c_str());  // all but the loaded setup.exe
    RemoveTree(source + "\\TEXTURE");

    ScopedMessageBoxScript boxes;
    RunInstallation(page);

    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ(std::string(Heading) +
                  "\n\nvemla.exe\nvemla.hlp\nvemla.cnt\nreadme.txt\nlicense.txt"
                  "\nTEXTURE\\キャンバス.BMP\nTEXTURE\\コルク１.BMP\nTEXTURE\\コルク２.BMP"
                  "\nTEXTURE\\コンクリート壁.BMP\nTEXTURE\\メタル.BMP\nほか 7 件",
              boxes.seen[0].text);
    EXPECT_TRUE(FileExists(InstalledFile("setup.exe")));
}

TEST_F(InstallRun, PathsThatDoNotFitAreFailuresNotTruncations)
{
    // An install folder of 244 bytes: the program files fit in MAX_PATH, no texture path does
    // (the shortest, "TEXTURE\岩肌.BMP", needs 244 + 17 bytes and its NUL).
    std::string deep = install;
    while (deep.size() < 244) {
        std::string next = deep + "\\" + std::string(std::min<size_t>(60, 243 - deep.size()), 'd');
        ASSERT_TRUE(CreateDirectoryA(next.c_str(), NULL)) << next;
        deep = next;
    }
    ASSERT_EQ(244u, deep.size());
    ASSERT_TRUE(CreateDirectoryA((deep + "\\TEXTURE").c_str(), NULL));
    lstrcpyA(SetupState.installFolder, deep.c_str());

    ScopedMessageBoxScript boxes;
    RunInstallation(page);

    for (const LayoutFile &file : ProgramFiles)
        EXPECT_EQ(ReadFileBytes(SourceFile(file.name)), ReadFileBytes(deep + "\\" + file.name))
            << file.name;
    ASSERT_EQ(1u, boxes.seen.size());
    std::string expected = std::string(Heading) + "\n";
    for (int i = 0; i < 10; ++i)
        expected += std::string("\nTEXTURE\\") + TextureFiles[i].name;
    EXPECT_EQ(0u, boxes.seen[0].text.find(expected)) << boxes.seen[0].text;
    // Nothing was written under a cut name beside the texture folder.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((deep + "\\TEXTURE\\*").c_str(), &found);
    int entries = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do
            ++entries;
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    EXPECT_EQ(2, entries) << "only . and ..";
}
