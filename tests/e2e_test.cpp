// setup.exe driven from outside, as a person drives it: windows found by process id, the folder typed
// with WM_SETTEXT, check boxes and the sheet's own buttons pressed with BM_CLICK (a disabled button
// stays unpressed), every message box read before it is answered; results checked in the Wine prefix
// that setup.exe shares with this program. With VEMLA_WALKTHROUGH set to a folder (make run without
// a display) Walkthrough.* runs too: screenshots of every page and box there, and what was installed.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <stdio.h>

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

const char InstallCaption[] = "インストール";
const char UninstallCaption[] = "セットアップ";
const char CreateQuestion[] = "フォルダが存在しません。\nフォルダを作成しますか？";
const char ProposedFolder[] = "C:\\Program Files\\Vemla";
const char UninstallKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vemla";
const char OtherProgram[] = "OtherViewer.Image";  // owns the extensions before each installation
const char *const ProgramFiles[] = {"vemla.exe", "vemla.hlp", "vemla.cnt", "readme.txt", "license.txt", "setup.exe"};
const char *const Textures[] = {"キャンバス.BMP", "コルク１.BMP", "コルク２.BMP", "コンクリート壁.BMP",
                                "メタル.BMP", "岩肌.BMP", "織物.BMP", "大理石１.BMP",
                                "大理石２.BMP", "麻縄.BMP", "木目１.BMP", "木目２.BMP"};
const struct {
    const char *name;
    int box;  // the check box that associates it
} Extensions[] = {{".bmp", IdAssocBmp}, {".dib", IdAssocBmp}, {".jpg", IdAssocJpg}, {".png", IdAssocPng}};
const struct {
    int box, csidl;
    const char *file, *target;
} Shortcuts[] = {{IdDesktop, CSIDL_DESKTOPDIRECTORY, "vemla.lnk", "vemla.exe"},
                 {IdSendTo, CSIDL_SENDTO, "vemla.lnk", "vemla.exe"},
                 {IdStartMenu, CSIDL_PROGRAMS, "Vemla\\Vemla.lnk", "vemla.exe"},
                 {IdStartMenu, CSIDL_PROGRAMS, "Vemla\\Vemla ヘルプ.lnk", "vemla.hlp"}};
const size_t ShortcutCount = sizeof Shortcuts / sizeof Shortcuts[0];

// Long enough for a whole installation under a loaded Wine; a healthy step takes well under a second.
const DWORD WaitLimit = 20000;
std::string screenshotFolder;  // the walk-through's; empty otherwise

// Code page 932 text, readable in a failure message on a UTF-8 terminal.
std::string Shown(const std::string &text)
{
    std::wstring wide(text.size() + 1, L'\0');
    std::string shown(text.size() * 3 + 1, '\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), &wide[0], (int)wide.size()));
    shown.resize(WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), &shown[0], (int)shown.size(), 0, 0));
    return shown;
}

// A Linux path from the environment as Wine sees it (drive Z: is /).
std::string WindowsPath(const char *path)
{
    std::string converted = std::string("Z:") + path;
    std::replace(converted.begin(), converted.end(), '/', '\\');
    return converted;
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

// The first visible top-level window of className (of a process, when processId is not 0) that
// kind accepts.
HWND FindTopLevel(const char *className, DWORD processId, bool (*kind)(HWND) = NULL)
{
    for (HWND window = NULL; (window = FindWindowExA(NULL, window, className, NULL)) != NULL;)
        if (IsWindowVisible(window) && (!processId || ProcessOf(window) == processId) && (!kind || kind(window)))
            return window;
    return NULL;
}

bool IsSheet(HWND window) { return GetDlgItem(window, IdNext) != NULL; }
bool IsPicker(HWND window) { return FindWindowExA(window, NULL, "SysTreeView32", NULL) != NULL; }
bool IsMessageBox(HWND window)
{
    return GetDlgItem(window, IdMessageText) && !IsSheet(window) && !IsPicker(window) &&
           (GetDlgItem(window, IDOK) || GetDlgItem(window, IDYES));
}

bool Ended(const PROCESS_INFORMATION &process) { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }

void ExpectExitCodeZero(const PROCESS_INFORMATION &process, const char *what)
{
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, WaitLimit)) << what << " did not end in time";
    DWORD code = 0xdeadbeef;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(0u, code) << "exit code of " << what;
}

