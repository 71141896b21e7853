// The installation run: what it copies and writes, its progress, and what it reports as failed.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <memory>

#include "core/failure_report.h"
#include "core/install.h"
#include "base/layout.h"
#include "base/setup_state.h"
#include "system/registry_records.h"
#include "tests/support/test_support.h"

static const std::string Heading = "次の項目をインストールできませんでした。\n";
static const std::vector<int> EveryPosition = {12, 15, 18, 21, 24, 27, 30, 33, 36, 39, 42,
                                               45, 48, 51, 54, 57, 60, 65, 70, 80, 90, 100};

TEST(FailureReport, TenLinesWithoutSummaryAndTextThatDoesNotFitIsRefused)
{
    FailureList list;
    ClearFailures(&list);
    AddFailure(&list, "関連付け", ".bmp");
    std::string lines = "H\n\n関連付け (.bmp)";
    for (int i = 2; i <= 10; ++i, lines += "\nx")
        AddFailure(&list, "x", NULL);
    char text[FailureTextSize];
    ASSERT_EQ(1, ComposeFailureText(text, sizeof text, &list, "H", "Bye"));
    EXPECT_EQ(lines + "\n\nBye", text) << "ten lines and no summary";
    memset(text, 0x55, 20);
    EXPECT_EQ(0, ComposeFailureText(text, 20, &list, "H", NULL));
    EXPECT_STREQ("", text);
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
        positions.clear();
        for (const std::string &folder : {source, install})
            ASSERT_TRUE(CreateDirectoryA((folder + "\\TEXTURE").c_str(), NULL));
        for (const LayoutFile &file : ProgramFiles)
            files.push_back(file.name);
        for (const LayoutFile &file : TextureFiles)
            files.push_back(std::string("TEXTURE\\") + file.name);
        for (const std::string &name : files) {
            if (name != "setup.exe")  // the loaded copy
                WriteFileBytes(source + "\\" + name, "file " + name);
            SetFileAttributesA((source + "\\" + name).c_str(), FILE_ATTRIBUTE_READONLY);  // as on a CD-ROM
        }
        module.reset(new ScopedSetupModule(source));
        SetupState.options = InstallOptions{};
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

    // The first count files of the tables but those skipped are in place, byte-identical.
    void ExpectCopied(const std::string &folder, size_t count, const std::vector<std::string> &skipped = {})
    {
        for (size_t i = 0; i < count; ++i) {
            std::string copied = ReadFileBytes(folder + "\\" + files[i]);
            if (std::find(skipped.begin(), skipped.end(), files[i]) == skipped.end()) {
                EXPECT_TRUE(!copied.empty() && copied == ReadFileBytes(source + "\\" + files[i])) << files[i];
                EXPECT_FALSE(GetFileAttributesA((folder + "\\" + files[i]).c_str()) & FILE_ATTRIBUTE_READONLY)
                    << files[i] << " would refuse the next installation";
            }
        }
    }

    // One warning box on the page: the heading, lines, the first textures, "ほか <more> 件"; every position set.
    void ExpectWarning(const ScopedMessageBoxScript &boxes, std::string lines, int textures, int more)
    {
        for (int i = 0; i < textures; ++i)
            lines += "\n" + files[ProgramFileCount + i];
        EXPECT_EQ(EveryPosition, positions);
        ASSERT_EQ(1u, boxes.seen.size());
        EXPECT_EQ("インストール", boxes.seen[0].caption);
        EXPECT_EQ(page, boxes.seen[0].owner);
        EXPECT_EQ(Heading + lines + "\nほか " + std::to_string(more) + " 件", boxes.seen[0].text);
    }

    std::string source = MakeScratchFolder("dist"), install = MakeScratchFolder("install folder");  // a blank
    std::string savedDirectory = CurrentDirectory();
    std::vector<std::string> files;  // copied from source, relative
    HWND page = NULL;
    std::unique_ptr<ScopedSetupModule> module;
    ScopedRegistryOverride registry;
};

