// setup.exe driven from outside, as a person drives it: its windows are found by process id, the
// folder is typed with WM_SETTEXT, check boxes and the sheet's own buttons are pressed with
// BM_CLICK (so a disabled button stays unpressed), and every message box is read before it is
// answered. Results are checked in the file system and registry of the Wine prefix that setup.exe
// runs in, which is this program's own.
//
// With VEMLA_WALKTHROUGH set to a folder, Walkthrough.* also runs: one installation and its removal
// on a virtual desktop (so the windows have frames), with a screenshot of every page and message box
// saved there as a BMP file, and a listing of what was installed.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

// Controls of the pages, the sheet and the message boxes.
enum {
    IdFolder = 1000,
    IdBrowse = 1001,
    IdAssocBmp = 1002,
    IdAssocJpg = 1009,
    IdProgress = 1010,
    IdDesktop = 1011,
    IdSendTo = 1012,
    IdStartMenu = 1013,
    IdReadme = 1014,
    IdRun = 1015,
    IdAssocPng = 1018,
    IdBack = 0x3023,
    IdNext = 0x3024,
    IdFinish = 0x3025,
    IdMessageText = 0xFFFF
};

const char InstallCaption[] = "インストール";
const char PageTitle[] = "Vemlaのインストール";
const char UninstallCaption[] = "セットアップ";
const char CreateQuestion[] = "フォルダが存在しません。\nフォルダを作成しますか？";
const char UninstallQuestion[] = "Vemlaをアンインストールしますか？";
const char UninstallDone[] =
    "アンインストールが成功しました。インストールしたフォルダを手動で削除してください。";
const char UninstallFailed[] = "アンインストール失敗";
const char ProposedFolder[] = "C:\\Program Files\\Vemla";
const char UninstallKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vemla";
const char *const Extensions[] = {".bmp", ".dib", ".jpg", ".png"};

const char *const ProgramFileNames[] = {"vemla.exe",  "vemla.hlp",   "vemla.cnt",
                                        "readme.txt", "license.txt", "setup.exe"};
const char *const TextureNames[] = {
    "キャンバス.BMP", "コルク１.BMP", "コルク２.BMP", "コンクリート壁.BMP",
    "メタル.BMP",     "岩肌.BMP",     "織物.BMP",     "大理石１.BMP",
    "大理石２.BMP",   "麻縄.BMP",     "木目１.BMP",   "木目２.BMP"};

// Long enough for a whole installation under a loaded Wine; a healthy step takes well under a second.
const DWORD WaitLimit = 20000;

// Screenshots go here when not empty (the walk-through only).
std::string screenshotFolder;

// Japanese texts are code page 932 here; failure messages are read on a UTF-8 terminal.
std::string Shown(const std::string &text)
{
    if (text.empty())
        return text;
    int wideLength = MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), NULL, 0);
    std::wstring wide(wideLength, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), &wide[0], wideLength);
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, NULL, 0, NULL, NULL);
    std::string shown(length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &shown[0], length, NULL, NULL);
    return shown;
}

template <typename Condition>
bool WaitUntil(Condition condition, DWORD limit = WaitLimit)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start > limit)
            return false;
        Sleep(50);
    }
}

// The environment holds Linux paths (the build root); Wine knows their DOS names.
std::string WindowsPathOf(const char *path)
{
    if (!path || !*path || path[0] != '/')
        return path ? path : "";
    typedef WCHAR *(CDECL * ToDosName)(const char *);
    ToDosName toDos =
        (ToDosName)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name");
    if (toDos) {
        WCHAR *wide = toDos(path);
        if (wide) {
            char converted[MAX_PATH] = "";
            WideCharToMultiByte(CP_ACP, 0, wide, -1, converted, sizeof converted, NULL, NULL);
            HeapFree(GetProcessHeap(), 0, wide);
            return converted;
        }
    }
    std::string converted = std::string("Z:") + path;
    for (char &c : converted)
        if (c == '/')
            c = '\\';
    return converted;
}

std::string DistFolder()
{
    std::string root = WindowsPathOf(getenv("VEMLA_BUILD_ROOT"));
    return root.empty() ? root : root + "\\dist64";
}

std::string ClassOf(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

// WM_GETTEXT, since GetWindowText does not ask a window of another process.
std::string TextOf(HWND window)
{
    char text[4096];
    text[0] = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, NULL))
        return "";
    text[sizeof text - 1] = 0;
    return text;
}

LRESULT Query(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, message, wparam, lparam, SMTO_ABORTIFHUNG, 5000, &result);
    return (LRESULT)result;
}