// Saves the screen under window, frame included, as name.bmp in screenshotFolder.
void Screenshot(HWND window, const char *name)
{
    if (screenshotFolder.empty())
        return;
    // An active caption, as the person using it sees it.
    DWORD thread = GetWindowThreadProcessId(window, NULL);
    WaitUntil([&] {
        AttachThreadInput(GetCurrentThreadId(), thread, TRUE);
        SetForegroundWindow(window);
        AttachThreadInput(GetCurrentThreadId(), thread, FALSE);
        return GetForegroundWindow() == window;
    }, 2000);
    // The first window of a process can be foreground with its caption still drawn inactive.
    Query(window, WM_NCACTIVATE, TRUE);
    Sleep(400);  // let the window finish painting
    RECT rect;
    ASSERT_TRUE(GetWindowRect(window, &rect) && rect.right > rect.left && rect.bottom > rect.top) << name;
    BITMAPINFOHEADER header = {sizeof header, rect.right - rect.left, rect.bottom - rect.top, 1, 24, BI_RGB};
    HDC screen = GetDC(NULL), memory = CreateCompatibleDC(screen);
    void *bits = NULL;
    HBITMAP bitmap = CreateDIBSection(screen, (BITMAPINFO *)&header, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BOOL copied = BitBlt(memory, 0, 0, header.biWidth, header.biHeight, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    DWORD size = (((DWORD)header.biWidth * 3 + 3) & ~3u) * header.biHeight;
    DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof header;
    BITMAPFILEHEADER file = {0x4D42 /* "BM" */, offset + size, 0, 0, offset};
    std::string bytes = std::string((const char *)&file, sizeof file) + std::string((const char *)&header, sizeof header);
    bytes.append(bits ? (const char *)bits : "", bits ? size : 0);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    ASSERT_TRUE(copied && bits) << "cannot copy the screen for " << name;
    WriteFileBytes(screenshotFolder + "\\" + name + ".bmp", bytes);
}

// Answers a box nobody expected with its most harmless button, so the program can go on; returns
// what it said.
std::string Dismiss(HWND box)
{
    std::string seen = "\"" + Shown(TextOf(box)) + "\": " + Shown(TextOf(GetDlgItem(box, IdMessageText)));
    PostMessageA(GetDlgItem(box, GetDlgItem(box, IDOK) ? IDOK : IDNO), BM_CLICK, 0, 0);
    WaitUntil([&] { return !IsWindow(box); }, 5000);
    return seen;
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
    EXPECT_EQ(Shown(caption), Shown(TextOf(box))) << "caption of the box \"" << Shown(text) << "\"";
    EXPECT_EQ(Shown(text), Shown(TextOf(GetDlgItem(box, IdMessageText)))) << "text of the message box";
    HWND button = GetDlgItem(box, answer);
    if (!button || !IsWindowVisible(button))
        FAIL() << "the box " << Dismiss(box) << " has no button " << answer;
    PostMessageA(button, BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(box); }, 10000)) << "the box stays after pressing " << answer;
}

bool Usable(HWND sheet, int id)
{
    HWND button = GetDlgItem(sheet, id);
    return button && IsWindowVisible(button) && IsWindowEnabled(button);
}

std::string ButtonStates(HWND sheet)
{
    return std::string(Usable(sheet, IdBack) ? "Back " : "-- ") + (Usable(sheet, IdNext) ? "Next " : "-- ") +
           (Usable(sheet, IdFinish) ? "Finish " : "-- ") + (Usable(sheet, IDCANCEL) ? "Cancel" : "--");
}

// The page's button states arrive as a posted message: wait for them.
void ExpectButtons(HWND sheet, const char *expected, const char *pageName)
{
    WaitUntil([&] { return ButtonStates(sheet) == expected; }, 5000);
    EXPECT_EQ(expected, ButtonStates(sheet)) << "usable buttons on the " << pageName << " page";
}

