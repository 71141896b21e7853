// The installation run: progress, what each option writes, the warning's text, paths that do not fit.
// (Every failing system call and what it must not lose: fault_sweep_test.)
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <memory>

#include "base/layout.h"
#include "base/setup_state.h"
#include "core/failure_report.h"
#include "core/install.h"
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

TEST_F(InstallRun, EachOptionWritesItsOwnRecordsAndNoCopyStaysReadOnly)
{
    // Options: jpeg, bitmap, png, desktop, Start menu, Send To; shortcuts: desktop, Send To, Start menu, help.
    static const struct { InstallOptions options; const char *extensions; bool shortcuts[4]; } cases[] = {
        {{0, 0, 0, 0, 0, 0}, "", {false, false, false, false}},
        {{0, 1, 0, 0, 0, 1}, ".bmp.dib", {false, true, false, false}},
        {{1, 0, 1, 1, 1, 0}, ".jpg.png", {true, false, true, true}},
        {{0, 0, 0, 0, 1, 0}, "", {false, false, true, true}},  // again, the group left from before
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.extensions);
        for (int row = 0; row < ShortcutCount; ++row)
            DeleteFileA(InstalledShortcutPath(row).c_str());
        for (const char *key : {ProgIdKey, ".jpg", ".png", ".bmp", ".dib"})
            RegDeleteTreeA(HKEY_CLASSES_ROOT, key);
        EXPECT_EQ("", Install(c.options));
        for (const std::string &name : files) {
            EXPECT_EQ(ReadFileBytes(source + "\\" + name), ReadFileBytes(install + "\\" + name)) << name;
            EXPECT_FALSE(GetFileAttributesA((install + "\\" + name).c_str()) & FILE_ATTRIBUTE_READONLY)
                << name << " would refuse the next installation";
        }
        EXPECT_EQ(source + "\\", SetupState.sourceFolder);
        EXPECT_EQ(c.extensions[0] != '\0', RegistryKeyExists(HKEY_CLASSES_ROOT, ProgIdKey));
        for (const char *extension : {".jpg", ".png", ".bmp", ".dib"})
            EXPECT_EQ(strstr(c.extensions, extension) ? std::string("Vemla", 6) : "",
                      ReadRegistryValue(HKEY_CLASSES_ROOT, extension, "").bytes) << extension;
        for (int row = 0; row < ShortcutCount; ++row)
            EXPECT_EQ(c.shortcuts[row] ? install + "\\" + ShortcutSet[row].target : "",
                      ReadShortcut(InstalledShortcutPath(row)).target) << InstalledShortcutPath(row);
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