struct WindowList {
    DWORD processId;  // 0: any process
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM lparam)
{
    WindowList *list = (WindowList *)lparam;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if ((!list->processId || owner == list->processId) && IsWindowVisible(window))
        list->windows.push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows(DWORD processId)
{
    WindowList list = {processId, {}};
    EnumWindows(CollectWindow, (LPARAM)&list);
    return list.windows;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM lparam)
{
    ((std::vector<HWND> *)lparam)->push_back(window);
    return TRUE;
}

HWND DescendantOfClass(HWND parent, const char *className)
{
    std::vector<HWND> children;
    EnumChildWindows(parent, CollectChild, (LPARAM)&children);
    for (HWND child : children)
        if (ClassOf(child) == className)
            return child;
    return NULL;
}

HWND DescendantWithText(HWND parent, const char *text)
{
    std::vector<HWND> children;
    EnumChildWindows(parent, CollectChild, (LPARAM)&children);
    for (HWND child : children)
        if (TextOf(child) == text)
            return child;
    return NULL;
}

bool IsSheet(HWND window)
{
    return ClassOf(window) == "#32770" && GetDlgItem(window, IdNext) && GetDlgItem(window, IdBack);
}

bool IsFolderPicker(HWND window)
{
    return ClassOf(window) == "#32770" && DescendantOfClass(window, "SysTreeView32");
}

bool IsMessageBox(HWND window)
{
    return ClassOf(window) == "#32770" && GetDlgItem(window, IdMessageText) && !IsSheet(window) &&
           !IsFolderPicker(window) && !DescendantOfClass(window, PROGRESS_CLASSA) &&
           (GetDlgItem(window, IDOK) || GetDlgItem(window, IDYES) || GetDlgItem(window, IDNO));
}

HWND FindWindowOf(DWORD processId, bool (*kind)(HWND))
{
    for (HWND window : TopLevelWindows(processId))
        if (kind(window))
            return window;
    return NULL;
}

bool Ended(const PROCESS_INFORMATION &process)
{
    return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
}

// Saves the screen under window (frame included) as name.bmp in screenshotFolder.
void Screenshot(HWND window, const char *name)
{
    if (screenshotFolder.empty())
        return;
    // An active caption, as the person using it sees it.
    DWORD thread = GetWindowThreadProcessId(window, NULL);
    WaitUntil([&] {
        AttachThreadInput(GetCurrentThreadId(), thread, TRUE);
        SetForegroundWindow(window);
        SetActiveWindow(window);
        AttachThreadInput(GetCurrentThreadId(), thread, FALSE);
        return GetForegroundWindow() == window;
    }, 2000);
    // The first window of a process can be foreground with its caption still drawn inactive.
    Query(window, WM_NCACTIVATE, TRUE);
    Sleep(400);  // let the window finish painting
    RECT rect;
    ASSERT_TRUE(GetWindowRect(window, &rect)) << name;
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    ASSERT_GT(width, 0) << name;
    ASSERT_GT(height, 0) << name;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    void *bits = NULL;
    HBITMAP bitmap = CreateDIBSection(screen, (BITMAPINFO *)&header, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BOOL copied = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    DWORD stride = ((DWORD)width * 3 + 3) & ~3u;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + stride * height;
    std::string bytes((const char *)&file, sizeof file);
    bytes.append((const char *)&header, sizeof header);
    if (bits)
        bytes.append((const char *)bits, stride * height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    ASSERT_TRUE(copied && bits) << "cannot copy the screen for " << name;
    WriteFileBytes(screenshotFolder + "\\" + name + ".bmp", bytes);
}

struct SeenBox {
    HWND window;
    std::string caption;
    std::string text;
};

SeenBox ReadBox(HWND window)
{
    SeenBox box = {window, TextOf(window), TextOf(GetDlgItem(window, IdMessageText))};
    return box;
}

void PressIn(HWND window, int id)
{
    HWND button = GetDlgItem(window, id);
    if (button)
        PostMessageA(button, BM_CLICK, 0, 0);
}

// Answers a box nobody expected with its most harmless button, so the program can go on.
void Dismiss(const SeenBox &box)
{
    PressIn(box.window, GetDlgItem(box.window, IDOK) ? IDOK : GetDlgItem(box.window, IDNO) ? IDNO : IDCANCEL);
    WaitUntil([&] { return !IsWindow(box.window); }, 5000);
}

// Waits for the process's next message box, checks its caption and text and presses answer.
void AnswerBox(const PROCESS_INFORMATION &process, const char *caption, const char *text, int answer,
               const char *screenshot = NULL)
{
    HWND window = NULL;
    WaitUntil([&] { return (window = FindWindowOf(process.dwProcessId, IsMessageBox)) || Ended(process); });
    ASSERT_TRUE(window) << "no message box \"" << Shown(text) << "\" within " << WaitLimit << " ms"
                        << (Ended(process) ? " (the program ended)" : "");
    SeenBox box = ReadBox(window);
    if (screenshot)
        Screenshot(window, screenshot);
    EXPECT_EQ(Shown(caption), Shown(box.caption)) << "caption of the box \"" << Shown(box.text) << "\"";
    EXPECT_EQ(Shown(text), Shown(box.text)) << "text of the message box";
    HWND button = GetDlgItem(window, answer);
    if (!button || !IsWindowVisible(button)) {
        Dismiss(box);
        FAIL() << "the box \"" << Shown(box.text) << "\" has no button " << answer;
    }
    PostMessageA(button, BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, 10000))
        << "the box \"" << Shown(box.text) << "\" stays after pressing " << answer;
}

// Fails the test, answering the box, when the process shows a message box now.
void ExpectNoBox(const PROCESS_INFORMATION &process, const char *when)
{
    HWND window = FindWindowOf(process.dwProcessId, IsMessageBox);
    if (!window)
        return;
    SeenBox box = ReadBox(window);
    ADD_FAILURE() << "unexpected message box " << when << ": \"" << Shown(box.caption) << "\": "
                  << Shown(box.text);
    Dismiss(box);
}

// What the process shows, for failure messages: its windows and the sheet's pages.
std::string DescribeWindows(DWORD processId)
{
    std::string description;
    for (HWND window : TopLevelWindows(processId)) {
        description += "\n  " + ClassOf(window) + " \"" + Shown(TextOf(window)) + "\"";
        for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            char id[16];
            wsprintfA(id, "%x", GetDlgCtrlID(child));
            description += std::string("\n    ") + id + " " + ClassOf(child) + " \"" +
                           Shown(TextOf(child)) + "\"" + (IsWindowVisible(child) ? "" : " (hidden)") +
                           (IsWindowEnabled(child) ? "" : " (disabled)");
        }
    }
    return description.empty() ? "\n  (no windows)" : description;
}

HWND VisiblePageWith(HWND sheet, int control)
{
    for (HWND child = GetWindow(sheet, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) == "#32770" && IsWindowVisible(child) && GetDlgItem(child, control))
            return child;
    }
    return NULL;
}

// Waits until the sheet shows the page holding control. A message box meanwhile is a failure
// (answered, so that the program can go on), as is the end of the program.
HWND WaitForPage(const PROCESS_INFORMATION &process, HWND sheet, int control, const char *pageName)
{
    HWND page = NULL, box = NULL;
    WaitUntil([&] {
        page = IsWindow(sheet) ? VisiblePageWith(sheet, control) : NULL;
        box = FindWindowOf(process.dwProcessId, IsMessageBox);
        return page || box || Ended(process);
    });
    if (box) {
        SeenBox seen = ReadBox(box);
        ADD_FAILURE() << "message box \"" << Shown(seen.caption) << "\" instead of the " << pageName
                      << " page: " << Shown(seen.text);
        Dismiss(seen);
        return NULL;
    }
    if (!page && Ended(process))
        ADD_FAILURE() << "the program ended instead of showing the " << pageName << " page";
    else if (!page)
        ADD_FAILURE() << "no " << pageName << " page within " << WaitLimit << " ms; shown:"
                      << DescribeWindows(process.dwProcessId);
    return page;
}

HWND WaitForSheet(const PROCESS_INFORMATION &process)
{
    HWND sheet = NULL;
    WaitUntil([&] { return (sheet = FindWindowOf(process.dwProcessId, IsSheet)) || Ended(process); });
    if (!sheet && Ended(process))
        ADD_FAILURE() << "setup.exe ended without showing the wizard";
    else if (!sheet)
        ADD_FAILURE() << "setup.exe showed no wizard within " << WaitLimit << " ms; shown:"
                      << DescribeWindows(process.dwProcessId);
    return sheet;
}

bool Usable(HWND sheet, int id)
{
    HWND button = GetDlgItem(sheet, id);
    return button && IsWindowVisible(button) && IsWindowEnabled(button);
}

std::string ButtonStates(HWND sheet)
{
    std::string states;
    states += Usable(sheet, IdBack) ? "Back " : "-- ";
    states += Usable(sheet, IdNext) ? "Next " : "-- ";
    states += Usable(sheet, IdFinish) ? "Finish " : "-- ";
    states += Usable(sheet, IDCANCEL) ? "Cancel" : "--";
    return states;
}