// Presses a button of the sheet as a click would: refused when it cannot be clicked, since BM_CLICK
// itself presses a disabled button too (on the finish page Next would take the sheet back).
void Press(HWND sheet, int id)
{
    WaitUntil([&] { return Usable(sheet, id); }, 5000);
    ASSERT_TRUE(Usable(sheet, id)) << "button " << std::hex << id << " cannot be pressed (" << ButtonStates(sheet) << ")";
    // Next on the options page runs the whole installation before it returns: don't wait for it.
    SendMessageTimeoutA(GetDlgItem(sheet, id), BM_CLICK, 0, 0, SMTO_NORMAL, 200, NULL);
}

void Tick(HWND page, int id)
{
    Query(GetDlgItem(page, id), BM_CLICK);
    EXPECT_EQ(BST_CHECKED, Query(GetDlgItem(page, id), BM_GETCHECK)) << "check box " << id << " after a click";
}

void TypeFolder(HWND page, const std::string &folder)
{
    Query(GetDlgItem(page, IdFolder), WM_SETTEXT, 0, (LPARAM)folder.c_str());
    ASSERT_EQ(Shown(folder), Shown(TextOf(GetDlgItem(page, IdFolder)))) << "the folder field after typing";
}

std::string ShortcutPath(size_t i) { return SpecialFolder(Shortcuts[i].csidl) + "\\" + Shortcuts[i].file; }

// A shortcut file's target and working folder, as "target | folder".
std::string ShortcutTarget(const std::string &path)
{
    IShellLinkA *link = NULL;
    IPersistFile *file = NULL;
    char target[MAX_PATH] = "", folder[MAX_PATH] = "";
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&link))) {
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file))) {
            if (SUCCEEDED(file->Load(wide, STGM_READ))) {
                link->GetPath(target, sizeof target, NULL, SLGP_RAWPATH);
                link->GetWorkingDirectory(folder, sizeof folder);
            }
            file->Release();
        }
        link->Release();
    }
    return std::string(target) + " | " + folder;
}

void ExpectString(HKEY root, const char *key, const char *name, const std::string &expected)
{
    RegistryValue value = ReadRegistryValue(root, key, name);
    EXPECT_EQ((DWORD)REG_SZ, value.type) << key << " \"" << name << "\"" << (value.found ? "" : " is missing");
    EXPECT_EQ(Shown(expected) + '\0', Shown(value.bytes)) << key << " \"" << name << "\", with its NUL";
}

// Closes a window that the finish page started, and waits for its process to end.
void CloseApplication(HWND window)
{
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, ProcessOf(window));
    PostMessageA(window, WM_CLOSE, 0, 0);
    if (process && WaitForSingleObject(process, 10000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "a program the finish page started did not close";
        TerminateProcess(process, 1);
    }
    CloseHandle(process);
}

// What the registry holds under key, for the walk-through's listing.
void PrintKey(HKEY root, const char *rootName, const std::string &key)
{
    HKEY opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return;
    char name[256], data[1024];
    DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type;
    for (DWORD i = 0; RegEnumValueA(opened, i, name, &nameSize, NULL, &type, (BYTE *)data, &dataSize) == ERROR_SUCCESS;
         ++i, nameSize = sizeof name, dataSize = sizeof data - 1) {
        data[dataSize] = 0;
        std::string shown = type == REG_DWORD ? std::to_string(*(DWORD *)data) : Shown(data);
        printf("  %s\\%s  %s = %s\n", rootName, Shown(key).c_str(), *name ? name : "(default)", shown.c_str());
    }
    for (DWORD i = 0; RegEnumKeyA(opened, i, name, sizeof name) == ERROR_SUCCESS; ++i)
        PrintKey(root, rootName, key + "\\" + name);
    RegCloseKey(opened);
}

// The installation's files that folder holds, for the walk-through's listing.
void PrintFiles(const std::string &folder)
{
    std::vector<std::string> names(ProgramFiles, ProgramFiles + 6);
    for (const char *texture : Textures)
        names.push_back(std::string("TEXTURE\\") + texture);
    for (const std::string &name : names)
        if (FileExists(folder + "\\" + name))
            printf("  %8u  %s\n", (unsigned)ReadFileBytes(folder + "\\" + name).size(), Shown(name).c_str());
}

