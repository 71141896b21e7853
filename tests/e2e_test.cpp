// setup.exe driven from outside as a person drives it, results checked in the Wine prefix it shares with this program.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/layout.h"
#include "resources/resource.h"
#include "system/uninstall_entry.h"
#include "tests/support/test_support.h"

namespace {

enum { IdMessageText = 0xFFFF, IdBack = 0x3023, IdNext = 0x3024, IdFinish = 0x3025 };  // the system's dialogs'
const struct { int InstallOptions::*option; int box; } Boxes[] = {  // the options page's
    {&InstallOptions::associateBitmap, IDC_ASSOC_BMP}, {&InstallOptions::associateJpeg, IDC_ASSOC_JPG}, {&InstallOptions::associatePng, IDC_ASSOC_PNG},
    {&InstallOptions::desktopShortcut, IDC_DESKTOP}, {&InstallOptions::sendToShortcut, IDC_SENDTO}, {&InstallOptions::startMenuGroup, IDC_STARTMENU}};

const char OtherProgram[] = "OtherViewer.Image";  // owns the extensions before each installation
// The user's own choice for .png, which Windows honours over the machine's association (Wine does not).
const char PngChoice[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.png\\UserChoice";
// What the Settings app's stand-in was asked to open.
const char SettingsOpened[] = "Software\\VemlaSettingsOpened";

const DWORD WaitLimit = 20000;  // a whole installation under a loaded Wine; a healthy step takes well under 1 s

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

bool Ended(const PROCESS_INFORMATION &process, DWORD wait = 0) { return WaitForSingleObject(process.hProcess, wait) == WAIT_OBJECT_0; }

enum Kind { Any, Sheet, Picker, Box };

// The first visible top-level window of className (of a process, unless processId is 0) that is of kind.
HWND FindTopLevel(DWORD processId, Kind kind, const char *className = "#32770")
{
    for (HWND w = NULL; (w = FindWindowExA(NULL, w, className, NULL)) != NULL;) {
        bool answerable = GetDlgItem(w, IDOK) || GetDlgItem(w, IDYES) || GetDlgItem(w, IDRETRY);
        Kind is = GetDlgItem(w, IdNext) ? Sheet : FindWindowExA(w, NULL, "SysTreeView32", NULL) ? Picker
                : GetDlgItem(w, IdMessageText) && answerable ? Box : Any;
        if (IsWindowVisible(w) && (!processId || ProcessOf(w) == processId) && (kind == Any || kind == is))
            return w;
    }
    return NULL;
}

// For tools/walkthrough: window as the X display shows it, numbered in order, into the Linux folder
// VEMLA_SCREENSHOTS. Raised uncovered (Wine restacks X windows only on a change), painted, and given time to
// reach the display; Wine starts ImageMagick by its Linux path.
void Snapshot(HWND window, const char *name)
{
    static const char *folder = getenv("VEMLA_SCREENSHOTS");
    static int taken;
    RECT r;
    if (!folder || !name || !GetWindowRect(window, &r))  // pictured once: no name
        return;
    for (HWND place : {HWND_TOPMOST, HWND_NOTOPMOST})
        Sleep(300), SetWindowPos(window, place, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    WaitUntil([&] { return Sleep(300), !GetUpdateRect(window, NULL, FALSE); });
    char file[MAX_PATH], line[4 * MAX_PATH];
    snprintf(file, sizeof file, "%s/%02d-%s-%s.png", folder, ++taken,
             strrchr(::testing::UnitTest::GetInstance()->current_test_info()->name(), '/') + 1, name);
    snprintf(line, sizeof line, "/bin/sh -c \"/usr/bin/import -window root -crop %ldx%ld+%ld+%ld +repage 'png:%s~' &&"
             " /bin/mv '%s~' '%s'\"", r.right - r.left, r.bottom - r.top, r.left, r.top, file, file, file);
    if (StartLinuxCommand(line))  // renamed once written whole
        WaitUntil([&] { return FileExists(std::string("Z:") + file); });
}

void AnswerBox(const PROCESS_INFORMATION &process, const char *caption, const char *text, int answer)
{
    HWND box = NULL;
    WaitUntil([&] { return (box = FindTopLevel(process.dwProcessId, Box)) || Ended(process); });
    ASSERT_TRUE(box) << "no message box \"" << Shown(text) << "\"" << (Ended(process) ? ": the program ended" : "");
    EXPECT_EQ(Shown(std::string(caption) + ": " + text), Shown(TextOf(box) + ": " + TextOf(GetDlgItem(box, IdMessageText))));
    Snapshot(box, answer == IDYES ? "question" : "message");
    PostMessageA(GetDlgItem(box, answer), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(box); }, 10000)) << "the box stays after pressing " << answer;
}

// A round: setup.exe's registry view (KEY_WOW64_32KEY: the i686 one, dist's), Linux locale (NULL: ours, 932).
struct Round { REGSAM view; const char *locale, *name; };
class EndToEnd : public ::testing::TestWithParam<Round> {
protected:
    void SetUp() override
    {
        if (view && !getenv("VEMLA_WINE32"))  // set by winerun where tools/bootstrap could install wine32
            GTEST_SKIP() << "i686 setup.exe not run: no wine32, as this machine cannot run 32-bit programs";
        ASSERT_EQ(932u, GetACP()) << "the Japanese names need the ANSI code page 932";
        const char *root = getenv("VEMLA_BUILD_ROOT");  // a Linux path: Wine's drive Z: is /
        dist = "Z:" + std::string(root ? root : "") + (view ? "/dist" : "/dist64");
        std::replace(dist.begin(), dist.end(), '/', '\\');
        ASSERT_TRUE(FileExists(dist + "\\setup.exe")) << "no setup.exe in " << dist << " (from VEMLA_BUILD_ROOT)";
        CoInitialize(NULL);
        RemoveTraces();
        // Another program owns the extensions, so that what is left alone and what is given back show.
        WriteRegistryString(HKEY_CLASSES_ROOT, OtherProgram, "", "Other Viewer");
        for (const char *extension : Extensions)
            WriteRegistryString(HKEY_CLASSES_ROOT, extension, "", OtherProgram);
        WriteRegistryString(HKEY_CURRENT_USER, PngChoice, "ProgId", OtherProgram);
        if (!GetParam().locale)  // the C.UTF-8 round stands for a Windows without the Settings app's protocol
            WriteRegistryString(HKEY_CLASSES_ROOT, "ms-settings", "URL Protocol", "");
        const std::string command = "reg add HKCU\\" + std::string(SettingsOpened) + " /v Page /d \"%1\" /f";
        WriteRegistryString(HKEY_CLASSES_ROOT, "ms-settings\\shell\\open\\command", "", command.c_str());
        scratch = MakeScratchFolder("e2e");
    }

