#include "tests/support/test_support.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>

#include "core/layout.h"
#include "core/setup_state.h"

std::string MakeScratchFolder(const char *tag)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    static LONG counter;
    for (;;) {
        char name[MAX_PATH];
        wsprintfA(name, "%svemla-%s-%lu-%ld", temp, tag, GetCurrentProcessId(),
                  InterlockedIncrement(&counter));
        if (CreateDirectoryA(name, NULL))
            return name;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "cannot create " << name << ": " << GetLastError();
            return name;
        }
    }
}

void RemoveTree(const std::string &path)
{
    if (path.empty())
        return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string full = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

bool FileExists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadFileBytes(const std::string &path)
{
    std::string bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char block[4096];
    DWORD got;
    while (ReadFile(file, block, sizeof block, &got, NULL) && got)
        bytes.append(block, got);
    CloseHandle(file);
    return bytes;
}

void WriteFileBytes(const std::string &path, const std::string &bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << "cannot write " << path;
    DWORD written = 0;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
    ASSERT_EQ(bytes.size(), written) << path;
}

std::string CurrentDirectory()
{
    char folder[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
    return std::string(folder, length < sizeof folder ? length : 0);
}

int CountFolderEntries(const std::string &folder)
{
    int count = 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (lstrcmpA(found.cFileName, ".") && lstrcmpA(found.cFileName, ".."))
            ++count;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

ScopedRegistryOverride::ScopedRegistryOverride()
{
    char path[100];
    static LONG counter;
    wsprintfA(path, "Software\\VemlaTest\\%lu-%ld", GetCurrentProcessId(),
              InterlockedIncrement(&counter));
    scratchPath = path;
    classesRoot = localMachine = NULL;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, (scratchPath + "\\HKCR").c_str(), 0,
                                             NULL, 0, KEY_ALL_ACCESS, NULL, &classesRoot, NULL));
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, (scratchPath + "\\HKLM").c_str(), 0,
                                             NULL, 0, KEY_ALL_ACCESS, NULL, &localMachine, NULL));
    EXPECT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CLASSES_ROOT, classesRoot));
    EXPECT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_LOCAL_MACHINE, localMachine));
}

ScopedRegistryOverride::~ScopedRegistryOverride()
{
    RegOverridePredefKey(HKEY_CLASSES_ROOT, NULL);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, NULL);
    RegCloseKey(classesRoot);
    RegCloseKey(localMachine);
    RegDeleteTreeA(HKEY_CURRENT_USER, scratchPath.c_str());
}

RegistryValue ReadRegistryValue(HKEY root, const char *key, const char *name)
{
    RegistryValue value = {false, 0, std::string()};
    HKEY opened;
    if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
        return value;
    char data[2048];
    DWORD size = sizeof data;
    if (RegQueryValueExA(opened, name, NULL, &value.type, (BYTE *)data, &size) == ERROR_SUCCESS) {
        value.found = true;
        value.bytes.assign(data, size);
    }
    RegCloseKey(opened);
    return value;
}

bool RegistryKeyExists(HKEY root, const char *key)
{
    HKEY opened;
    if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

void WriteRegistryString(HKEY root, const char *key, const char *name, const char *data)
{
    HKEY created;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(root, key, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &created, NULL));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(created, name, 0, REG_SZ, (const BYTE *)data,
                                            lstrlenA(data) + 1));
    RegCloseKey(created);
}

static ScopedMessageBoxScript *activeScript;