bool Chosen(const std::vector<int> &boxes, int box) { return std::find(boxes.begin(), boxes.end(), box) != boxes.end(); }

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(932u, GetACP()) << "the Japanese names need the ANSI code page 932";
        const char *root = getenv("VEMLA_BUILD_ROOT");
        ASSERT_TRUE(root && root[0] == '/') << "VEMLA_BUILD_ROOT is not set";
        dist = WindowsPath(root) + "\\dist64";
        ASSERT_TRUE(FileExists(dist + "\\setup.exe")) << "no setup.exe in " << dist;
        CoInitialize(NULL);
        RemoveInstallationTraces();
        // Another program owns the extensions, so that what is left alone and what is given back show.
        WriteRegistryString(HKEY_CLASSES_ROOT, OtherProgram, "", "Other Viewer");
        for (size_t i = 0; i < 4; ++i) {
            saved[i] = ReadRegistryValue(HKEY_CLASSES_ROOT, Extensions[i].name, "");
            WriteRegistryString(HKEY_CLASSES_ROOT, Extensions[i].name, "", OtherProgram);
        }
        scratch = MakeScratchFolder("e2e");
        CloseApplications();  // so that the finish page's are the only ones
    }

    void TearDown() override
    {
        for (PROCESS_INFORMATION &process : started) {
            if (!Ended(process) && TerminateProcess(process.hProcess, 1)) {
                ADD_FAILURE() << "a setup.exe of this test was still running";
                WaitForSingleObject(process.hProcess, 5000);
            }
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        CloseApplications();
        RemoveInstallationTraces();
        for (size_t i = 0; i < 4; ++i) {
            RegDeleteKeyValueA(HKEY_CLASSES_ROOT, Extensions[i].name, "VemlaPrevious");
            if (saved[i].found)
                RegSetKeyValueA(HKEY_CLASSES_ROOT, Extensions[i].name, "", saved[i].type, saved[i].bytes.data(),
                                (DWORD)saved[i].bytes.size());
            else
                RegDeleteKeyValueA(HKEY_CLASSES_ROOT, Extensions[i].name, "");
        }
        RegDeleteTreeA(HKEY_CLASSES_ROOT, OtherProgram);
        RemoveTree(scratch);
        CoUninitialize();
    }

    static void CloseApplications()
    {
        for (const char *className : {"Notepad", "VemlaStandIn"})
            for (int i = 0; i < 3 && FindTopLevel(className, 0); ++i)
                CloseApplication(FindTopLevel(className, 0));
    }

    static void RemoveInstallationTraces()
    {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, "Vemla");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, UninstallKeyPath);
        RemoveInstalledShortcuts();
    }

    PROCESS_INFORMATION Start(const std::string &program, const char *argument, const std::string &currentFolder)
    {
        std::string line = "\"" + program + "\"" + (argument ? std::string(" ") + argument : "");
        STARTUPINFOA startup = {sizeof startup};
        startup.lpDesktop = desktop.empty() ? NULL : &desktop[0];
        PROCESS_INFORMATION process = {};
        EXPECT_TRUE(CreateProcessA(program.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL, currentFolder.c_str(),
                                   &startup, &process))
            << "cannot start " << Shown(line) << ": " << GetLastError();
        if (process.hProcess)
            started.push_back(process);
        return process;
    }

    // Starts the wizard from the distribution folder; returns its first page.
    HWND StartWizard(const std::string &currentFolder)
    {
        wizard = Start(dist + "\\setup.exe", NULL, currentFolder);
        WaitUntil([&] { return (sheet = FindTopLevel("#32770", wizard.dwProcessId, IsSheet)) || Ended(wizard); });
        EXPECT_TRUE(sheet) << "setup.exe showed no wizard" << (Ended(wizard) ? ": it ended" : " in time");
        return sheet ? WaitForPage(IdFolder, "destination") : NULL;
    }

    // Waits until the sheet shows the page holding control; a message box meanwhile is a failure
    // (answered, so that the program can go on), as is the end of the program.
    HWND WaitForPage(int control, const char *pageName)
    {
        HWND page = NULL, box = NULL;
        WaitUntil([&] {
            for (page = NULL; (page = FindWindowExA(sheet, page, "#32770", NULL)) != NULL;)
                if (IsWindowVisible(page) && GetDlgItem(page, control))
                    break;
            box = FindTopLevel("#32770", wizard.dwProcessId, IsMessageBox);
            return page || box || Ended(wizard);
        });
        if (box)
            ADD_FAILURE() << "a message box instead of the " << pageName << " page: " << Dismiss(box);
        else if (!page)
            ADD_FAILURE() << "no " << pageName << " page" << (Ended(wizard) ? ": the program ended" : " in time");
        return box ? NULL : page;
    }

    // From the options page: ticks boxes, Next, and waits for the finish page after the installation.
    HWND Install(HWND options, const std::vector<int> &boxes)
    {
        for (int box : boxes)
            Tick(options, box);
        Screenshot(sheet, "04-options");
        Press(sheet, IdNext);
        HWND finish = WaitForPage(IdReadme, "finish");
        EXPECT_EQ(100, Query(GetDlgItem(options, IdProgress), PBM_GETPOS)) << "progress at the end";
        ExpectButtons(sheet, "-- -- Finish Cancel", "finish");
        return finish;
    }

    void InstallUseAndUninstall(const std::string &typed, const std::string &folder, const std::vector<int> &boxes,
                                bool finishActions);
    void ExpectInstalled(const std::string &folder, const std::vector<int> &boxes);
    void ExpectUninstalled(const std::string &folder);
    void Uninstall(const std::string &folder);
    void ExpectStarted(HWND notepad, HWND application);

    std::string dist, scratch;
    std::string desktop;  // the desktop setup.exe is started on; empty: this program's
    PROCESS_INFORMATION wizard = {};
    HWND sheet = NULL;
    std::vector<PROCESS_INFORMATION> started;
    RegistryValue saved[4];  // the prefix's extensions, put back afterwards
};