TEST_F(InstallRun, EveryRunSetsEveryPositionAndWritesOnlyWhatWasChosen)
{
    // Options: jpeg, bitmap, png, desktop, Start menu, Send To; shortcuts: desktop, Send To, Start menu, help.
    static const struct { const char *name; InstallOptions options; const char *extensions; bool shortcuts[4]; } cases[] = {
        {"no option", {0, 0, 0, 0, 0, 0}, "", {false, false, false, false}},
        {"bitmaps and Send To", {0, 1, 0, 0, 0, 1}, ".bmp.dib", {false, true, false, false}},
        {"all options", {1, 1, 1, 1, 1, 1}, ".jpg.png.bmp.dib", {true, true, true, true}},
        {"again, the group left", {0, 0, 0, 0, 1, 0}, "", {false, false, true, true}},
    };
    static const char *const targets[ShortcutCount] = {"vemla.exe", "vemla.exe", "vemla.exe", "vemla.hlp"};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        for (int row = 0; row < ShortcutCount; ++row)
            DeleteFileA(InstalledShortcutPath(row).c_str());
        for (const char *key : {ProgIdKey, ".jpg", ".png", ".bmp", ".dib"})
            RegDeleteTreeA(HKEY_CLASSES_ROOT, key);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, UninstallKey);
        for (const std::string &name : files)  // older files in the way are overwritten
            WriteFileBytes(install + "\\" + name, "an older file, longer than the new one");
        positions.clear();
        SetupState.options = c.options;
        SetupState.sourceFolder[0] = '\0';

        ScopedMessageBoxScript boxes;
        RunInstallation(page);
        EXPECT_EQ(EveryPosition, positions);
        EXPECT_EQ(0u, boxes.seen.size()) << (boxes.seen.empty() ? "" : boxes.seen[0].text);
        ExpectCopied(install, files.size());
        EXPECT_EQ(source + "\\", SetupState.sourceFolder);
        EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey));
        EXPECT_EQ(c.extensions[0] != '\0', RegistryKeyExists(HKEY_CLASSES_ROOT, ProgIdKey));
        for (const char *extension : {".jpg", ".png", ".bmp", ".dib"}) {
            EXPECT_EQ(strstr(c.extensions, extension) ? std::string("Vemla", 6) : "",
                      ReadRegistryValue(HKEY_CLASSES_ROOT, extension, "").bytes) << extension;
        }
        for (int row = 0; row < ShortcutCount; ++row) {
            std::string path = InstalledShortcutPath(row);
            EXPECT_EQ(c.shortcuts[row], FileExists(path)) << path;
            if (c.shortcuts[row])
                EXPECT_EQ(install + "\\" + targets[row], ReadShortcut(path).target) << path;
        }
        EXPECT_EQ(c.shortcuts[2], FolderExists(SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla"));
    }
}

TEST_F(InstallRun, FailedItemsAreNamedInOneWarningAndTheRestIsInstalled)
{
    SetFileAttributesA((source + "\\vemla.hlp").c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA((source + "\\vemla.hlp").c_str());
    RemoveTree(source + "\\TEXTURE");
    // Held open without sharing: Wine run as root writes over a read-only file.
    WriteFileBytes(install + "\\readme.txt", "locked");
    HANDLE locked = CreateFileA((install + "\\readme.txt").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);

    ScopedMessageBoxScript boxes;
    RunInstallation(page);
    CloseHandle(locked);

    ExpectWarning(boxes, "\nvemla.hlp\nreadme.txt", 8, 4);
    EXPECT_EQ("locked", ReadFileBytes(install + "\\readme.txt"));
    ExpectCopied(install, ProgramFileCount, {"vemla.hlp", "readme.txt"});
    EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey));
}

TEST_F(InstallRun, PathsThatDoNotFitAreFailuresNotTruncations)
{
    // An install folder of 244 bytes: the program files fit in MAX_PATH, no texture path does
    // (the shortest, "TEXTURE\岩肌.BMP", needs 244 + 17 bytes and its NUL).
    std::string deep = install;
    while (deep.size() < 244) {
        deep += "\\" + std::string(std::min<size_t>(60, 243 - deep.size()), 'd');
        ASSERT_TRUE(CreateDirectoryA(deep.c_str(), NULL)) << deep;
    }
    ASSERT_TRUE(CreateDirectoryA((deep + "\\TEXTURE").c_str(), NULL));
    lstrcpyA(SetupState.installFolder, deep.c_str());

    ScopedMessageBoxScript boxes;
    RunInstallation(page);

    ExpectWarning(boxes, "", 10, 2);
    ExpectCopied(deep, ProgramFileCount);
    EXPECT_EQ(0, CountFolderEntries(deep + "\\TEXTURE")) << "written under a cut name";
}
