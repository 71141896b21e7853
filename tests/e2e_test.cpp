// setup.exe driven from outside as a person drives it, results checked in the Wine prefix it shares with
// this program.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/layout.h"
#include "system/registry_records.h"
#include "tests/support/test_support.h"

namespace {

enum { IdFolder = 1000, IdBrowse = 1001, IdProgress = 1010, IdReadme = 1014, IdRun = 1015, IdBack = 0x3023, IdNext = 0x3024, IdFinish = 0x3025, IdMessageText = 0xFFFF };
const struct { int InstallOptions::*option; int box; } Boxes[] = {  // the options page's
    {&InstallOptions::associateBitmap, 1002}, {&InstallOptions::associateJpeg, 1009}, {&InstallOptions::associatePng, 1018},
    {&InstallOptions::desktopShortcut, 1011}, {&InstallOptions::sendToShortcut, 1012}, {&InstallOptions::startMenuGroup, 1013}};

const char CreateQuestion[] = "フォルダが存在しません。\nフォルダを作成しますか？";
const char OtherProgram[] = "OtherViewer.Image";  // owns the extensions before each installation
const char *const Extensions[] = {".jpg", ".png", ".bmp", ".dib"};

const DWORD WaitLimit = 20000;  // a whole installation under a loaded Wine; a healthy step takes well under 1 s

// A Linux path from the environment as Wine sees it (drive Z: is /).
std::string WindowsPath(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

template <typename Condition>
bool WaitUntil(Condition condition, DWORD limit = WaitLimit)
{
    for (DWORD start = GetTickCount(); !condition(); Sleep(50))
        if (GetTickCount() - start > limit)
            return false;
    return true;
}

// Sent with a time limit, as the window belongs to another process (so WM_GETTEXT, not GetWindowText).
LRESULT Query(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, message, wparam, lparam, SMTO_ABORTIFHUNG, 5000, &result);
    return (LRESULT)result;
}

std::string TextOf(HWND window)
{
    char text[4096] = "";
    Query(window, WM_GETTEXT, sizeof text - 1, (LPARAM)text);
    return text;
}

DWORD ProcessOf(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

bool IsSheet(HWND window) { return GetDlgItem(window, IdNext) != NULL; }
bool IsPicker(HWND window) { return FindWindowExA(window, NULL, "SysTreeView32", NULL) != NULL; }
bool IsMessageBox(HWND window)
{
    return GetDlgItem(window, IdMessageText) && !IsSheet(window) && !IsPicker(window) && (GetDlgItem(window, IDOK) || GetDlgItem(window, IDYES));
}

// The first visible top-level window of className (of a process, unless processId is 0) that kind accepts.
HWND FindTopLevel(const char *className, DWORD processId, bool (*kind)(HWND) = NULL)
{
    for (HWND window = NULL; (window = FindWindowExA(NULL, window, className, NULL)) != NULL;)
        if (IsWindowVisible(window) && (!processId || ProcessOf(window) == processId) && (!kind || kind(window)))
            return window;
    return NULL;
}

DWORD ParentOf(DWORD process)
{
    PROCESSENTRY32 entry = {sizeof entry};
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    DWORD parent = 0;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        parent = entry.th32ProcessID == process ? entry.th32ParentProcessID : parent;
    CloseHandle(snapshot);
    return parent;
}

bool Ended(const PROCESS_INFORMATION &process) { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }

void ExpectExitCodeZero(const PROCESS_INFORMATION &process, const char *what)
{
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, WaitLimit)) << what << " did not end in time";
    DWORD code = 0xdeadbeef;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(0u, code) << "exit code of " << what;
}

// Waits for the process's next message box, checks its caption and text and presses answer.
void AnswerBox(const PROCESS_INFORMATION &process, const char *caption, const char *text, int answer)
{
    HWND box = NULL;
    WaitUntil([&] { return (box = FindTopLevel("#32770", process.dwProcessId, IsMessageBox)) || Ended(process); });
    ASSERT_TRUE(box) << "no message box \"" << Shown(text) << "\"" << (Ended(process) ? ": the program ended" : "");
    EXPECT_EQ(Shown(std::string(caption) + ": " + text), Shown(TextOf(box) + ": " + TextOf(GetDlgItem(box, IdMessageText))));
    PostMessageA(GetDlgItem(box, answer), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(box); }, 10000)) << "the box stays after pressing " << answer;
}