void EndToEnd::ExpectInstalled(const std::string &folder, const std::vector<int> &boxes)
{
    for (const char *name : ProgramFiles)
        EXPECT_TRUE(ReadFileBytes(folder + "\\" + name) == ReadFileBytes(dist + "\\" + name)) << name << " not copied whole";
    for (const char *name : Textures)
        EXPECT_TRUE(ReadFileBytes(folder + "\\TEXTURE\\" + name) == ReadFileBytes(dist + "\\TEXTURE\\" + name))
            << Shown(name) << " not copied whole";
    ExpectString(HKEY_LOCAL_MACHINE, UninstallKeyPath, "UninstallString", "\"" + folder + "\\setup.exe\" /u");
    ExpectString(HKEY_LOCAL_MACHINE, UninstallKeyPath, "InstallLocation", folder);
    ExpectString(HKEY_LOCAL_MACHINE, UninstallKeyPath, "DisplayIcon", folder + "\\vemla.exe,0");
    bool associated = Chosen(boxes, IdAssocBmp) || Chosen(boxes, IdAssocJpg) || Chosen(boxes, IdAssocPng);
    EXPECT_EQ(associated, RegistryKeyExists(HKEY_CLASSES_ROOT, "Vemla")) << "the file type HKCR\\Vemla";
    if (associated)
        ExpectString(HKEY_CLASSES_ROOT, "Vemla\\shell\\open\\command", "", "\"" + folder + "\\vemla.exe\" \"%1\"");
    for (const auto &extension : Extensions)
        ExpectString(HKEY_CLASSES_ROOT, extension.name, "", Chosen(boxes, extension.box) ? "Vemla" : OtherProgram);
    for (size_t i = 0; i < ShortcutCount; ++i) {
        EXPECT_EQ(Chosen(boxes, Shortcuts[i].box), FileExists(ShortcutPath(i))) << Shown(ShortcutPath(i));
        if (FileExists(ShortcutPath(i)))
            EXPECT_EQ(Shown(folder + "\\" + Shortcuts[i].target + " | " + folder), Shown(ShortcutTarget(ShortcutPath(i))))
                << "target | working folder of " << Shown(ShortcutPath(i));
    }
}