    void TearDown() override
    {
        if (scratch.empty())  // not set up
            return;
        // Still running only after a failure.
        for (PROCESS_INFORMATION *process : {&wizard, &uninstaller, &application}) {
            TerminateProcess(process->hProcess, 1);
            WaitForSingleObject(process->hProcess, 5000);
            CloseHandle(process->hThread);
            CloseHandle(process->hProcess);
        }
        RemoveTraces();
        for (const char *extension : Extensions)
            RegDeleteKeyValueA(HKEY_CLASSES_ROOT, extension, "VemlaPrevious");
        RemoveTree(scratch);
        CoUninitialize();
    }

    // What the finish page starts (each ends, or is ended) and what an installation writes outside its folder.
    void RemoveTraces()
    {
        for (const char *className : {"Notepad", "VemlaStandIn"})
            for (HWND window; (window = FindTopLevel(0, Any, className)) != NULL;) {
                HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, ProcessOf(window));
                PostMessageA(window, WM_CLOSE, 0, 0);
                ASSERT_TRUE(process) << "cannot open the process of a " << className << " window";
                EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 10000)) << "a " << className << " window did not close";
                TerminateProcess(process, 1);
                CloseHandle(process);
            }
        const std::pair<HKEY, const char *> keys[] = {
            {HKEY_CLASSES_ROOT, "Vemla"}, {HKEY_CLASSES_ROOT, "ms-settings"}, {HKEY_CURRENT_USER, PngChoice},
            {HKEY_CURRENT_USER, SettingsOpened}, {HKEY_LOCAL_MACHINE, "Software\\Vemla"}};
        for (const auto &key : keys)
            RegDeleteTreeA(key.first, key.second);
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "Software\\RegisteredApplications", "Vemla");
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, UninstallKey, view, 0);
        RemoveInstalledShortcuts();
    }

    // The page holding control, once shown and painted with these buttons usable (set by a posted message): a page
    // that answers messages it does not handle as handled is never painted. A message box meanwhile is a failure.
    HWND WaitForPage(int control, const char *buttons)
    {
        HWND page = NULL, box = NULL;
        auto usable = [&](int id) { return IsWindowVisible(GetDlgItem(sheet, id)) && IsWindowEnabled(GetDlgItem(sheet, id)); };
        auto state = [&] {
            sheet = sheet ? sheet : FindTopLevel(wizard.dwProcessId, Sheet);
            page = (HWND)Query(sheet, PSM_GETCURRENTPAGEHWND);
            if ((box = FindTopLevel(wizard.dwProcessId, Box)) != NULL)
                return "a message box: " + Shown(TextOf(GetDlgItem(box, IdMessageText)));
            if (!IsWindowVisible(page) || !GetDlgItem(page, control))
                return std::string(Ended(wizard) ? "the program ended" : "not shown");
            return std::string(GetUpdateRect(page, NULL, FALSE) ? "not painted, " : "painted, ") + (usable(IdBack) ? "Back " : "-- ") +
                   (usable(IdNext) ? "Next " : "-- ") + (usable(IdFinish) ? "Finish " : "-- ") + (usable(IDCANCEL) ? "Cancel" : "--");
        };
        std::string expected = std::string("painted, ") + buttons, seen;
        WaitUntil([&] { return (seen = state()) == expected || box || Ended(wizard); });
        EXPECT_EQ(expected, seen) << "the page with control " << control;
        RECT area = {}, r, both;  // every control seen whole: within the page area, sized for all the pages
        GetClientRect(page, &area), MapWindowPoints(page, NULL, (POINT *)&area, 2);
        for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            EXPECT_TRUE(GetWindowRect(child, &r) && UnionRect(&both, &r, &area) && EqualRect(&both, &area))
                << "control " << GetDlgCtrlID(child) << " reaches " << r.bottom << ", page " << area.bottom;
        Snapshot(seen == expected ? sheet : NULL,
                 control == IDC_FOLDER ? "destination" : control == IDC_README ? "finish" : "options");
        return seen == expected ? page : NULL;
    }

    const REGSAM view = GetParam().view;
    std::string dist, scratch;
    PROCESS_INFORMATION wizard = {}, uninstaller = {}, application = {};
    HWND sheet = NULL;
};