// A page that answers messages it does not handle as handled keeps the dialog manager from
// painting it: its update region never empties.
void ExpectPainted(HWND page, const char *name)
{
    WaitUntil([&] { return !GetUpdateRect(page, NULL, FALSE); }, 5000);
    EXPECT_FALSE(GetUpdateRect(page, NULL, FALSE)) << "the " << name << " page is not painted";
}

bool Usable(HWND sheet, int id) { return IsWindowVisible(GetDlgItem(sheet, id)) && IsWindowEnabled(GetDlgItem(sheet, id)); }

std::string ButtonStates(HWND sheet)
{
    return std::string(Usable(sheet, IdBack) ? "Back " : "-- ") + (Usable(sheet, IdNext) ? "Next " : "-- ") +
           (Usable(sheet, IdFinish) ? "Finish " : "-- ") + (Usable(sheet, IDCANCEL) ? "Cancel" : "--");
}

// The page's button states arrive as a posted message: wait for them.
void ExpectButtons(HWND sheet, const char *expected)
{
    WaitUntil([&] { return ButtonStates(sheet) == expected; }, 5000);
    EXPECT_EQ(expected, ButtonStates(sheet)) << "usable buttons";
}

// Presses a button of the sheet as a click would: refused when it cannot be clicked, since BM_CLICK
// presses a disabled button too. Next on the options page returns only after the installation: not waited for.
void Press(HWND sheet, int id)
{
    WaitUntil([&] { return Usable(sheet, id); }, 5000);
    ASSERT_TRUE(Usable(sheet, id)) << "button " << std::hex << id << " cannot be pressed (" << ButtonStates(sheet) << ")";
    SendMessageTimeoutA(GetDlgItem(sheet, id), BM_CLICK, 0, 0, SMTO_NORMAL, 200, NULL);
    // A sent click is handled inside the sheet's GetMessage, which then waits for a posted message
    // before its loop sees that the sheet has ended; a person's click is posted input.
    PostMessageA(sheet, WM_NULL, 0, 0);
}

void Tick(HWND page, int id)
{
    Query(GetDlgItem(page, id), BM_CLICK);
    EXPECT_EQ(BST_CHECKED, Query(GetDlgItem(page, id), BM_GETCHECK)) << "check box " << id << " after a click";
}