// The page's button states arrive as a posted message: wait for them.
void ExpectButtons(HWND sheet, const char *expected, const char *pageName)
{
    WaitUntil([&] { return ButtonStates(sheet) == expected; }, 5000);
    EXPECT_EQ(expected, ButtonStates(sheet)) << "usable buttons on the " << pageName << " page";
}

// Presses a button of the sheet as a click would: refused when the button cannot be clicked
// (after a moment's wait, since a new page sets its buttons by a posted message). BM_CLICK itself
// would press a disabled button too: on the finish page it takes the sheet back to the options.
void Press(HWND sheet, int id)
{
    WaitUntil([&] { return Usable(sheet, id); }, 5000);
    ASSERT_TRUE(Usable(sheet, id)) << "button " << std::hex << id << " cannot be pressed ("
                                   << ButtonStates(sheet) << ")";
    // Next on the options page runs the whole installation before it returns: don't wait for it.
    SendMessageTimeoutA(GetDlgItem(sheet, id), BM_CLICK, 0, 0, SMTO_NORMAL, 200, NULL);
}

void Tick(HWND page, int id)
{
    HWND box = GetDlgItem(page, id);
    ASSERT_TRUE(box) << "no check box " << id;
    EXPECT_EQ(BST_UNCHECKED, Query(box, BM_GETCHECK)) << "check box " << id << " before the click";
    Query(box, BM_CLICK);
    EXPECT_EQ(BST_CHECKED, Query(box, BM_GETCHECK)) << "check box " << id << " after the click";
}

void TypeFolder(HWND page, const std::string &folder)
{
    HWND field = GetDlgItem(page, IdFolder);
    ASSERT_TRUE(field);
    Query(field, WM_SETTEXT, 0, (LPARAM)folder.c_str());
    ASSERT_EQ(Shown(folder), Shown(TextOf(field))) << "the folder field after typing";
}

void ExpectExitCodeZero(const PROCESS_INFORMATION &process, const char *what)
{
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, WaitLimit))
        << what << " did not end within " << WaitLimit << " ms";
    DWORD code = 0xdeadbeef;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(0u, code) << "exit code of " << what;
}

std::string SpecialFolder(int csidl)
{
    char path[MAX_PATH] = "";
    EXPECT_EQ(S_OK, SHGetFolderPathA(NULL, csidl, NULL, SHGFP_TYPE_CURRENT, path)) << "CSIDL " << csidl;
    return path;
}

struct ShortcutFile {
    int option;  // the check box that asks for it
    int csidl;
    const char *file;
    const char *target;
};
const ShortcutFile Shortcuts[] = {
    {IdDesktop, CSIDL_DESKTOPDIRECTORY, "vemla.lnk", "vemla.exe"},
    {IdSendTo, CSIDL_SENDTO, "vemla.lnk", "vemla.exe"},
    {IdStartMenu, CSIDL_PROGRAMS, "Vemla\\Vemla.lnk", "vemla.exe"},
    {IdStartMenu, CSIDL_PROGRAMS, "Vemla\\Vemla ヘルプ.lnk", "vemla.hlp"},
};

std::string ShortcutPath(const ShortcutFile &shortcut)
{
    return SpecialFolder(shortcut.csidl) + "\\" + shortcut.file;
}

// The target of the shortcut file path; its working folder in workingFolder when asked.
std::string ShortcutTarget(const std::string &path, std::string *workingFolder = NULL)
{
    IShellLinkA *link = NULL;
    IPersistFile *file = NULL;
    char target[MAX_PATH] = "";
    char folder[MAX_PATH] = "";
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   (void **)&link))) {
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file))) {
            WCHAR wide[MAX_PATH];
            MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
            if (SUCCEEDED(file->Load(wide, STGM_READ))) {
                link->GetPath(target, sizeof target, NULL, SLGP_RAWPATH);
                link->GetWorkingDirectory(folder, sizeof folder);
            }
            file->Release();
        }
        link->Release();
    }
    if (workingFolder)
        *workingFolder = folder;
    return target;
}

std::string StringData(const std::string &text)
{
    return std::string(text.c_str(), text.size() + 1);  // with its NUL
}

void ExpectString(HKEY root, const char *key, const char *name, const std::string &expected)
{
    RegistryValue value = ReadRegistryValue(root, key, name);
    EXPECT_TRUE(value.found) << key << " \"" << name << "\" is missing";
    EXPECT_EQ((DWORD)REG_SZ, value.type) << key << " \"" << name << "\"";
    EXPECT_EQ(Shown(StringData(expected)), Shown(value.bytes)) << key << " \"" << name << "\"";
}

void ExpectDword(HKEY root, const char *key, const char *name, DWORD expected)
{
    RegistryValue value = ReadRegistryValue(root, key, name);
    EXPECT_TRUE(value.found) << key << " \"" << name << "\" is missing";
    EXPECT_EQ((DWORD)REG_DWORD, value.type) << key << " \"" << name << "\"";
    EXPECT_EQ(std::string((const char *)&expected, sizeof expected), value.bytes) << key << " \"" << name << "\"";
}

// What an extension key held before a test, to be put back afterwards.
struct SavedExtension {
    const char *extension;
    bool existed;
    RegistryValue defaultValue;
    RegistryValue previous;
};

std::vector<SavedExtension> ExtensionsNow()
{
    std::vector<SavedExtension> now;
    for (const char *extension : Extensions) {
        SavedExtension saved = {extension, RegistryKeyExists(HKEY_CLASSES_ROOT, extension),
                                ReadRegistryValue(HKEY_CLASSES_ROOT, extension, ""),
                                ReadRegistryValue(HKEY_CLASSES_ROOT, extension, "VemlaPrevious")};
        now.push_back(saved);
    }
    return now;
}

void SetValue(HKEY root, const char *key, const char *name, const RegistryValue &value)
{
    HKEY opened;
    if (RegCreateKeyExA(root, key, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &opened, NULL) != ERROR_SUCCESS)
        return;
    if (value.found)
        RegSetValueExA(opened, name, 0, value.type, (const BYTE *)value.bytes.data(), (DWORD)value.bytes.size());
    else
        RegDeleteValueA(opened, name);
    RegCloseKey(opened);
}

struct InstallChoice {
    const char *name;
    std::vector<int> boxes;  // check boxes ticked on the options page
};

bool Chosen(const InstallChoice &choice, int box)
{
    for (int ticked : choice.boxes)
        if (ticked == box)
            return true;
    return false;
}

// Which extensions each association box asks for.
bool ExtensionChosen(const InstallChoice &choice, const std::string &extension)
{
    if (extension == ".bmp" || extension == ".dib")
        return Chosen(choice, IdAssocBmp);
    if (extension == ".jpg")
        return Chosen(choice, IdAssocJpg);
    return Chosen(choice, IdAssocPng);
}