static LRESULT CALLBACK MessageBoxHook(int code, WPARAM wparam, LPARAM lparam)
{
    if (code == HCBT_ACTIVATE && activeScript) {
        HWND box = (HWND)wparam;
        char className[32];
        GetClassNameA(box, className, sizeof className);
        if (lstrcmpA(className, "#32770") == 0 && GetDlgItem(box, 0xFFFF)) {
            SeenMessageBox seen;
            char text[2048];
            GetWindowTextA(box, text, sizeof text);
            seen.caption = text;
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            seen.text = text;
            int answer;
            if (!activeScript->answers.empty()) {
                answer = activeScript->answers.front();
                activeScript->answers.erase(activeScript->answers.begin());
            } else {
                answer = GetDlgItem(box, IDOK) ? IDOK : IDNO;
            }
            seen.answer = answer;
            seen.owner = GetWindow(box, GW_OWNER);
            activeScript->seen.push_back(seen);
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                         (LPARAM)GetDlgItem(box, answer));
        }
    }
    return CallNextHookEx(NULL, code, wparam, lparam);
}

ScopedMessageBoxScript::ScopedMessageBoxScript(std::vector<int> script) : answers(script)
{
    activeScript = this;
    hook = SetWindowsHookExA(WH_CBT, MessageBoxHook, NULL, GetCurrentThreadId());
    EXPECT_NE((HHOOK)NULL, hook);
}

ScopedMessageBoxScript::~ScopedMessageBoxScript()
{
    UnhookWindowsHookEx(hook);
    activeScript = NULL;
}

ScopedSetupModule::ScopedSetupModule(const std::string &folder)
    : module(NULL), previous(SetupState.instance), path(folder + "\\setup.exe")
{
    // The x86_64 setup.exe is built beside the test programs.
    char source[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, source, sizeof source);
    EXPECT_TRUE(length > 0 && length < sizeof source);
    lstrcpyA(strrchr(source, '\\') + 1, "setup.exe");
    EXPECT_TRUE(CopyFileA(source, path.c_str(), FALSE)) << "cannot copy " << source;
    module = LoadLibraryA(path.c_str());
    EXPECT_NE((HMODULE)NULL, module) << "cannot load " << path << ": " << GetLastError();
    SetupState.instance = module;
}

ScopedSetupModule::~ScopedSetupModule()
{
    SetupState.instance = previous;
    if (module)
        FreeLibrary(module);
}

std::string SpecialFolder(int csidl)
{
    char path[MAX_PATH];
    if (FAILED(SHGetFolderPathA(NULL, csidl, NULL, SHGFP_TYPE_CURRENT, path)))
        return std::string();
    return path;
}

void RemoveInstalledShortcuts()
{
    static const int folders[] = {CSIDL_DESKTOPDIRECTORY, CSIDL_SENDTO};
    for (int csidl : folders) {
        std::string folder = SpecialFolder(csidl);
        if (!folder.empty())
            DeleteFileA((folder + "\\vemla.lnk").c_str());
    }
    std::string programs = SpecialFolder(CSIDL_PROGRAMS);
    if (!programs.empty())
        RemoveTree(programs + "\\Vemla");
}

std::string InstalledShortcutPath(int row)
{
    const LayoutShortcut &s = ShortcutSet[row];
    std::string folder = SpecialFolder(s.csidl);
    if (s.group)
        folder += std::string("\\") + s.group;
    return folder + "\\" + s.file;
}

ShortcutContents ReadShortcut(const std::string &path)
{
    ShortcutContents shortcut = {false, "", "", "", "", -1};
    IShellLinkA *link = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                (void **)&link)))
        return shortcut;
    IPersistFile *file = NULL;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file))) {
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
        if (SUCCEEDED(file->Load(wide, STGM_READ))) {
            shortcut.loaded = true;
            char text[MAX_PATH];
            if (SUCCEEDED(link->GetPath(text, sizeof text, NULL, SLGP_RAWPATH)))
                shortcut.target = text;
            if (SUCCEEDED(link->GetDescription(text, sizeof text)))
                shortcut.description = text;
            if (SUCCEEDED(link->GetWorkingDirectory(text, sizeof text)))
                shortcut.workingFolder = text;
            if (SUCCEEDED(link->GetIconLocation(text, sizeof text, &shortcut.iconIndex)))
                shortcut.iconLocation = text;
        }
        file->Release();
    }
    link->Release();
    return shortcut;
}