// Closes the windows that the finish page starts, and waits for their processes to end.
void CloseApplications()
{
    for (const char *className : {"Notepad", "VemlaStandIn"})
        for (HWND window; (window = FindTopLevel(className, 0)) != NULL;) {  // each ends, or is ended
            HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, ProcessOf(window));
            PostMessageA(window, WM_CLOSE, 0, 0);
            ASSERT_TRUE(process) << "cannot open the process of a " << className << " window";
            if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0) {
                ADD_FAILURE() << "a " << className << " window did not close";
                TerminateProcess(process, 1);
            }
            CloseHandle(process);
        }
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(932u, GetACP()) << "the Japanese names need the ANSI code page 932";
        const char *root = getenv("VEMLA_BUILD_ROOT");
        ASSERT_TRUE(root && root[0] == '/') << "VEMLA_BUILD_ROOT is not set";
        dist = WindowsPath(root) + (view ? "\\dist" : "\\dist64");
        ASSERT_TRUE(FileExists(dist + "\\setup.exe")) << "no setup.exe in " << dist;
        CoInitialize(NULL);
        RemoveTraces();
        // Another program owns the extensions, so that what is left alone and what is given back show.
        WriteRegistryString(HKEY_CLASSES_ROOT, OtherProgram, "", "Other Viewer");
        for (const char *extension : Extensions)
            WriteRegistryString(HKEY_CLASSES_ROOT, extension, "", OtherProgram);
        scratch = MakeScratchFolder("e2e");
    }

    void TearDown() override
    {
        if (scratch.empty())  // not set up
            return;
        for (PROCESS_INFORMATION &process : started) {  // still running only after a failure
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, 5000);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        RemoveTraces();
        for (const char *extension : Extensions)
            RegDeleteKeyValueA(HKEY_CLASSES_ROOT, extension, "VemlaPrevious");
        RemoveTree(scratch);
        CoUninitialize();
    }

    // Closes what the finish page started and removes what an installation writes outside its folder.
    void RemoveTraces()
    {
        CloseApplications();
        RegDeleteTreeA(HKEY_CLASSES_ROOT, "Vemla");
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, UninstallKey, view, 0);
        RemoveInstalledShortcuts();
    }

    PROCESS_INFORMATION Start(const std::string &program, const char *argument)
    {
        std::string line = "\"" + program + "\"" + argument;
        STARTUPINFOA startup = {sizeof startup};
        PROCESS_INFORMATION process = {};
        EXPECT_TRUE(CreateProcessA(program.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL, scratch.c_str(), &startup,
                                   &process)) << "cannot start " << Shown(line) << ": " << GetLastError();
        if (process.hProcess)
            started.push_back(process);
        return process;
    }

    // Starts setup.exe from folder and waits for its wizard.
    bool StartWizard(const std::string &folder)
    {
        wizard = Start(folder + "\\setup.exe", "");
        WaitUntil([&] { return (sheet = FindTopLevel("#32770", wizard.dwProcessId, IsSheet)) || Ended(wizard); });
        EXPECT_TRUE(sheet) << "setup.exe showed no wizard" << (Ended(wizard) ? ": it ended" : " in time");
        return sheet != NULL;
    }

    // Waits until the sheet shows the page holding control; a message box meanwhile, or the end of
    // the program, is a failure.
    HWND WaitForPage(int control)
    {
        HWND page = NULL, box = NULL;
        auto shown = [&] { return IsWindowVisible(page) && GetDlgItem(page, control) && !box; };
        WaitUntil([&] {
            page = (HWND)Query(sheet, PSM_GETCURRENTPAGEHWND);
            box = FindTopLevel("#32770", wizard.dwProcessId, IsMessageBox);
            return shown() || box || Ended(wizard);
        });
        EXPECT_TRUE(shown()) << "no page with control " << control << (Ended(wizard) ? ": the program ended" : "")
                             << (box ? ": a box \"" + Shown(TextOf(GetDlgItem(box, IdMessageText))) + "\"" : "");
        return shown() ? page : NULL;
    }

    void Round(const std::string &typed, const std::string &folder, const InstallOptions &options);

    REGSAM view = 0;  // KEY_WOW64_32KEY: dist's i686 setup.exe, its HKLM\SOFTWARE records in the 32-bit view
    // The system's Program Files folder, which a 32-bit program on 64-bit Windows is given as "(x86)".
    std::string ProposedFolder() const { return view ? "C:\\Program Files (x86)\\Vemla" : "C:\\Program Files\\Vemla"; }
    std::string dist, scratch;
    PROCESS_INFORMATION wizard = {};
    HWND sheet = NULL;
    std::vector<PROCESS_INFORMATION> started;
};