// The ids of Notepad and stand-in windows now shown, to tell new ones from old ones.
std::vector<HWND> ApplicationWindows()
{
    std::vector<HWND> found;
    for (HWND window : TopLevelWindows(0)) {
        std::string className = ClassOf(window);
        if (className == "Notepad" || className == "VemlaStandIn")
            found.push_back(window);
    }
    return found;
}

HWND NewWindowOfClass(const char *className, const std::vector<HWND> &before)
{
    for (HWND window : TopLevelWindows(0)) {
        bool old = false;
        for (HWND seen : before)
            old = old || seen == window;
        if (!old && ClassOf(window) == className)
            return window;
    }
    return NULL;
}

std::string ImageOf(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    char image[MAX_PATH] = "";
    DWORD size = sizeof image;
    if (process) {
        if (!QueryFullProcessImageNameA(process, 0, image, &size))
            image[0] = 0;
        CloseHandle(process);
    }
    return image;
}

// Closes an application window that the finish page started, and waits for its process to end.
void CloseApplication(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId);
    PostMessageA(window, WM_CLOSE, 0, 0);
    if (process) {
        if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << ClassOf(window) << " did not close";
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
        dist = DistFolder();
        ASSERT_FALSE(dist.empty()) << "VEMLA_BUILD_ROOT is not set";
        ASSERT_TRUE(FileExists(dist + "\\setup.exe")) << "no setup.exe in " << dist;
        CoInitialize(NULL);
        savedExtensions = baseline = ExtensionsNow();
        RemoveInstallationTraces();
        scratch = MakeScratchFolder("e2e");
        applicationsBefore = ApplicationWindows();
    }

    void TearDown() override
    {
        for (PROCESS_INFORMATION &process : started) {
            if (!Ended(process)) {
                ADD_FAILURE() << "a setup.exe of this test was still running";
                TerminateProcess(process.hProcess, 1);
                WaitForSingleObject(process.hProcess, 5000);
            }
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        for (HWND window : ApplicationWindows()) {
            bool old = false;
            for (HWND seen : applicationsBefore)
                old = old || seen == window;
            if (!old)
                CloseApplication(window);
        }
        RemoveInstallationTraces();
        for (const SavedExtension &saved : savedExtensions) {
            if (!saved.existed) {
                RegDeleteTreeA(HKEY_CLASSES_ROOT, saved.extension);
                continue;
            }
            SetValue(HKEY_CLASSES_ROOT, saved.extension, "", saved.defaultValue);
            SetValue(HKEY_CLASSES_ROOT, saved.extension, "VemlaPrevious", saved.previous);
        }
        RegDeleteTreeA(HKEY_CLASSES_ROOT, OtherProgram);
        RemoveTree(scratch);
        CoUninitialize();
    }

    static void RemoveInstallationTraces()
    {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, "Vemla");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, UninstallKeyPath);
        for (const ShortcutFile &shortcut : Shortcuts)
            DeleteFileA(ShortcutPath(shortcut).c_str());
        RemoveDirectoryA((SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla").c_str());
    }

    PROCESS_INFORMATION Start(const std::string &program, const char *argument,
                              const std::string &currentFolder)
    {
        std::string commandLine = "\"" + program + "\"";
        if (argument)
            commandLine += std::string(" ") + argument;
        std::vector<char> line(commandLine.begin(), commandLine.end());
        line.push_back(0);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.lpDesktop = desktop.empty() ? NULL : &desktop[0];
        PROCESS_INFORMATION process = {};
        EXPECT_TRUE(CreateProcessA(program.c_str(), line.data(), NULL, NULL, FALSE, 0, NULL,
                                   currentFolder.empty() ? NULL : currentFolder.c_str(), &startup,
                                   &process))
            << "cannot start " << Shown(commandLine) << ": " << GetLastError();
        if (process.hProcess)
            started.push_back(process);
        return process;
    }

    PROCESS_INFORMATION StartWizard(const std::string &currentFolder)
    {
        return Start(dist + "\\setup.exe", NULL, currentFolder);
    }

    // What extension held before the installation under test.
    const SavedExtension &Before(const std::string &extension) const
    {
        for (const SavedExtension &saved : baseline)
            if (extension == saved.extension)
                return saved;
        return baseline.front();
    }

    // From the destination page to the finish page: type typed, Next, answer the question when
    // asked, tick the boxes, Next. folder is where typed leads. Returns the finish page.
    HWND InstallThroughWizard(const PROCESS_INFORMATION &process, HWND sheet, const std::string &typed,
                              const std::string &folder, bool expectQuestion,
                              const InstallChoice &choice);

    void ExpectInstalled(const std::string &folder, const InstallChoice &choice);
    void ExpectUninstalled(const std::string &folder, const InstallChoice &choice);
    void Uninstall(const std::string &folder, bool screenshots);

    static const char OtherProgram[];
    std::string dist;
    std::string scratch;
    std::string desktop;  // the desktop setup.exe is started on; empty: this program's
    std::vector<PROCESS_INFORMATION> started;
    std::vector<SavedExtension> savedExtensions;  // the prefix's, put back after the test
    std::vector<SavedExtension> baseline;         // what the installation under test found
    std::vector<HWND> applicationsBefore;
};

const char EndToEnd::OtherProgram[] = "VemlaTest.OtherViewer";

HWND EndToEnd::InstallThroughWizard(const PROCESS_INFORMATION &process, HWND sheet,
                                    const std::string &typed, const std::string &folder,
                                    bool expectQuestion, const InstallChoice &choice)
{
    HWND destination = WaitForPage(process, sheet, IdFolder, "destination");
    if (!destination)
        return NULL;
    TypeFolder(destination, typed);
    Press(sheet, IdNext);
    if (expectQuestion)
        AnswerBox(process, InstallCaption, CreateQuestion, IDYES);
    HWND options = WaitForPage(process, sheet, IdProgress, "options");
    if (!options)
        return NULL;
    EXPECT_TRUE(FolderExists(folder)) << Shown(folder);
    EXPECT_TRUE(FolderExists(folder + "\\TEXTURE")) << Shown(folder);
    for (int box : choice.boxes)
        Tick(options, box);
    Press(sheet, IdNext);
    HWND finish = WaitForPage(process, sheet, IdReadme, "finish");
    if (finish)
        EXPECT_EQ(100, Query(GetDlgItem(options, IdProgress), PBM_GETPOS)) << "progress at the end";
    return finish;
}

