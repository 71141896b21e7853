// setup.exe driven from outside as a person drives it, results checked in the Wine prefix it shares with
// this program. With VEMLA_WALKTHROUGH set to a folder (make run without a display) Walkthrough.* runs
// too: a screenshot of every page and box there, and a listing of what was installed.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

enum {
    IdFolder = 1000, IdBrowse = 1001, IdAssocBmp = 1002, IdAssocJpg = 1009, IdProgress = 1010, IdDesktop = 1011,
    IdSendTo = 1012, IdStartMenu = 1013, IdReadme = 1014, IdRun = 1015, IdAssocPng = 1018,
    IdBack = 0x3023, IdNext = 0x3024, IdFinish = 0x3025, IdMessageText = 0xFFFF
};

const char CreateQuestion[] = "フォルダが存在しません。\nフォルダを作成しますか？";
const char UninstallKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vemla";
const char OtherProgram[] = "OtherViewer.Image";  // owns the extensions before each installation
const char *const Files[] = {
    "vemla.exe", "vemla.hlp", "vemla.cnt", "readme.txt", "license.txt", "setup.exe",
    "TEXTURE\\キャンバス.BMP", "TEXTURE\\コルク１.BMP", "TEXTURE\\コルク２.BMP", "TEXTURE\\コンクリート壁.BMP",
    "TEXTURE\\メタル.BMP", "TEXTURE\\岩肌.BMP", "TEXTURE\\織物.BMP", "TEXTURE\\大理石１.BMP",
    "TEXTURE\\大理石２.BMP", "TEXTURE\\麻縄.BMP", "TEXTURE\\木目１.BMP", "TEXTURE\\木目２.BMP"};
const struct { const char *name; int box; } Extensions[] = {
    {".bmp", IdAssocBmp}, {".dib", IdAssocBmp}, {".jpg", IdAssocJpg}, {".png", IdAssocPng}};
const struct { int box, csidl; const char *file, *target; } Shortcuts[] = {
    {IdDesktop, CSIDL_DESKTOPDIRECTORY, "vemla.lnk", "vemla.exe"},
    {IdSendTo, CSIDL_SENDTO, "vemla.lnk", "vemla.exe"},
    {IdStartMenu, CSIDL_PROGRAMS, "Vemla\\Vemla.lnk", "vemla.exe"},
    {IdStartMenu, CSIDL_PROGRAMS, "Vemla\\Vemla ヘルプ.lnk", "vemla.hlp"}};

const DWORD WaitLimit = 20000;  // a whole installation under a loaded Wine; a healthy step takes well under 1 s
std::string screenshotFolder;   // the walk-through's; empty otherwise

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
    return GetDlgItem(window, IdMessageText) && !IsSheet(window) && !IsPicker(window) &&
           (GetDlgItem(window, IDOK) || GetDlgItem(window, IDYES));
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