void EndToEnd::ExpectUninstalled(const std::string &folder)
{
    EXPECT_TRUE(FolderExists(folder)) << "the install folder is left for the user";
    for (const char *name : ProgramFiles)  // the running setup.exe may stay, as Windows keeps it
        EXPECT_TRUE(!FileExists(folder + "\\" + name) || !lstrcmpA(name, "setup.exe")) << name << " left behind";
    EXPECT_FALSE(FolderExists(folder + "\\TEXTURE")) << "the texture folder is left behind";
    for (size_t i = 0; i < ShortcutCount; ++i)
        EXPECT_FALSE(FileExists(ShortcutPath(i))) << Shown(ShortcutPath(i));
    EXPECT_FALSE(FolderExists(SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla")) << "the Start-menu group";
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, "Vemla")) << "the file type HKCR\\Vemla";
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath)) << "the uninstall entry";
    for (const auto &extension : Extensions) {
        ExpectString(HKEY_CLASSES_ROOT, extension.name, "", OtherProgram);  // given back, or left alone
        EXPECT_FALSE(ReadRegistryValue(HKEY_CLASSES_ROOT, extension.name, "VemlaPrevious").found) << extension.name;
    }
}

// The readme shown by Notepad and the distribution's vemla.exe running; both are closed.
void EndToEnd::ExpectStarted(HWND notepad, HWND application)
{
    ASSERT_TRUE(notepad) << "the readme was not opened";
    std::string readme = TextOf(FindWindowExA(notepad, NULL, "Edit", NULL));
    EXPECT_NE(std::string::npos, readme.find("Vemla をお使いいただきありがとうございます。")) << Shown(readme);
    SetWindowPos(notepad, NULL, 0, 0, 560, 200, SWP_NOMOVE | SWP_NOZORDER);  // a picture, not a page
    Screenshot(notepad, "06-readme");
    CloseApplication(notepad);
    ASSERT_TRUE(application) << "vemla.exe was not started";
    char image[MAX_PATH] = "";
    DWORD size = sizeof image;
    HANDLE running = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ProcessOf(application));
    EXPECT_TRUE(running && QueryFullProcessImageNameA(running, 0, image, &size));
    CloseHandle(running);
    EXPECT_EQ(0, lstrcmpiA((dist + "\\vemla.exe").c_str(), image)) << "started " << Shown(image);
    Screenshot(application, "07-application");
    CloseApplication(application);
}

void EndToEnd::Uninstall(const std::string &folder)
{
    PROCESS_INFORMATION process = Start(folder + "\\setup.exe", "/u", scratch);
    ASSERT_TRUE(process.hProcess);
    ASSERT_NO_FATAL_FAILURE(
        AnswerBox(process, UninstallCaption, "Vemlaをアンインストールしますか？", IDYES, "08-uninstall-question"));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(process, UninstallCaption,
                                      "アンインストールが成功しました。インストールしたフォルダを手動で削除してください。",
                                      IDOK, "09-uninstall-done"));
    ExpectExitCodeZero(process, "setup.exe /u");
}