// With scratch as the current folder, not the program's: the first page; the folder, typed relative, created;
// Back and Next; the options ticked; the installation; the finish page's actions; setup.exe /u.
TEST_P(EndToEnd, NewJapaneseFolderInstallsRunsAndUninstalls)
{
    const std::string typed = "新しい 表\\Vemla表", folder = scratch + "\\" + typed;
    const InstallOptions options = view ? InstallOptions{1, 0, 0, 0, 1, 1} : InstallOptions{0, 1, 1, 1, 1, 0};
    // The system's Program Files folder, which a 32-bit program on 64-bit Windows is given as "(x86)".
    const std::string proposed = view ? "C:\\Program Files (x86)\\Vemla" : "C:\\Program Files\\Vemla";
    // Only once WaitForPage has seen it usable, as BM_CLICK presses a disabled button too. A sent click is handled
    // inside the sheet's GetMessage, which then waits for a posted message before its loop sees that the sheet
    // has ended (a person's click is posted input); Next on the options page returns after the installation.
    auto press = [&](int id) {
        SendMessageTimeoutA(GetDlgItem(sheet, id), BM_CLICK, 0, 0, SMTO_NORMAL, 200, NULL);
        PostMessageA(sheet, WM_NULL, 0, 0);
    };
    auto start = [&](PROCESS_INFORMATION &process, const std::string &program, const char *argument) {
        std::string line = "\"" + program + "\"" + argument;
        STARTUPINFOA startup = {sizeof startup};
        // Wine gives a process the locale of the Linux process that started Wine, whatever the environment
        // block says, and no handle for a Linux process: its first window (sheet or question) leads to it.
        if (GetParam().locale && program.find("setup.exe") != std::string::npos) {
            std::string previous = CurrentDirectory();
            SetCurrentDirectoryA(scratch.c_str());  // where the Linux process starts
            line = "/usr/bin/env LC_ALL=" + std::string(GetParam().locale) + " /usr/bin/wine " + line;
            EXPECT_TRUE(StartLinuxCommand(line)) << Shown(line);
            SetCurrentDirectoryA(previous.c_str());
            EXPECT_TRUE(WaitUntil([&] { return !!(process.dwProcessId = ProcessOf(FindTopLevel(0, Any))); }));
            process.hProcess = OpenProcess(PROCESS_ALL_ACCESS, FALSE, process.dwProcessId);
            return;
        }
        EXPECT_TRUE(CreateProcessA(program.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL, scratch.c_str(), &startup, &process))
            << "cannot start " << Shown(line) << ": " << GetLastError();
    };
    auto tick = [](HWND page, int id) {
        Query(GetDlgItem(page, id), BM_CLICK);
        EXPECT_EQ(BST_CHECKED, Query(GetDlgItem(page, id), BM_GETCHECK)) << "check box " << id << " after a click";
    };
    start(wizard, dist + "\\setup.exe", "");
    HWND page = WaitForPage(IDC_FOLDER, "-- Next -- Cancel"), field = GetDlgItem(page, IDC_FOLDER), picker = NULL;
    ASSERT_TRUE(page);
    EXPECT_EQ(Shown("Vemlaのインストール"), Shown(TextOf(sheet))) << "the page's title as the caption";
    // Common controls 6 from side-by-side (Wine gives a 64-bit process no module snapshot of a 32-bit one).
    HMODULE loaded[512];
    char image[MAX_PATH] = "";
    DWORD code = STILL_ACTIVE, length = sizeof image, bytes = 0;
    std::string comctl;  // the paths of the comctl32.dll loaded, ";" after each
    EnumProcessModulesEx(wizard.hProcess, loaded, sizeof loaded, &bytes, LIST_MODULES_ALL);
    for (DWORD i = 0; i < bytes / sizeof *loaded && i < 512; ++i)
        if (GetModuleFileNameExA(wizard.hProcess, loaded[i], image, MAX_PATH) && strstr(image, "\\comctl32"))
            comctl += image + std::string(";");
    EXPECT_TRUE(!comctl.find("C:\\windows\\winsxs\\") && comctl.find(';') + 1 == comctl.size()) << comctl;
    EXPECT_EQ(proposed, TextOf(field)) << "the proposed folder";
    RECT r, d;  // centred: each half taken truncated, from the right and bottom edges
    ASSERT_TRUE(GetWindowRect(sheet, &r) && GetWindowRect(GetDesktopWindow(), &d));
    EXPECT_EQ(d.right - d.right / 2 - (r.right - r.left) / 2, r.left) << "the sheet's left";
    EXPECT_EQ(d.bottom - d.bottom / 2 - (r.bottom - r.top) / 2, r.top) << "the sheet's top";

    for (int button : {IDCANCEL, IDOK}) {  // nothing selected at first: OK gives the desktop's folder
        PostMessageA(GetDlgItem(page, IDC_BROWSE), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return !!(picker = FindTopLevel(wizard.dwProcessId, Picker)); }, 10000) &&
                    FindWindowExA(picker, NULL, NULL, "Select Folder")) << "no picker so titled";
        Snapshot(picker, button == IDCANCEL ? "browse" : NULL);
        PostMessageA(GetDlgItem(picker, button), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(picker); }, 10000)) << "the picker stays";
        EXPECT_EQ(button == IDOK ? SpecialFolder(CSIDL_DESKTOPDIRECTORY) : proposed, TextOf(field)) << button;
    }

    Query(field, WM_SETTEXT, 0, (LPARAM)typed.c_str());
    press(IdNext);
    ASSERT_NO_FATAL_FAILURE(AnswerBox(wizard, "インストール", "フォルダが存在しません。\nフォルダを作成しますか？", IDYES));
    HWND optionsPage = WaitForPage(IDC_PROGRESS, "Back Next -- Cancel");
    ASSERT_TRUE(optionsPage);
    // Back shows the folder as accepted, and Next with it asks nothing though the current folder has moved.
    press(IdBack);
    ASSERT_EQ(page, WaitForPage(IDC_FOLDER, "-- Next -- Cancel"));
    EXPECT_EQ(Shown(folder), Shown(TextOf(field))) << "the field after Back";
    press(IdNext);
    ASSERT_EQ(optionsPage, WaitForPage(IDC_PROGRESS, "Back Next -- Cancel"));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey, view)) << "installed before Next on the options";
    for (const auto &box : Boxes)
        if (options.*box.option)
            tick(optionsPage, box.box);

    press(IdNext);
    HWND finish = WaitForPage(IDC_README, "-- -- Finish Cancel"), standIn = NULL, notepad = NULL;
    ASSERT_TRUE(finish);
    EXPECT_EQ(Shown("Vemlaのインストールが終了しました。\n\nVemlaをアンインストールするには、「設定」の「アプリ」から"
                    "行ってください。"), Shown(TextOf(GetWindow(GetDlgItem(finish, (WORD)IDC_STATIC), GW_HWNDNEXT))))
        << "the closing text, after the icon";
    EXPECT_EQ(100, Query(GetDlgItem(optionsPage, IDC_PROGRESS), PBM_GETPOS)) << "progress at the end";
    EXPECT_EQ("", Shown(InstallationFaults(folder, dist, options, std::vector<std::string>(4, OtherProgram), view)));

    tick(finish, IDC_README);
    tick(finish, IDC_RUN);
    press(IdFinish);
    // .png chosen, the user's own choice names another program, the page can open (not in the C.UTF-8 round)
    const bool suggested = !view && !GetParam().locale;
    if (suggested) {
        ASSERT_NO_FATAL_FAILURE(AnswerBox(wizard, "インストール", "画像ファイルをVemlaで開くには、このあと表示される"
                                          "「既定のアプリ」の画面でVemlaを選んでください。", IDOK));
        PostMessageA(sheet, WM_NULL, 0, 0);  // the box's loop took the one press() posted
    }
    EXPECT_TRUE(Ended(wizard, WaitLimit) && GetExitCodeProcess(wizard.hProcess, &code) && !code) << "exit code " << code;
    std::string opened;  // nothing outranks .jpg, chosen alone in the other round: nothing is opened then
    WaitUntil([&] { return (opened = RegistryText(HKEY_CURRENT_USER, SettingsOpened, "Page")) != "(none)"; },
              suggested ? WaitLimit : 0);
    EXPECT_EQ(suggested ? "ms-settings:defaultapps?registeredAppMachine=Vemla" : "(none)", opened);
    EXPECT_TRUE(WaitUntil([&] { return (standIn = FindTopLevel(0, Any, "VemlaStandIn")) && (notepad = FindTopLevel(0, Any, "Notepad")); },
                          30000)) << "no Notepad with the readme, or no vemla.exe";
    application.dwProcessId = ProcessOf(standIn);
    const DWORD access = PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE;
    application.hProcess = OpenProcess(access, FALSE, application.dwProcessId);
    EXPECT_TRUE(application.hProcess && QueryFullProcessImageNameA(application.hProcess, 0, image, &length));
    EXPECT_EQ(0, lstrcmpiA((folder + "\\vemla.exe").c_str(), image)) << "started " << Shown(image);
    // Wine runs setup.exe elevated: both must come from the desktop shell, with the user's rights.
    PROCESSENTRY32 entry = {sizeof entry};
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (entry.th32ProcessID == ProcessOf(standIn) || entry.th32ProcessID == ProcessOf(notepad))
            EXPECT_NE(wizard.dwProcessId, entry.th32ParentProcessID) << "started by the elevated setup.exe";
    CloseHandle(snapshot);
    std::string readme = TextOf(FindWindowExA(notepad, NULL, "Edit", NULL));
    EXPECT_NE(std::string::npos, readme.find("Vemla をお使いいただきありがとうございます。")) << Shown(readme);
    Snapshot(standIn, "application");
    Snapshot(notepad, "readme");

    // The installed application, just started, is asked to end until it has.
    start(uninstaller, folder + "\\setup.exe", " /u");
    ASSERT_NO_FATAL_FAILURE(AnswerBox(uninstaller, "セットアップ", "Vemlaをアンインストールしますか？", IDYES));
    const char busy[] = "Vemlaが実行中です。Vemlaを終了してから「再試行」を押してください。";
    ASSERT_NO_FATAL_FAILURE(AnswerBox(uninstaller, "セットアップ", busy, IDRETRY));
    EXPECT_TRUE(TerminateProcess(application.hProcess, 0) && Ended(application, 5000));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(uninstaller, "セットアップ", busy, IDRETRY));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(uninstaller, "セットアップ", "アンインストールが成功しました。インストールしたフォルダを手動で削除してください。", IDOK));
    code = STILL_ACTIVE;
    EXPECT_TRUE(Ended(uninstaller, WaitLimit) && GetExitCodeProcess(uninstaller.hProcess, &code) && !code) << "exit code " << code;
    EXPECT_EQ("", Shown(UninstallationFaults(folder, std::vector<std::string>(4, OtherProgram), view)));
    EXPECT_TRUE(FolderExists(folder) && !FolderExists(folder + "\\TEXTURE")) << "the install folder left, TEXTURE not";
    EXPECT_FALSE(FolderExists(SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla")) << "the Start-menu group";
}

const Round Rounds[] = {{0, NULL, "x86_64"}, {KEY_WOW64_32KEY, NULL, "i686"}, {0, "C.UTF-8", "x86_64_CUtf8"}};
INSTANTIATE_TEST_SUITE_P(, EndToEnd, ::testing::ValuesIn(Rounds), [](const auto &r) { return r.param.name; });

}  // namespace