void EndToEnd::ExpectInstalled(const std::string &folder, const InstallChoice &choice)
{
    SCOPED_TRACE(std::string("installed with ") + choice.name);
    for (const char *name : ProgramFileNames) {
        std::string original = ReadFileBytes(dist + "\\" + name);
        ASSERT_FALSE(original.empty()) << "distribution file " << name;
        EXPECT_TRUE(ReadFileBytes(folder + "\\" + name) == original) << name << " not copied whole";
    }
    for (const char *name : TextureNames) {
        std::string original = ReadFileBytes(dist + "\\TEXTURE\\" + name);
        ASSERT_FALSE(original.empty()) << "distribution texture " << Shown(name);
        EXPECT_TRUE(ReadFileBytes(folder + "\\TEXTURE\\" + name) == original)
            << "texture " << Shown(name) << " not copied whole";
    }

    ExpectString(HKEY_LOCAL_MACHINE, UninstallKeyPath, "UninstallString",
                 "\"" + folder + "\\setup.exe\" /u");
    ExpectString(HKEY_LOCAL_MACHINE, UninstallKeyPath, "DisplayName", "Vemla");
    ExpectString(HKEY_LOCAL_MACHINE, UninstallKeyPath, "InstallLocation", folder);
    ExpectString(HKEY_LOCAL_MACHINE, UninstallKeyPath, "DisplayIcon", folder + "\\vemla.exe,0");
    ExpectDword(HKEY_LOCAL_MACHINE, UninstallKeyPath, "NoModify", 1);
    ExpectDword(HKEY_LOCAL_MACHINE, UninstallKeyPath, "NoRepair", 1);

    bool anyAssociation = Chosen(choice, IdAssocBmp) || Chosen(choice, IdAssocJpg) || Chosen(choice, IdAssocPng);
    EXPECT_EQ(anyAssociation, RegistryKeyExists(HKEY_CLASSES_ROOT, "Vemla")) << "the file type HKCR\\Vemla";
    if (anyAssociation) {
        ExpectString(HKEY_CLASSES_ROOT, "Vemla", "", "Vemla Image");
        ExpectString(HKEY_CLASSES_ROOT, "Vemla\\shell\\open\\command", "",
                     "\"" + folder + "\\vemla.exe\" \"%1\"");
    }
    for (const char *extension : Extensions) {
        SCOPED_TRACE(extension);
        RegistryValue now = ReadRegistryValue(HKEY_CLASSES_ROOT, extension, "");
        if (ExtensionChosen(choice, extension)) {
            ExpectString(HKEY_CLASSES_ROOT, extension, "", "Vemla");
        } else {
            EXPECT_EQ(Before(extension).defaultValue.found, now.found) << "an extension not chosen";
            EXPECT_EQ(Before(extension).defaultValue.bytes, now.bytes) << "an extension not chosen";
        }
    }

    for (const ShortcutFile &shortcut : Shortcuts) {
        std::string path = ShortcutPath(shortcut);
        SCOPED_TRACE(Shown(path));
        bool wanted = Chosen(choice, shortcut.option);
        EXPECT_EQ(wanted, FileExists(path)) << "shortcut present";
        if (wanted) {
            std::string workingFolder;
            EXPECT_EQ(Shown(folder + "\\" + shortcut.target), Shown(ShortcutTarget(path, &workingFolder)))
                << "shortcut target";
            EXPECT_EQ(Shown(folder), Shown(workingFolder)) << "shortcut working folder";
        }
    }
}

void EndToEnd::ExpectUninstalled(const std::string &folder, const InstallChoice &choice)
{
    SCOPED_TRACE(std::string("uninstalled after ") + choice.name);
    EXPECT_TRUE(FolderExists(folder)) << "the install folder is left for the user";
    for (const char *name : ProgramFileNames) {
        // The running setup.exe may stay (Windows keeps a running program's file).
        if (lstrcmpA(name, "setup.exe") != 0)
            EXPECT_FALSE(FileExists(folder + "\\" + name)) << name << " left behind";
    }
    EXPECT_FALSE(FolderExists(folder + "\\TEXTURE")) << "the texture folder is left behind";
    for (const ShortcutFile &shortcut : Shortcuts)
        EXPECT_FALSE(FileExists(ShortcutPath(shortcut))) << "shortcut " << Shown(ShortcutPath(shortcut));
    EXPECT_FALSE(FolderExists(SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla")) << "the Start-menu group";
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, "Vemla")) << "the file type HKCR\\Vemla";
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath)) << "the uninstall entry";
    for (const char *extension : Extensions) {
        SCOPED_TRACE(extension);
        RegistryValue now = ReadRegistryValue(HKEY_CLASSES_ROOT, extension, "");
        const RegistryValue &before = Before(extension).defaultValue;
        EXPECT_FALSE(ReadRegistryValue(HKEY_CLASSES_ROOT, extension, "VemlaPrevious").found)
            << "the saved association is left behind";
        std::string earlier = before.found ? before.bytes.c_str() : "";
        bool restorable = !earlier.empty() && earlier != "Vemla" &&
                          RegistryKeyExists(HKEY_CLASSES_ROOT, earlier.c_str());
        if (!ExtensionChosen(choice, extension) || restorable) {
            // Untouched, or restored to the earlier program's.
            EXPECT_EQ(before.found, now.found) << "default value after the uninstallation";
            EXPECT_EQ(Shown(before.bytes), Shown(now.bytes)) << "default value after the uninstallation";
        } else {
            // Nothing to restore: emptied.
            EXPECT_TRUE(!now.found || now.bytes.size() <= 1 || now.bytes[0] == 0)
                << "default value " << Shown(now.bytes) << " after the uninstallation";
        }
    }
}

void EndToEnd::Uninstall(const std::string &folder, bool screenshots)
{
    PROCESS_INFORMATION process = Start(folder + "\\setup.exe", "/u", scratch);
    ASSERT_TRUE(process.hProcess);
    ASSERT_NO_FATAL_FAILURE(AnswerBox(process, UninstallCaption, UninstallQuestion, IDYES,
                                      screenshots ? "08-uninstall-question" : NULL));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(process, UninstallCaption, UninstallDone, IDOK,
                                      screenshots ? "09-uninstall-done" : NULL));
    ExpectExitCodeZero(process, "setup.exe /u");
}