// Saves the screen under window, frame included and caption active, as name.bmp in screenshotFolder.
void Screenshot(HWND window, const char *name)
{
    if (screenshotFolder.empty())
        return;
    DWORD self = GetCurrentThreadId(), thread = GetWindowThreadProcessId(window, NULL);
    WaitUntil([&] {
        AttachThreadInput(self, thread, TRUE);  // so that the window may take the foreground
        SetForegroundWindow(window);
        AttachThreadInput(self, thread, FALSE);
        return GetForegroundWindow() == window;
    }, 2000);
    Query(window, WM_NCACTIVATE, TRUE);  // a process's first window can be foreground with an inactive caption
    Sleep(400);                          // let the window finish painting
    RECT r;
    ASSERT_TRUE(GetWindowRect(window, &r) && r.right > r.left && r.bottom > r.top) << name;
    BITMAPINFOHEADER header = {sizeof header, r.right - r.left, r.bottom - r.top, 1, 24, BI_RGB};
    DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof header, size = (header.biWidth * 3 + 3) / 4 * 4 * header.biHeight;
    BITMAPFILEHEADER file = {0x4D42 /* "BM" */, offset + size, 0, 0, offset};
    std::string bytes = std::string((const char *)&file, sizeof file) + std::string((const char *)&header, sizeof header);
    HDC screen = GetDC(NULL), memory = CreateCompatibleDC(screen);
    void *bits = NULL;
    HBITMAP bitmap = CreateDIBSection(screen, (BITMAPINFO *)&header, DIB_RGB_COLORS, &bits, NULL, 0);
    SelectObject(memory, bitmap);
    BOOL copied = bits && BitBlt(memory, 0, 0, header.biWidth, header.biHeight, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    bytes.append(copied ? (const char *)bits : "", copied ? size : 0);
    DeleteDC(memory);  // first, so that the bitmap is no longer selected
    DeleteObject(bitmap);
    ReleaseDC(NULL, screen);
    ASSERT_TRUE(copied) << "cannot copy the screen for " << name;
    WriteFileBytes(screenshotFolder + "\\" + name + ".bmp", bytes);
}

// Waits for the process's next message box, checks its caption and text and presses answer.
void AnswerBox(const PROCESS_INFORMATION &process, const char *caption, const char *text, int answer,
               const char *screenshot = NULL)
{
    HWND box = NULL;
    WaitUntil([&] { return (box = FindTopLevel("#32770", process.dwProcessId, IsMessageBox)) || Ended(process); });
    ASSERT_TRUE(box) << "no message box \"" << Shown(text) << "\"" << (Ended(process) ? ": the program ended" : "");
    if (screenshot)
        Screenshot(box, screenshot);
    EXPECT_EQ(Shown(std::string(caption) + ": " + text), Shown(TextOf(box) + ": " + TextOf(GetDlgItem(box, IdMessageText))));
    HWND button = GetDlgItem(box, answer);
    ASSERT_TRUE(button && IsWindowVisible(button)) << "the box has no button " << answer;
    PostMessageA(button, BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(box); }, 10000)) << "the box stays after pressing " << answer;
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
// presses a disabled button too (on the finish page Next would take the sheet back). Next on the
// options page returns only after the installation: not waited for.
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

std::string ShortcutPath(int i) { return SpecialFolder(Shortcuts[i].csidl) + "\\" + Shortcuts[i].file; }

bool Chosen(const std::vector<int> &boxes, int box) { return std::find(boxes.begin(), boxes.end(), box) != boxes.end(); }

void ExpectString(HKEY root, const char *key, const char *name, const std::string &expected, REGSAM view = 0)
{
    RegistryValue value = ReadRegistryValue(root, key, name, view);
    EXPECT_EQ("1 " + Shown(expected) + '\0', std::to_string(value.type) + " " + Shown(value.bytes))
        << key << " \"" << name << "\": type (REG_SZ is 1), text with its NUL";
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

// Closes what the finish page started and removes what an installation writes outside its folder.
void RemoveInstallationTraces()
{
    CloseApplications();
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "Vemla");
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, UninstallKeyPath, view, 0);
    RemoveInstalledShortcuts();
}

// For the walk-through's listing: the registry under key, and the installation's files in folder.
void PrintKey(HKEY root, const std::string &key, REGSAM view = 0)
{
    HKEY opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
        return;
    char name[256], data[1024];
    DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type;
    for (DWORD i = 0; RegEnumValueA(opened, i, name, &nameSize, NULL, &type, (BYTE *)data, &dataSize) == ERROR_SUCCESS;
         ++i, nameSize = sizeof name, dataSize = sizeof data - 1) {
        data[dataSize] = 0;
        printf("  %s\\%s  %s = %s\n", root == HKEY_CLASSES_ROOT ? "HKCR" : "HKLM", Shown(key).c_str(),
               *name ? name : "(default)", (type == REG_DWORD ? std::to_string(*(DWORD *)data) : Shown(data)).c_str());
    }
    for (DWORD i = 0; RegEnumKeyA(opened, i, name, sizeof name) == ERROR_SUCCESS; ++i)
        PrintKey(root, key + "\\" + name, view);
    RegCloseKey(opened);
}