// With scratch as the current folder: the first page; the folder created; Back and Next; the options
// ticked; the installation; the finish page's actions; the removal by setup.exe /u from the install folder.
void EndToEnd::Round(const std::string &typed, const std::string &folder, const InstallOptions &options)
{
    ASSERT_TRUE(StartWizard(dist));
    HWND page = WaitForPage(IdFolder);
    ASSERT_TRUE(page);
    HWND field = GetDlgItem(page, IdFolder);
    EXPECT_EQ(Shown("Vemlaのインストール"), Shown(TextOf(sheet))) << "the page's title as the caption";
    EXPECT_EQ(ProposedFolder(), TextOf(field)) << "the proposed folder";
    ExpectButtons(sheet, "-- Next -- Cancel");
    ExpectPainted(page, "destination");
    RECT r, d;  // centred: each half taken truncated, from the right and bottom edges
    ASSERT_TRUE(GetWindowRect(sheet, &r) && GetWindowRect(GetDesktopWindow(), &d));
    EXPECT_EQ(std::to_string(d.right - d.right / 2 - (r.right - r.left) / 2) + "," + std::to_string(d.bottom - d.bottom / 2 - (r.bottom - r.top) / 2),
              std::to_string(r.left) + "," + std::to_string(r.top)) << "the sheet's top left";

    PostMessageA(GetDlgItem(page, IdBrowse), BM_CLICK, 0, 0);
    HWND picker = NULL;
    WaitUntil([&] { return (picker = FindTopLevel("#32770", wizard.dwProcessId, IsPicker)) != NULL; }, 10000);
    ASSERT_TRUE(picker) << "no folder picker";
    EXPECT_TRUE(FindWindowExA(picker, NULL, NULL, "Select Folder")) << "the picker's title";
    PostMessageA(GetDlgItem(picker, IDCANCEL), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(picker); }, 10000)) << "the picker stays";
    EXPECT_EQ(ProposedFolder(), TextOf(field)) << "the field after a cancelled picker";

    // Yes creates the folder, typed relative, and TEXTURE.
    Query(field, WM_SETTEXT, 0, (LPARAM)typed.c_str());
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdNext));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(wizard, "インストール", CreateQuestion, IDYES));
    HWND optionsPage = WaitForPage(IdProgress);
    ASSERT_TRUE(optionsPage);
    EXPECT_TRUE(FolderExists(folder + "\\TEXTURE")) << "created with its TEXTURE subfolder";
    ExpectButtons(sheet, "Back Next -- Cancel");
    ExpectPainted(optionsPage, "options");
    // Back shows the folder as accepted, and Next with it asks nothing though the current folder has moved.
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdBack));
    ASSERT_EQ(page, WaitForPage(IdFolder));
    EXPECT_EQ(Shown(folder), Shown(TextOf(field))) << "the field after Back";
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdNext));
    ASSERT_EQ(optionsPage, WaitForPage(IdProgress));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey, view)) << "installed before Next on the options";
    for (const auto &box : Boxes)
        if (options.*box.option)
            Tick(optionsPage, box.box);

    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdNext));
    HWND finish = WaitForPage(IdReadme);
    ASSERT_TRUE(finish);
    EXPECT_EQ(100, Query(GetDlgItem(optionsPage, IdProgress), PBM_GETPOS)) << "progress at the end";
    ExpectButtons(sheet, "-- -- Finish Cancel");
    ExpectPainted(finish, "finish");
    EXPECT_EQ("", Shown(InstallationFaults(folder, dist, options, std::vector<std::string>(4, OtherProgram), view)));
    size_t bytes = 0;
    for (int i = 0; i < ProgramFileCount + TextureFileCount; ++i)
        bytes += ReadFileBytes(dist + (i < ProgramFileCount ? "\\" + std::string(ProgramFiles[i].name)
                                                            : "\\TEXTURE\\" + std::string(TextureFiles[i - ProgramFileCount].name))).size();
    RegistryValue size = ReadRegistryValue(HKEY_LOCAL_MACHINE, UninstallKey, "EstimatedSize", view);
    EXPECT_EQ("1.0.0.0 Zandorel " + std::to_string((bytes + 1023) / 1024),  // the stand-in's version, the size in KB
              RegistryText(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayVersion", view) + " " +
                  RegistryText(HKEY_LOCAL_MACHINE, UninstallKey, "Publisher", view) + " " +
                  std::to_string(size.type == REG_DWORD ? *(DWORD *)&size.bytes[0] : 0));

    // The finish actions, from the distribution folder: the readme and the application.
    Tick(finish, IdReadme);
    Tick(finish, IdRun);
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdFinish));
    ExpectExitCodeZero(wizard, "setup.exe after Finish");
    HWND application = NULL, notepad = NULL;
    EXPECT_TRUE(WaitUntil([&] {
        application = FindTopLevel("VemlaStandIn", 0), notepad = FindTopLevel("Notepad", 0);
        return application && notepad;
    }, 30000)) << "no Notepad with the readme, or no vemla.exe";
    if (notepad && application) {
        char image[MAX_PATH] = "";
        DWORD size = sizeof image;
        HANDLE running = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ProcessOf(application));
        EXPECT_TRUE(running && QueryFullProcessImageNameA(running, 0, image, &size));
        CloseHandle(running);
        EXPECT_EQ(0, lstrcmpiA((dist + "\\vemla.exe").c_str(), image)) << "started " << Shown(image);
        // Wine runs setup.exe elevated: both must come from the desktop shell, with the user's rights.
        for (HWND started : {application, notepad})
            EXPECT_NE(wizard.dwProcessId, ParentOf(ProcessOf(started))) << "started by the elevated setup.exe";
        std::string readme = TextOf(FindWindowExA(notepad, NULL, "Edit", NULL));
        EXPECT_NE(std::string::npos, readme.find("Vemla をお使いいただきありがとうございます。")) << Shown(readme);
    }
    CloseApplications();

    PROCESS_INFORMATION uninstaller = Start(folder + "\\setup.exe", " /u");
    ASSERT_TRUE(uninstaller.hProcess);
    ASSERT_NO_FATAL_FAILURE(AnswerBox(uninstaller, "セットアップ", "Vemlaをアンインストールしますか？", IDYES));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(uninstaller, "セットアップ", "アンインストールが成功しました。インストールしたフォルダを手動で削除してください。", IDOK));
    ExpectExitCodeZero(uninstaller, "setup.exe /u");
    EXPECT_EQ("", Shown(UninstallationFaults(folder, std::vector<std::string>(4, OtherProgram), view)));
    EXPECT_TRUE(FolderExists(folder) && !FolderExists(folder + "\\TEXTURE")) << "the install folder left, TEXTURE not";
    EXPECT_FALSE(FolderExists(SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla")) << "the Start-menu group";
}

// Typed relative to the current folder, which is not the program's.
TEST_F(EndToEnd, NewJapaneseFolderWithSomeOptionsInstallsRunsAndUninstalls)
{
    Round("新しい 表\\Vemla表", scratch + "\\新しい 表\\Vemla表", InstallOptions{0, 1, 1, 1, 1, 0});
}

// The same round with the i686 setup.exe that ships, where wine32 runs it (tools/bootstrap installs it where
// this machine runs 32-bit programs; winerun then sets VEMLA_WINE32). File classes are shared by both views.
class EndToEndI686 : public EndToEnd {
protected:
    void SetUp() override
    {
        if (!getenv("VEMLA_WINE32"))
            GTEST_SKIP() << "i686 setup.exe not run: no wine32, as this machine cannot run 32-bit programs";
        view = KEY_WOW64_32KEY;
        EndToEnd::SetUp();
    }
};

TEST_F(EndToEndI686, NewJapaneseFolderWithOtherOptionsInstallsRunsAndUninstalls)
{
    Round("新しい 表\\Vemla表", scratch + "\\新しい 表\\Vemla表", InstallOptions{1, 0, 0, 0, 1, 1});
}

// A COMCTL32.DLL planted beside a copy of setup.exe, with Wine told to prefer such a file to its own
// (as Windows takes any DLL that is not a known one from the program's folder): never loaded, and the
// wizard still comes up. Wine takes a child's WINEDLLOVERRIDES from the parent's Unix environment, not
// from the environment block: hence the per-program setting in the registry, read as the program starts.
TEST_F(EndToEnd, CommonControlsPlantedBesideTheProgramAreNotLoaded)
{
    const char Overrides[] = "Software\\Wine\\AppDefaults\\setup.exe\\DllOverrides";
    std::string planted = WindowsPath(getenv("VEMLA_BUILD_ROOT")) + "\\win64\\planted_comctl32.dll";
    ASSERT_TRUE(CopyFileA((dist + "\\setup.exe").c_str(), (scratch + "\\setup.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(planted.c_str(), (scratch + "\\COMCTL32.DLL").c_str(), FALSE)) << Shown(planted);
    WriteRegistryString(HKEY_CURRENT_USER, Overrides, "comctl32", "native,builtin");
    bool shown = StartWizard(scratch);
    RegDeleteKeyValueA(HKEY_CURRENT_USER, Overrides, "comctl32");
    EXPECT_FALSE(FileExists(scratch + "\\planted.txt")) << "the planted DLL was loaded";
    ASSERT_TRUE(shown && WaitForPage(IdFolder));
    PostMessageA(GetDlgItem(sheet, IDCANCEL), BM_CLICK, 0, 0);  // posted, as a click is: the sheet's loop looks after each one
    ExpectExitCodeZero(wizard, "setup.exe after Cancel");
}

}  // namespace