TEST_F(EndToEnd, FirstPageProposesProgramFilesAndStaysWhenCreationIsDeclined)
{
    PROCESS_INFORMATION process = StartWizard(dist);
    ASSERT_TRUE(process.hProcess);
    HWND sheet = WaitForSheet(process);
    ASSERT_TRUE(sheet);
    HWND page = WaitForPage(process, sheet, IdFolder, "destination");
    ASSERT_TRUE(page);
    // A wizard shows its page's title as the caption, in place of the sheet's own.
    EXPECT_EQ(Shown(PageTitle), Shown(TextOf(sheet))) << "caption of the sheet";
    EXPECT_EQ(ProposedFolder, TextOf(GetDlgItem(page, IdFolder))) << "the proposed folder";
    ExpectButtons(sheet, "-- Next -- Cancel", "destination");

    RECT sheetRect, screen;
    GetWindowRect(sheet, &sheetRect);
    GetWindowRect(GetDesktopWindow(), &screen);
    EXPECT_NEAR((screen.left + screen.right) / 2, (sheetRect.left + sheetRect.right) / 2, 1) << "centred";
    EXPECT_NEAR((screen.top + screen.bottom) / 2, (sheetRect.top + sheetRect.bottom) / 2, 1) << "centred";

    // The picker opens with our title; cancelling it leaves the field alone.
    PressIn(page, IdBrowse);
    HWND picker = NULL;
    WaitUntil([&] { return (picker = FindWindowOf(process.dwProcessId, IsFolderPicker)) != NULL; }, 10000);
    ASSERT_TRUE(picker) << "no folder picker after 参照";
    EXPECT_TRUE(DescendantWithText(picker, "Select Folder")) << "the picker's title";
    PressIn(picker, IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(picker); }, 10000)) << "the picker stays";
    EXPECT_EQ(ProposedFolder, TextOf(GetDlgItem(page, IdFolder))) << "the field after a cancelled picker";

    // Typing stops at what the program can keep (259 bytes and the NUL).
    HWND field = GetDlgItem(page, IdFolder);
    Query(field, WM_SETTEXT, 0, (LPARAM) "");
    for (int typed = 0; typed < 300; ++typed)
        Query(field, WM_CHAR, 'a', 1);
    EXPECT_EQ(259u, TextOf(field).size()) << "characters kept of 300 typed";

    std::string folder = scratch + "\\新しい表\\Vemla";
    ASSERT_NO_FATAL_FAILURE(TypeFolder(page, folder));
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdNext));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(process, InstallCaption, CreateQuestion, IDNO));
    Sleep(300);
    EXPECT_EQ(page, VisiblePageWith(sheet, IdFolder)) << "still on the destination page after No";
    ExpectNoBox(process, "after No");
    EXPECT_FALSE(FolderExists(scratch + "\\新しい表")) << "nothing is created after No";
    EXPECT_EQ(Shown(folder), Shown(TextOf(GetDlgItem(page, IdFolder)))) << "the field after No";
    ExpectButtons(sheet, "-- Next -- Cancel", "destination");

    ASSERT_NO_FATAL_FAILURE(Press(sheet, IDCANCEL));
    ExpectExitCodeZero(process, "setup.exe after Cancel");
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath)) << "an uninstall entry";
}

TEST_F(EndToEnd, CancelOnTheOptionsPageLeavesOnlyTheFolders)
{
    PROCESS_INFORMATION process = StartWizard(dist);
    ASSERT_TRUE(process.hProcess);
    HWND sheet = WaitForSheet(process);
    ASSERT_TRUE(sheet);
    HWND page = WaitForPage(process, sheet, IdFolder, "destination");
    ASSERT_TRUE(page);
    std::string folder = scratch + "\\取消表";
    ASSERT_NO_FATAL_FAILURE(TypeFolder(page, folder));
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdNext));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(process, InstallCaption, CreateQuestion, IDYES));
    HWND options = WaitForPage(process, sheet, IdProgress, "options");
    ASSERT_TRUE(options);
    ExpectButtons(sheet, "Back Next -- Cancel", "options");
    Tick(options, IdAssocBmp);
    Tick(options, IdDesktop);
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IDCANCEL));
    ExpectExitCodeZero(process, "setup.exe after Cancel");

    std::vector<std::string> entries;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search) << "the install folder was not created";
    do {
        if (lstrcmpA(found.cFileName, ".") && lstrcmpA(found.cFileName, ".."))
            entries.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    ASSERT_EQ(1u, entries.size()) << "entries of the install folder";
    EXPECT_STREQ("TEXTURE", entries[0].c_str());
    EXPECT_TRUE(FolderExists(folder + "\\TEXTURE"));
    EXPECT_TRUE(RemoveDirectoryA((folder + "\\TEXTURE").c_str())) << "TEXTURE is not empty";
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath)) << "an uninstall entry";
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, "Vemla")) << "a file type";
    EXPECT_FALSE(FileExists(ShortcutPath(Shortcuts[0]))) << "a desktop shortcut";
}

// Some options into a new Japanese folder with a blank, the finish actions, then removal.
TEST_F(EndToEnd, JapaneseFolderWithSomeOptionsInstallsRunsAndUninstalls)
{
    // Another program's association, which the uninstallation gives back.
    WriteRegistryString(HKEY_CLASSES_ROOT, OtherProgram, "", "Other Viewer");
    WriteRegistryString(HKEY_CLASSES_ROOT, ".png", "", OtherProgram);
    baseline = ExtensionsNow();

    PROCESS_INFORMATION process = StartWizard(dist);
    ASSERT_TRUE(process.hProcess);
    HWND sheet = WaitForSheet(process);
    ASSERT_TRUE(sheet);
    std::string folder = scratch + "\\新しい 表\\Vemla表";
    HWND page = WaitForPage(process, sheet, IdFolder, "destination");
    ASSERT_TRUE(page);
    ASSERT_NO_FATAL_FAILURE(TypeFolder(page, folder));
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdNext));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(process, InstallCaption, CreateQuestion, IDYES));
    HWND options = WaitForPage(process, sheet, IdProgress, "options");
    ASSERT_TRUE(options);
    EXPECT_TRUE(FolderExists(folder + "\\TEXTURE")) << "created with its TEXTURE subfolder";
    ExpectButtons(sheet, "Back Next -- Cancel", "options");
    EXPECT_EQ(0, Query(GetDlgItem(options, IdProgress), PBM_GETPOS)) << "progress before Next";

    // Back and Next again: the folder exists now, so nothing is asked.
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdBack));
    page = WaitForPage(process, sheet, IdFolder, "destination");
    ASSERT_TRUE(page);
    ExpectButtons(sheet, "-- Next -- Cancel", "destination");
    EXPECT_EQ(Shown(folder), Shown(TextOf(GetDlgItem(page, IdFolder)))) << "the field after Back";
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath)) << "installed before Next";

    InstallChoice choice = {"bitmap and PNG associations, desktop and Start menu",
                            {IdAssocBmp, IdAssocPng, IdDesktop, IdStartMenu}};
    HWND finish = InstallThroughWizard(process, sheet, folder, folder, false, choice);
    ASSERT_TRUE(finish);
    ExpectNoBox(process, "after the installation");
    ExpectButtons(sheet, "-- -- Finish Cancel", "finish");
    ExpectInstalled(folder, choice);
    EXPECT_EQ(Shown(OtherProgram), Shown(ReadRegistryValue(HKEY_CLASSES_ROOT, ".png", "VemlaPrevious").bytes.c_str()))
        << "the earlier association is kept";

    Tick(finish, IdReadme);
    Tick(finish, IdRun);
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdFinish));
    ExpectExitCodeZero(process, "setup.exe after Finish");

    HWND application = NULL, notepad = NULL;
    WaitUntil([&] {
        application = application ? application : NewWindowOfClass("VemlaStandIn", applicationsBefore);
        notepad = notepad ? notepad : NewWindowOfClass("Notepad", applicationsBefore);
        return application && notepad;
    }, 30000);
    ASSERT_TRUE(application) << "no window of the started vemla.exe";
    EXPECT_EQ("Vemla", TextOf(application));
    EXPECT_EQ(0, lstrcmpiA((dist + "\\vemla.exe").c_str(), ImageOf(application).c_str()))
        << "started " << Shown(ImageOf(application)) << ", not the distribution folder's vemla.exe";
    CloseApplication(application);
    ASSERT_TRUE(notepad) << "the readme was not opened";
    HWND text = DescendantOfClass(notepad, "Edit");
    ASSERT_TRUE(text);
    EXPECT_NE(std::string::npos, TextOf(text).find("Vemla をお使いいただきありがとうございます。"))
        << "the readme shown: " << Shown(TextOf(text));
    EXPECT_NE(std::string::npos, TextOf(notepad).find("vemla")) << Shown(TextOf(notepad));
    CloseApplication(notepad);

    ASSERT_NO_FATAL_FAILURE(Uninstall(folder, false));
    ExpectUninstalled(folder, choice);
    ExpectString(HKEY_CLASSES_ROOT, ".png", "", OtherProgram);
}