void PrintInstalled(const char *heading, const std::string &folder, REGSAM view)
{
    printf("\n%s %s:\n", heading, Shown(folder).c_str());
    for (const char *name : Files)
        if (FileExists(folder + "\\" + name))
            printf("  %8u  %s\n", (unsigned)ReadFileBytes(folder + "\\" + name).size(), Shown(name).c_str());
    for (const char *key : {"Vemla", ".bmp", ".dib", ".jpg", ".png"})
        PrintKey(HKEY_CLASSES_ROOT, key);
    PrintKey(HKEY_LOCAL_MACHINE, UninstallKeyPath, view);
    for (int i = 0; i < 4; ++i)
        if (FileExists(ShortcutPath(i)))
            printf("  %s -> %s\n", Shown(ShortcutPath(i)).c_str(), Shown(ReadShortcut(ShortcutPath(i)).target).c_str());
    fflush(stdout);
}

enum Ending { CancelOnOptions, Finish, FinishWithActions };

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
        RemoveInstallationTraces();
        // Another program owns the extensions, so that what is left alone and what is given back show.
        WriteRegistryString(HKEY_CLASSES_ROOT, OtherProgram, "", "Other Viewer");
        for (int i = 0; i < 4; ++i) {
            saved[i] = ReadRegistryValue(HKEY_CLASSES_ROOT, Extensions[i].name, "");
            WriteRegistryString(HKEY_CLASSES_ROOT, Extensions[i].name, "", OtherProgram);
        }
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
        RemoveInstallationTraces();
        for (int i = 0; i < 4; ++i) {
            RegDeleteKeyValueA(HKEY_CLASSES_ROOT, Extensions[i].name, "VemlaPrevious");
            RegDeleteKeyValueA(HKEY_CLASSES_ROOT, Extensions[i].name, "");
            if (saved[i].found)
                WriteRegistryString(HKEY_CLASSES_ROOT, Extensions[i].name, "", saved[i].bytes.c_str());
        }
        RegDeleteTreeA(HKEY_CLASSES_ROOT, OtherProgram);
        RemoveTree(scratch);
        CoUninitialize();
    }

    PROCESS_INFORMATION Start(const std::string &program, const char *argument)
    {
        std::string line = "\"" + program + "\"" + argument;
        STARTUPINFOA startup = {sizeof startup};
        startup.lpDesktop = desktop.empty() ? NULL : &desktop[0];
        PROCESS_INFORMATION process = {};
        EXPECT_TRUE(CreateProcessA(program.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL, scratch.c_str(), &startup,
                                   &process)) << "cannot start " << Shown(line) << ": " << GetLastError();
        if (process.hProcess)
            started.push_back(process);
        return process;
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

    void Round(const std::string &typed, const std::string &folder, const std::vector<int> &boxes, Ending ending);

    REGSAM view = 0;  // KEY_WOW64_32KEY: dist's i686 setup.exe, its HKLM\SOFTWARE records in the 32-bit view
    // The system's Program Files folder, which a 32-bit program on 64-bit Windows is given as "(x86)".
    std::string ProposedFolder() const { return view ? "C:\\Program Files (x86)\\Vemla" : "C:\\Program Files\\Vemla"; }
    std::string dist, scratch;
    std::string desktop;  // the desktop setup.exe is started on; empty: this program's
    PROCESS_INFORMATION wizard = {};
    HWND sheet = NULL;
    std::vector<PROCESS_INFORMATION> started;
    RegistryValue saved[4];  // the prefix's extensions, put back afterwards
};