// The whole round from scratch as the current folder: the first page and its picker; the question
// declined, then accepted for the new folder typed; Back and Next; the installation with boxes
// ticked; the finish actions when asked for, and none when not; the removal.
void EndToEnd::InstallUseAndUninstall(const std::string &typed, const std::string &folder, const std::vector<int> &boxes,
                                      bool finishActions)
{
    HWND page = StartWizard(scratch);
    ASSERT_TRUE(page);
    HWND field = GetDlgItem(page, IdFolder);
    EXPECT_EQ(Shown("Vemlaのインストール"), Shown(TextOf(sheet))) << "the page's title as the caption";
    EXPECT_EQ(ProposedFolder, TextOf(field)) << "the proposed folder";
    ExpectButtons(sheet, "-- Next -- Cancel", "destination");
    RECT placed, screen;
    GetWindowRect(sheet, &placed);
    GetWindowRect(GetDesktopWindow(), &screen);
    EXPECT_NEAR(screen.right / 2, (placed.left + placed.right) / 2, 1) << "centred across";
    EXPECT_NEAR(screen.bottom / 2, (placed.top + placed.bottom) / 2, 1) << "centred down";
    Screenshot(sheet, "01-destination");
    HWND picker = NULL;
    PostMessageA(GetDlgItem(page, IdBrowse), BM_CLICK, 0, 0);
    WaitUntil([&] { return (picker = FindTopLevel("#32770", wizard.dwProcessId, IsPicker)) != NULL; }, 10000);
    ASSERT_TRUE(picker) << "no folder picker";
    EXPECT_TRUE(FindWindowExA(picker, NULL, NULL, "Select Folder")) << "the picker's title";
    Screenshot(picker, "02-browse");
    PostMessageA(GetDlgItem(picker, IDCANCEL), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(picker); }, 10000)) << "the picker stays";
    EXPECT_EQ(ProposedFolder, TextOf(field)) << "the field after a cancelled picker";

    // No keeps the user on the page with nothing created; Yes creates the folder and TEXTURE.
    ASSERT_NO_FATAL_FAILURE(TypeFolder(page, typed));
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdNext));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(wizard, InstallCaption, CreateQuestion, IDNO));
    Sleep(300);
    EXPECT_EQ(page, WaitForPage(IdFolder, "destination")) << "the page after No";
    EXPECT_FALSE(FolderExists(folder)) << "created after No";
    EXPECT_EQ(Shown(folder), Shown(TextOf(field))) << "the field after No, made absolute";
    ExpectButtons(sheet, "-- Next -- Cancel", "destination");
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdNext));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(wizard, InstallCaption, CreateQuestion, IDYES, "03-create-folder"));
    HWND options = WaitForPage(IdProgress, "options");
    ASSERT_TRUE(options);
    EXPECT_TRUE(FolderExists(folder + "\\TEXTURE")) << "created with its TEXTURE subfolder";
    ExpectButtons(sheet, "Back Next -- Cancel", "options");

    // Back shows the folder as accepted; Next with it asks nothing now (the current folder has
    // moved, so a relative text would name another folder).
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdBack));
    ASSERT_EQ(page, WaitForPage(IdFolder, "destination"));
    ExpectButtons(sheet, "-- Next -- Cancel", "destination");
    EXPECT_EQ(Shown(folder), Shown(TextOf(field))) << "the field after Back";
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath)) << "installed before Next";
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdNext));
    ASSERT_EQ(options, WaitForPage(IdProgress, "options"));
    HWND finish = Install(options, boxes);
    ASSERT_TRUE(finish);
    ExpectInstalled(folder, boxes);
    if (!screenshotFolder.empty()) {
        printf("\nInstalled into %s:\n", Shown(folder).c_str());
        PrintFiles(folder);
        printf("Registry:\n");
        PrintKey(HKEY_CLASSES_ROOT, "HKCR", "Vemla");
        for (const auto &extension : Extensions)
            PrintKey(HKEY_CLASSES_ROOT, "HKCR", extension.name);
        PrintKey(HKEY_LOCAL_MACHINE, "HKLM", UninstallKeyPath);
        printf("Shortcuts:\n");
        for (size_t i = 0; i < ShortcutCount; ++i)
            printf("  %s -> %s\n", Shown(ShortcutPath(i)).c_str(), Shown(ShortcutTarget(ShortcutPath(i))).c_str());
        fflush(stdout);
    }

    // The finish actions, from the distribution folder, when asked for.
    if (finishActions) {
        Tick(finish, IdReadme);
        Tick(finish, IdRun);
    }
    Screenshot(sheet, "05-finish");
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdFinish));
    ExpectExitCodeZero(wizard, "setup.exe after Finish");
    HWND application = NULL, notepad = NULL;
    WaitUntil([&] {
        application = FindTopLevel("VemlaStandIn", 0);
        notepad = FindTopLevel("Notepad", 0);
        return application && notepad;
    }, finishActions ? 30000 : 1500);
    if (finishActions) {
        ASSERT_NO_FATAL_FAILURE(ExpectStarted(notepad, application));
    } else {
        EXPECT_FALSE(notepad) << "the readme opened though not asked for";
        EXPECT_FALSE(application) << "vemla.exe started though not asked for";
    }
    ASSERT_NO_FATAL_FAILURE(Uninstall(folder));
    ExpectUninstalled(folder);
}