// Nothing chosen, into an existing folder typed relative to the current directory.
TEST_F(EndToEnd, NoOptionsWritesOnlyTheUninstallEntryAndUninstallAsksFirst)
{
    std::string folder = scratch + "\\既存表";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    PROCESS_INFORMATION process = StartWizard(scratch);
    ASSERT_TRUE(process.hProcess);
    HWND sheet = WaitForSheet(process);
    ASSERT_TRUE(sheet);
    InstallChoice none = {"no options", {}};
    HWND finish = InstallThroughWizard(process, sheet, "既存表", folder, false, none);
    ASSERT_TRUE(finish);
    ExpectNoBox(process, "after the installation");
    ExpectInstalled(folder, none);
    EXPECT_FALSE(FolderExists(dist + "\\既存表")) << "the relative folder was taken from the source folder";

    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdFinish));
    ExpectExitCodeZero(process, "setup.exe after Finish");
    Sleep(1500);
    EXPECT_FALSE(NewWindowOfClass("Notepad", applicationsBefore)) << "readme opened though not asked";
    EXPECT_FALSE(NewWindowOfClass("VemlaStandIn", applicationsBefore)) << "vemla.exe run though not asked";

    {
        SCOPED_TRACE("declined");
        PROCESS_INFORMATION declined = Start(folder + "\\setup.exe", "/u", scratch);
        ASSERT_TRUE(declined.hProcess);
        ASSERT_NO_FATAL_FAILURE(AnswerBox(declined, UninstallCaption, UninstallQuestion, IDNO));
        ExpectExitCodeZero(declined, "setup.exe /u after No");
        ExpectInstalled(folder, none);
    }
    {
        SCOPED_TRACE("a copy elsewhere");
        std::string copy = scratch + "\\copy";
        ASSERT_TRUE(CreateDirectoryA(copy.c_str(), NULL));
        ASSERT_TRUE(CopyFileA((dist + "\\setup.exe").c_str(), (copy + "\\setup.exe").c_str(), FALSE));
        WriteFileBytes(copy + "\\vemla.exe", "not to be deleted");
        PROCESS_INFORMATION elsewhere = Start(copy + "\\setup.exe", "/u", scratch);
        ASSERT_TRUE(elsewhere.hProcess);
        ASSERT_NO_FATAL_FAILURE(AnswerBox(elsewhere, UninstallCaption, UninstallQuestion, IDYES));
        ASSERT_NO_FATAL_FAILURE(AnswerBox(elsewhere, UninstallCaption, UninstallFailed, IDOK));
        ExpectExitCodeZero(elsewhere, "setup.exe /u from a copy");
        EXPECT_TRUE(FileExists(copy + "\\vemla.exe")) << "a file beside the copy was deleted";
        ExpectInstalled(folder, none);
    }
    ASSERT_NO_FATAL_FAILURE(Uninstall(folder, false));
    ExpectUninstalled(folder, none);
}

// A file held open without sharing cannot be replaced or deleted, as an editor or a virus scanner
// holds it on Windows.
HANDLE HoldFile(const std::string &path, const char *content)
{
    WriteFileBytes(path, content);
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_NE(INVALID_HANDLE_VALUE, held) << "cannot hold " << path;
    return held;
}

TEST_F(EndToEnd, FilesThatCannotBeReplacedOrRemovedAreReported)
{
    std::string folder = scratch + "\\使用中表";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    HANDLE held = HoldFile(folder + "\\license.txt", "held by another program");
    PROCESS_INFORMATION process = StartWizard(dist);
    ASSERT_TRUE(process.hProcess);
    HWND sheet = WaitForSheet(process);
    ASSERT_TRUE(sheet);
    HWND page = WaitForPage(process, sheet, IdFolder, "destination");
    ASSERT_TRUE(page);
    ASSERT_NO_FATAL_FAILURE(TypeFolder(page, folder));
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdNext));
    HWND options = WaitForPage(process, sheet, IdProgress, "options");
    ASSERT_TRUE(options);
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdNext));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(process, InstallCaption,
                                      "次の項目をインストールできませんでした。\n\nlicense.txt", IDOK));
    HWND finish = WaitForPage(process, sheet, IdReadme, "finish");
    ASSERT_TRUE(finish);
    CloseHandle(held);
    EXPECT_EQ("held by another program", ReadFileBytes(folder + "\\license.txt"));
    for (const char *name : ProgramFileNames)
        if (lstrcmpA(name, "license.txt") != 0)
            EXPECT_TRUE(FileExists(folder + "\\" + name)) << name << " after license.txt failed";
    for (const char *name : TextureNames)
        EXPECT_TRUE(FileExists(folder + "\\TEXTURE\\" + name)) << Shown(name);
    EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath)) << "the uninstall entry";
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdFinish));
    ExpectExitCodeZero(process, "setup.exe after Finish");

    held = HoldFile(folder + "\\readme.txt", "held by another program");
    PROCESS_INFORMATION removal = Start(folder + "\\setup.exe", "/u", scratch);
    ASSERT_TRUE(removal.hProcess);
    ASSERT_NO_FATAL_FAILURE(AnswerBox(removal, UninstallCaption, UninstallQuestion, IDYES));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(removal, UninstallCaption,
                                      "次の項目を削除できませんでした。\n\nreadme.txt\n\n"
                                      "インストールしたフォルダを手動で削除してください。",
                                      IDOK));
    ExpectExitCodeZero(removal, "setup.exe /u");
    CloseHandle(held);
    EXPECT_TRUE(FileExists(folder + "\\readme.txt")) << "the held file";
    EXPECT_FALSE(FileExists(folder + "\\vemla.exe")) << "removed all the same";
    EXPECT_FALSE(FolderExists(folder + "\\TEXTURE")) << "removed all the same";
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath)) << "removed all the same";
}