// One round with scratch as the current folder: the first page and its picker; the question declined,
// then accepted; Back and Next; the boxes ticked; then Cancel, or the installation, the finish page
// (its actions ticked or not) and the removal by setup.exe /u from the install folder.
void EndToEnd::Round(const std::string &typed, const std::string &folder, const std::vector<int> &boxes, Ending ending)
{
    wizard = Start(dist + "\\setup.exe", "");
    WaitUntil([&] { return (sheet = FindTopLevel("#32770", wizard.dwProcessId, IsSheet)) || Ended(wizard); });
    ASSERT_TRUE(sheet) << "setup.exe showed no wizard" << (Ended(wizard) ? ": it ended" : " in time");
    HWND page = WaitForPage(IdFolder), picker = NULL;
    ASSERT_TRUE(page);
    HWND field = GetDlgItem(page, IdFolder);
    EXPECT_EQ(Shown("Vemlaのインストール"), Shown(TextOf(sheet))) << "the page's title as the caption";
    EXPECT_EQ(ProposedFolder(), TextOf(field)) << "the proposed folder";
    ExpectButtons(sheet, "-- Next -- Cancel");
    RECT s, d;
    EXPECT_TRUE(GetWindowRect(sheet, &s) && GetWindowRect(GetDesktopWindow(), &d) &&
                labs(s.left + s.right - d.right) <= 2 && labs(s.top + s.bottom - d.bottom) <= 2)
        << "not centred on the screen: " << s.left << "," << s.top << " to " << s.right << "," << s.bottom;
    Screenshot(sheet, "01-destination");
    PostMessageA(GetDlgItem(page, IdBrowse), BM_CLICK, 0, 0);
    WaitUntil([&] { return (picker = FindTopLevel("#32770", wizard.dwProcessId, IsPicker)) != NULL; }, 10000);
    ASSERT_TRUE(picker) << "no folder picker";
    EXPECT_TRUE(FindWindowExA(picker, NULL, NULL, "Select Folder")) << "the picker's title";
    Screenshot(picker, "02-browse");
    PostMessageA(GetDlgItem(picker, IDCANCEL), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(picker); }, 10000)) << "the picker stays";
    EXPECT_EQ(ProposedFolder(), TextOf(field)) << "the field after a cancelled picker";

    // No keeps the user on the page, nothing created, the field made absolute; Yes creates folder and TEXTURE.
    Query(field, WM_SETTEXT, 0, (LPARAM)typed.c_str());
    ASSERT_EQ(Shown(typed), Shown(TextOf(field))) << "the folder field after typing";
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdNext));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(wizard, "インストール", CreateQuestion, IDNO));
    Sleep(300);
    EXPECT_EQ(page, WaitForPage(IdFolder)) << "the page after No";
    EXPECT_FALSE(FolderExists(folder)) << "created after No";
    EXPECT_EQ(Shown(folder), Shown(TextOf(field))) << "the field after No";
    ExpectButtons(sheet, "-- Next -- Cancel");
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdNext));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(wizard, "インストール", CreateQuestion, IDYES, "03-create-folder"));
    HWND options = WaitForPage(IdProgress);
    ASSERT_TRUE(options);
    EXPECT_TRUE(FolderExists(folder + "\\TEXTURE")) << "created with its TEXTURE subfolder";
    ExpectButtons(sheet, "Back Next -- Cancel");
    // Back shows the folder as accepted, and Next with it asks nothing though the current folder has moved.
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdBack));
    ASSERT_EQ(page, WaitForPage(IdFolder));
    EXPECT_EQ(Shown(folder), Shown(TextOf(field))) << "the field after Back";
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdNext));
    ASSERT_EQ(options, WaitForPage(IdProgress));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath, view)) << "installed before Next on the options";
    for (int box : boxes)
        Tick(options, box);
    Screenshot(sheet, "04-options");

    if (ending == CancelOnOptions) {
        ASSERT_NO_FATAL_FAILURE(Press(sheet, IDCANCEL));
        ExpectExitCodeZero(wizard, "setup.exe after Cancel");
        EXPECT_EQ(1, CountFolderEntries(folder)) << "the folder holds more than TEXTURE";
        EXPECT_EQ(0, CountFolderEntries(folder + "\\TEXTURE")) << "TEXTURE is not empty";
        EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, "Vemla")) << "a file type";
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath, view)) << "an uninstall entry";
        EXPECT_FALSE(FileExists(ShortcutPath(0))) << "a desktop shortcut";
        return;
    }
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdNext));
    HWND finish = WaitForPage(IdReadme);
    ASSERT_TRUE(finish);
    EXPECT_EQ(100, Query(GetDlgItem(options, IdProgress), PBM_GETPOS)) << "progress at the end";
    ExpectButtons(sheet, "-- -- Finish Cancel");
    for (const char *name : Files)
        EXPECT_TRUE(ReadFileBytes(folder + "\\" + name) == ReadFileBytes(dist + "\\" + name)) << Shown(name) << " differs";
    for (const auto &record : {std::make_pair("UninstallString", "\"" + folder + "\\setup.exe\" /u"),
                               std::make_pair("InstallLocation", folder), std::make_pair("DisplayIcon", folder + "\\vemla.exe,0"),
                               std::make_pair("DisplayVersion", std::string("1.0.0.0")),  // the stand-in's own
                               std::make_pair("Publisher", std::string("Zandorel"))})
        ExpectString(HKEY_LOCAL_MACHINE, UninstallKeyPath, record.first, record.second, view);
    size_t bytes = 0;
    for (const char *name : Files)
        bytes += ReadFileBytes(dist + "\\" + name).size();
    RegistryValue size = ReadRegistryValue(HKEY_LOCAL_MACHINE, UninstallKeyPath, "EstimatedSize", view);
    EXPECT_TRUE(size.type == REG_DWORD && *(DWORD *)&size.bytes[0] == (bytes + 1023) / 1024) << "EstimatedSize in KB";
    bool associated = Chosen(boxes, IdAssocBmp) || Chosen(boxes, IdAssocJpg) || Chosen(boxes, IdAssocPng);
    EXPECT_EQ(associated, RegistryKeyExists(HKEY_CLASSES_ROOT, "Vemla")) << "the file type HKCR\\Vemla";
    if (associated)
        ExpectString(HKEY_CLASSES_ROOT, "Vemla\\shell\\open\\command", "", "\"" + folder + "\\vemla.exe\" \"%1\"");
    for (const auto &extension : Extensions)
        ExpectString(HKEY_CLASSES_ROOT, extension.name, "", Chosen(boxes, extension.box) ? "Vemla" : OtherProgram);
    for (int i = 0; i < 4; ++i) {
        ShortcutContents link = ReadShortcut(ShortcutPath(i));
        EXPECT_EQ(Chosen(boxes, Shortcuts[i].box), link.loaded) << Shown(ShortcutPath(i));
        if (link.loaded)
            EXPECT_EQ(Shown(folder + "\\" + Shortcuts[i].target + " | " + folder),
                      Shown(link.target + " | " + link.workingFolder)) << "target | working folder";
    }
    if (!screenshotFolder.empty())
        PrintInstalled("Installed into", folder, view);

    // The finish actions, from the distribution folder, when asked for: the readme first.
    if (ending == FinishWithActions) {
        Tick(finish, IdReadme);
        Tick(finish, IdRun);
    }
    Screenshot(sheet, "05-finish");
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdFinish));
    ExpectExitCodeZero(wizard, "setup.exe after Finish");
    HWND application = NULL, notepad = NULL;
    WaitUntil([&] {
        application = FindTopLevel("VemlaStandIn", 0), notepad = FindTopLevel("Notepad", 0);
        return application && notepad;
    }, ending == FinishWithActions ? 30000 : 1500);
    EXPECT_EQ(ending == FinishWithActions, notepad != NULL) << "a Notepad window with the readme";
    EXPECT_EQ(ending == FinishWithActions, application != NULL) << "vemla.exe running";
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
        // Apart, so that neither covers the other in its picture whichever comes up last.
        SetWindowPos(notepad, NULL, 0, 0, 560, 200, SWP_NOZORDER);
        SetWindowPos(application, NULL, 600, 420, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        Screenshot(application, "07-application");
        Screenshot(notepad, "06-readme");
    }
    CloseApplications();

    PROCESS_INFORMATION uninstaller = Start(folder + "\\setup.exe", " /u");
    ASSERT_TRUE(uninstaller.hProcess);
    ASSERT_NO_FATAL_FAILURE(
        AnswerBox(uninstaller, "セットアップ", "Vemlaをアンインストールしますか？", IDYES, "08-uninstall-question"));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(uninstaller, "セットアップ",
                                      "アンインストールが成功しました。インストールしたフォルダを手動で削除してください。",
                                      IDOK, "09-uninstall-done"));
    ExpectExitCodeZero(uninstaller, "setup.exe /u");
    EXPECT_TRUE(FolderExists(folder)) << "the install folder is left for the user";
    for (const char *name : Files)  // the running setup.exe may stay, as Windows keeps it
        EXPECT_TRUE(!FileExists(folder + "\\" + name) || !lstrcmpA(name, "setup.exe")) << Shown(name) << " left behind";
    EXPECT_FALSE(FolderExists(folder + "\\TEXTURE")) << "the texture folder is left behind";
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(FileExists(ShortcutPath(i))) << Shown(ShortcutPath(i));
    EXPECT_FALSE(FolderExists(SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla")) << "the Start-menu group";
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, "Vemla")) << "the file type HKCR\\Vemla";
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath, view)) << "the uninstall entry";
    for (const auto &extension : Extensions) {
        ExpectString(HKEY_CLASSES_ROOT, extension.name, "", OtherProgram);  // given back, or left alone
        EXPECT_FALSE(ReadRegistryValue(HKEY_CLASSES_ROOT, extension.name, "VemlaPrevious").found) << extension.name;
    }
}