// Typed relative to the current folder, which is not the program's.
TEST_F(EndToEnd, NewJapaneseFolderWithSomeOptionsInstallsRunsAndUninstalls)
{
    InstallUseAndUninstall("新しい 表\\Vemla表", scratch + "\\新しい 表\\Vemla表",
                           {IdAssocBmp, IdAssocPng, IdDesktop, IdStartMenu}, true);
}

TEST_F(EndToEnd, NoOptionsWritesOnlyTheFilesAndTheUninstallEntry)
{
    InstallUseAndUninstall(scratch + "\\無し表", scratch + "\\無し表", {}, false);
}

TEST_F(EndToEnd, CancelOnTheOptionsPageLeavesOnlyTheFolders)
{
    std::string folder = scratch + "\\取消表";
    HWND page = StartWizard(dist);
    ASSERT_TRUE(page);
    ASSERT_NO_FATAL_FAILURE(TypeFolder(page, folder));
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdNext));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(wizard, InstallCaption, CreateQuestion, IDYES));
    HWND options = WaitForPage(IdProgress, "options");
    ASSERT_TRUE(options);
    Tick(options, IdAssocBmp);
    Tick(options, IdDesktop);
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IDCANCEL));
    ExpectExitCodeZero(wizard, "setup.exe after Cancel");
    EXPECT_TRUE(RemoveDirectoryA((folder + "\\TEXTURE").c_str())) << "TEXTURE is missing or not empty";
    EXPECT_TRUE(RemoveDirectoryA(folder.c_str())) << "the folder is missing or holds more than TEXTURE";
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath)) << "an uninstall entry";
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, "Vemla")) << "a file type";
    EXPECT_FALSE(FileExists(ShortcutPath(0))) << "a desktop shortcut";
}

class Walkthrough : public EndToEnd {
protected:
    void SetUp() override
    {
        const char *folder = getenv("VEMLA_WALKTHROUGH");
        if (!folder || folder[0] != '/')
            GTEST_SKIP() << "set VEMLA_WALKTHROUGH to a folder for the screenshots (make run)";
        screenshotFolder = WindowsPath(folder);
        CreateDirectoryA(screenshotFolder.c_str(), NULL);
        // A desktop of our own, which Wine shows as a virtual desktop where it draws the frames
        // itself; without a window manager the windows would have none.
        WriteRegistryString(HKEY_CURRENT_USER, "Software\\Wine\\Explorer\\Desktops", "VemlaWalkthrough", "1024x768");
        HDESK own = CreateDesktopA("VemlaWalkthrough", NULL, NULL, 0, GENERIC_ALL, NULL);
        if (own && SetThreadDesktop(own))
            desktop = "VemlaWalkthrough";
        else
            printf("walkthrough: no desktop of our own (%lu); the windows will have no frames\n", GetLastError());
        EndToEnd::SetUp();
        RemoveTree(ProposedFolder);  // from a prefix without it
    }

    void TearDown() override
    {
        if (screenshotFolder.empty())
            return;
        EndToEnd::TearDown();
        RemoveTree(ProposedFolder);
        screenshotFolder.clear();
    }
};

TEST_F(Walkthrough, InstallWithEveryOptionThenUninstall)
{
    InstallUseAndUninstall(ProposedFolder, ProposedFolder,
                           {IdAssocBmp, IdAssocJpg, IdAssocPng, IdDesktop, IdSendTo, IdStartMenu}, true);
    printf("Uninstalled; left in %s:\n", ProposedFolder);
    PrintFiles(ProposedFolder);
    fflush(stdout);
}

}  // namespace