// What the registry holds under key, one line per value, for the walk-through's listing.
void PrintKey(HKEY root, const char *rootName, const std::string &key)
{
    HKEY opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        char name[256], data[1024];
        DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
        if (RegEnumValueA(opened, index, name, &nameSize, NULL, &type, (BYTE *)data, &dataSize) != ERROR_SUCCESS)
            break;
        data[dataSize] = 0;
        if (type == REG_DWORD)
            printf("  %s\\%s  %s = %lu\n", rootName, Shown(key).c_str(), *name ? name : "(default)",
                   (unsigned long)*(DWORD *)data);
        else
            printf("  %s\\%s  %s = %s\n", rootName, Shown(key).c_str(), *name ? name : "(default)",
                   Shown(data).c_str());
    }
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(opened, index, name, &nameSize, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        PrintKey(root, rootName, key + "\\" + name);
    }
    RegCloseKey(opened);
}

void PrintFiles(const std::string &folder, const std::string &shownPrefix)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            PrintFiles(folder + "\\" + name, shownPrefix + name + "\\");
        else
            printf("  %8lu  %s\n", (unsigned long)found.nFileSizeLow, Shown(shownPrefix + name).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

class Walkthrough : public EndToEnd {
protected:
    void SetUp() override
    {
        const char *folder = getenv("VEMLA_WALKTHROUGH");
        if (!folder || !*folder)
            GTEST_SKIP() << "set VEMLA_WALKTHROUGH to a folder for the screenshots (make run)";
        screenshotFolder = WindowsPathOf(folder);
        CreateDirectoryA(screenshotFolder.c_str(), NULL);
        // A desktop of our own that Wine shows as a virtual desktop, where it draws the frames
        // itself; without a window manager the windows would have none.
        HKEY desktops;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Explorer\\Desktops", 0, NULL, 0,
                            KEY_ALL_ACCESS, NULL, &desktops, NULL) == ERROR_SUCCESS) {
            static const char size[] = "1024x768";
            RegSetValueExA(desktops, "VemlaWalkthrough", 0, REG_SZ, (const BYTE *)size, sizeof size);
            RegCloseKey(desktops);
        }
        HDESK own = CreateDesktopA("VemlaWalkthrough", NULL, NULL, 0, GENERIC_ALL, NULL);
        if (own && SetThreadDesktop(own))
            desktop = "VemlaWalkthrough";
        else
            printf("walkthrough: no desktop of our own (%lu); the windows will have no frames\n", GetLastError());
        EndToEnd::SetUp();
        // The walk-through uses the proposed folder: start from a prefix without it.
        RemoveTree(ProposedFolder);
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
    PROCESS_INFORMATION process = StartWizard(dist);
    ASSERT_TRUE(process.hProcess);
    HWND sheet = WaitForSheet(process);
    ASSERT_TRUE(sheet);
    HWND page = WaitForPage(process, sheet, IdFolder, "destination");
    ASSERT_TRUE(page);
    EXPECT_EQ(ProposedFolder, TextOf(GetDlgItem(page, IdFolder)));
    Screenshot(sheet, "01-destination");

    PressIn(page, IdBrowse);
    HWND picker = NULL;
    WaitUntil([&] { return (picker = FindWindowOf(process.dwProcessId, IsFolderPicker)) != NULL; }, 10000);
    ASSERT_TRUE(picker) << "no folder picker";
    Screenshot(picker, "02-browse");
    PressIn(picker, IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(picker); }, 10000));

    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdNext));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(process, InstallCaption, CreateQuestion, IDYES, "03-create-folder"));
    HWND options = WaitForPage(process, sheet, IdProgress, "options");
    ASSERT_TRUE(options);
    InstallChoice every = {"every option", {IdAssocBmp, IdAssocJpg, IdAssocPng, IdDesktop, IdSendTo, IdStartMenu}};
    for (int box : every.boxes)
        Tick(options, box);
    Screenshot(sheet, "04-options");
    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdNext));
    HWND finish = WaitForPage(process, sheet, IdReadme, "finish");
    ASSERT_TRUE(finish);
    ExpectNoBox(process, "after the installation");
    Tick(finish, IdReadme);
    Tick(finish, IdRun);
    Screenshot(sheet, "05-finish");
    ExpectInstalled(ProposedFolder, every);

    printf("\nInstalled into %s:\n", ProposedFolder);
    PrintFiles(ProposedFolder, "");
    printf("Registry:\n");
    PrintKey(HKEY_CLASSES_ROOT, "HKCR", "Vemla");
    for (const char *extension : Extensions)
        PrintKey(HKEY_CLASSES_ROOT, "HKCR", extension);
    PrintKey(HKEY_LOCAL_MACHINE, "HKLM", UninstallKeyPath);
    printf("Shortcuts:\n");
    for (const ShortcutFile &shortcut : Shortcuts)
        if (FileExists(ShortcutPath(shortcut)))
            printf("  %s -> %s\n", Shown(ShortcutPath(shortcut)).c_str(),
                   Shown(ShortcutTarget(ShortcutPath(shortcut))).c_str());
    printf("\n");
    fflush(stdout);

    ASSERT_NO_FATAL_FAILURE(Press(sheet, IdFinish));
    ExpectExitCodeZero(process, "setup.exe after Finish");
    HWND application = NULL, notepad = NULL;
    WaitUntil([&] {
        application = application ? application : NewWindowOfClass("VemlaStandIn", applicationsBefore);
        notepad = notepad ? notepad : NewWindowOfClass("Notepad", applicationsBefore);
        return application && notepad;
    }, 30000);
    ASSERT_TRUE(notepad) << "the readme was not opened";
    SetWindowPos(notepad, NULL, 0, 0, 560, 200, SWP_NOMOVE | SWP_NOZORDER);  // a picture, not a page
    Screenshot(notepad, "06-readme");
    CloseApplication(notepad);
    ASSERT_TRUE(application) << "vemla.exe was not started";
    Screenshot(application, "07-application");
    CloseApplication(application);

    ASSERT_NO_FATAL_FAILURE(Uninstall(ProposedFolder, true));
    ExpectUninstalled(ProposedFolder, every);
    printf("Uninstalled; left in %s:\n", ProposedFolder);
    PrintFiles(ProposedFolder, "");
    fflush(stdout);
}

}  // namespace