// Typed relative to the current folder, which is not the program's.
TEST_F(EndToEnd, NewJapaneseFolderWithSomeOptionsInstallsRunsAndUninstalls)
{
    Round("新しい 表\\Vemla表", scratch + "\\新しい 表\\Vemla表", {IdAssocBmp, IdAssocPng, IdDesktop, IdStartMenu},
          FinishWithActions);
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

TEST_F(EndToEndI686, NewJapaneseFolderWithSomeOptionsInstallsRunsAndUninstalls)
{
    Round("新しい 表\\Vemla表", scratch + "\\新しい 表\\Vemla表", {IdAssocBmp, IdAssocPng, IdDesktop, IdStartMenu},
          FinishWithActions);
}

TEST_F(EndToEnd, NoOptionsWritesOnlyTheFilesAndTheUninstallEntry)
{
    Round(scratch + "\\無し表", scratch + "\\無し表", {}, Finish);
}

TEST_F(EndToEnd, CancelOnTheOptionsPageLeavesOnlyTheFolders)
{
    Round(scratch + "\\取消表", scratch + "\\取消表", {IdAssocBmp, IdDesktop}, CancelOnOptions);
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
    wizard = Start(scratch + "\\setup.exe", "");
    WaitUntil([&] { return (sheet = FindTopLevel("#32770", wizard.dwProcessId, IsSheet)) || Ended(wizard); });
    RegDeleteKeyValueA(HKEY_CURRENT_USER, Overrides, "comctl32");
    EXPECT_FALSE(FileExists(scratch + "\\planted.txt")) << "the planted DLL was loaded";
    ASSERT_TRUE(sheet) << "setup.exe showed no wizard" << (Ended(wizard) ? ": it ended" : " in time");
    ASSERT_TRUE(WaitForPage(IdFolder));
    PostMessageA(GetDlgItem(sheet, IDCANCEL), BM_CLICK, 0, 0);  // posted, as a click is: the sheet's loop looks after each one
    ExpectExitCodeZero(wizard, "setup.exe after Cancel");
}

// make run without a display: on a desktop of our own, which Wine shows as a virtual desktop drawing the
// frames (there is no window manager).
class Walkthrough : public EndToEnd {
protected:
    void SetUp() override
    {
        const char *folder = getenv("VEMLA_WALKTHROUGH");
        if (!folder || folder[0] != '/')
            GTEST_SKIP() << "set VEMLA_WALKTHROUGH to a folder for the screenshots (make run)";
        screenshotFolder = WindowsPath(folder);
        WriteRegistryString(HKEY_CURRENT_USER, "Software\\Wine\\Explorer\\Desktops", "VemlaWalkthrough", "1024x768");
        HDESK own = CreateDesktopA("VemlaWalkthrough", NULL, NULL, 0, GENERIC_ALL, NULL);
        ASSERT_TRUE(own && SetThreadDesktop(own)) << "no desktop of our own: " << GetLastError();
        desktop = "VemlaWalkthrough";
        view = getenv("VEMLA_WINE32") ? KEY_WOW64_32KEY : 0;  // the i686 setup.exe that ships, where it runs
        EndToEnd::SetUp();
        RemoveTree(ProposedFolder());  // from a prefix without it
    }
    void TearDown() override
    {
        EndToEnd::TearDown();
        if (!screenshotFolder.empty())
            RemoveTree(ProposedFolder());
        screenshotFolder.clear();
    }
};

TEST_F(Walkthrough, InstallWithEveryOptionThenUninstall)
{
    Round(ProposedFolder(), ProposedFolder(), {IdAssocBmp, IdAssocJpg, IdAssocPng, IdDesktop, IdSendTo, IdStartMenu},
          FinishWithActions);
    PrintInstalled("Uninstalled; left from", ProposedFolder(), view);
}

}  // namespace
