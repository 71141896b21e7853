#include "tests/support/test_support.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "base/layout.h"
#include "base/setup_state.h"
#include "system/registry.h"
#include "system/uninstall_entry.h"

std::string Shown(const std::string &text)
{
    std::wstring wide(text.size() + 1, L'\0');
    std::string shown(text.size() * 3 + 1, '\0');
    wide.resize(MultiByteToWideChar(932, 0, text.data(), (int)text.size(), &wide[0], (int)wide.size()));
    shown.resize(WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), &shown[0], (int)shown.size(), 0, 0));
    return shown;
}

std::wstring Wide(const std::string &text)
{
    std::wstring wide(text.size() + 1, L'\0');
    wide.resize(MultiByteToWideChar(932, 0, text.data(), (int)text.size(), &wide[0], (int)wide.size()));
    return wide;
}

std::string MakeScratchFolder(const char *tag)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    static LONG counter;
    std::string name, prefix = temp + std::string("vemla-") + tag + "-" + std::to_string(GetCurrentProcessId()) + "-";
    do
        name = prefix + std::to_string(InterlockedIncrement(&counter));  // skips one left by an earlier process
    while (!CreateDirectoryA(name.c_str(), NULL) && GetLastError() == ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(FolderExists(name)) << "cannot create " << name;
    return name;
}

int CountFolderEntries(const std::string &folder)
{
    int count = 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
        count += lstrcmpA(found.cFileName, ".") && lstrcmpA(found.cFileName, "..");
    FindClose(search);
    return count;
}

bool StartLinuxCommand(std::string command)
{
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process;
    // Wine gives no handles for a Linux process: closing its garbage (as WinExec does) may close ours.
    return CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process);
}

// Wine makes no link itself (CreateSymbolicLink is a stub) and cannot remove one, but starts Linux
// programs; a drive's files lie under the prefix's dosdevices.
bool FolderLink(const std::string &link, const std::string &target)
{
    const char *prefix = getenv("WINEPREFIX");
    auto unixName = [&](std::string path) {
        std::replace(path.begin(), path.end(), '\\', '/');
        path[0] = (char)tolower((unsigned char)path[0]);
        return "\"" + std::string(prefix) + "/dosdevices/" + path + "\"";
    };
    std::string made = prefix && !target.empty() ? "/bin/ln -s " + unixName(target) + " " : "/bin/rm -f ";
    if (!prefix || !StartLinuxCommand(made + unixName(link)))
        return false;
    for (int tries = 0; tries < 100; ++tries, Sleep(20)) {
        DWORD attributes = GetFileAttributesA(link.c_str());
        if (target.empty() ? attributes == INVALID_FILE_ATTRIBUTES
                           : attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return true;
    }
    return false;
}

void RemoveTree(const std::string &path)
{
    std::string from = path + '\0';  // a list of names, ended by an empty one
    SHFILEOPSTRUCTA operation = {NULL, FO_DELETE, from.c_str(), NULL, FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT};
    if (!path.empty())
        SHFileOperationA(&operation);
}

// 1 for a file, 2 for a folder, 0 when nothing is there.
static int PathKind(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes & FILE_ATTRIBUTE_DIRECTORY ? 2 : 1;
}
bool FileExists(const std::string &path) { return PathKind(path) == 1; }
bool FolderExists(const std::string &path) { return PathKind(path) == 2; }

std::string ReadFileBytes(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream file(path, std::ios::binary);
    EXPECT_TRUE(file.write(bytes.data(), bytes.size()).flush()) << "cannot write " << path;
}

std::string TestProgramFolder()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    EXPECT_TRUE(length > 0 && length < sizeof path);
    return std::string(path, strrchr(path, '\\'));
}

std::string CurrentDirectory()
{
    char folder[MAX_PATH] = "";
    return GetCurrentDirectoryA(sizeof folder, folder) < sizeof folder ? folder : "";
}

HKEY Classes = HKEY_CLASSES_ROOT;

static HKEY OverrideRoot(HKEY root, const std::string &path)
{
    HKEY key = NULL;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS,
                                             NULL, &key, NULL)) << path;
    EXPECT_EQ(ERROR_SUCCESS, root ? RegOverridePredefKey(root, key) : ERROR_SUCCESS) << path;
    return key;
}

ScopedRegistryOverride::ScopedRegistryOverride()
{
    static LONG counter;
    scratchPath = "Software\\VemlaTest\\" + std::to_string(GetCurrentProcessId()) + "-" +
                  std::to_string(InterlockedIncrement(&counter));
    RegDeleteTreeA(HKEY_CURRENT_USER, scratchPath.c_str());  // one left by an earlier process of the same id
    classesRoot = OverrideRoot(HKEY_CLASSES_ROOT, scratchPath + "\\HKCR");
    localMachine = OverrideRoot(HKEY_LOCAL_MACHINE, scratchPath + "\\HKLM");
    Classes = OverrideRoot(NULL, scratchPath + "\\HKLM\\Software\\Classes");
}

void ScopedRegistryOverride::Clear()
{
    RegDeleteTreeA(classesRoot, NULL);
    RegDeleteTreeA(Classes, NULL);
    RegDeleteTreeA(localMachine, NULL);
    RegCloseKey(Classes);  // deleted with its parent's tree: made anew
    RegCreateKeyExA(localMachine, "Software\\Classes", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &Classes, NULL);
}

ScopedRegistryOverride::~ScopedRegistryOverride()
{
    RegOverridePredefKey(HKEY_CLASSES_ROOT, NULL);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, NULL);
    for (HKEY key : {classesRoot, localMachine, Classes})
        RegCloseKey(key);
    Classes = HKEY_CLASSES_ROOT;
    RegDeleteTreeA(HKEY_CURRENT_USER, scratchPath.c_str());
}

// The A and W functions as one, for the two readers.
template <typename C, typename Open, typename Query>
static RegistryValue ReadValue(HKEY root, const C *key, const C *name, REGSAM view, Open open, Query query)
{
    RegistryValue value = {false, 0, std::string()};
    HKEY opened;
    char data[2048];
    DWORD size = sizeof data;
    if (open(root, key, 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS)
        return value;
    value.found = !query(opened, name, NULL, &value.type, (BYTE *)data, &size);
    value.bytes.assign(data, value.found ? size : 0);
    RegCloseKey(opened);
    return value;
}
RegistryValue ReadRegistryValue(HKEY root, const char *key, const char *name, REGSAM view)
{
    return ReadValue(root, key, name, view, RegOpenKeyExA, RegQueryValueExA);
}
RegistryValue ReadRegistryValueW(HKEY root, const wchar_t *key, const wchar_t *name)
{
    return ReadValue(root, key, name, 0, RegOpenKeyExW, RegQueryValueExW);
}
std::string Bytes(const std::wstring &text) { return std::string((const char *)text.data(), text.size() * sizeof(wchar_t)); }

bool RegistryKeyExists(HKEY root, const char *key, REGSAM view)
{
    HKEY opened;
    if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

void WriteRegistryString(HKEY root, const char *key, const char *name, const char *data)
{
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeyValueA(root, key, name, REG_SZ, data, lstrlenA(data) + 1))
        << key << " \"" << name << "\"";
}

static ScopedMessageBoxScript *activeScript;

static LRESULT CALLBACK MessageBoxHook(int code, WPARAM wparam, LPARAM lparam)
{
    HWND box = (HWND)wparam;
    char text[2048];
    if (code == HCBT_ACTIVATE && activeScript && GetClassNameA(box, text, sizeof text) &&
        !lstrcmpA(text, "#32770") && GetDlgItem(box, 0xFFFF)) {
        SeenMessageBox seen = {"", "", GetWindow(box, GW_OWNER)};
        GetWindowTextA(box, text, sizeof text);
        seen.caption = text;
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        seen.text = text;
        activeScript->seen.push_back(seen);
        std::vector<int> &answers = activeScript->answers;
        int answer = answers.empty() ? (GetDlgItem(box, IDOK) ? IDOK : IDNO) : answers.front();
        if (!answers.empty())
            answers.erase(answers.begin());
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), (LPARAM)GetDlgItem(box, answer));
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

std::string ScopedMessageBoxScript::Texts() const
{
    std::string texts;
    for (const SeenMessageBox &box : seen)
        texts += box.caption + ": " + box.text + "\n";
    return texts;
}

ScopedSetupModule::ScopedSetupModule(const std::wstring &folder)
    : module(NULL), previous(SetupState.instance)
{
    std::wstring path = folder + L"\\setup.exe";
    std::string source = TestProgramFolder() + "\\setup.exe";
    EXPECT_TRUE(CopyFileW(Wide(source).c_str(), path.c_str(), FALSE)) << "cannot copy " << source;
    module = LoadLibraryW(path.c_str());
    EXPECT_NE((HMODULE)NULL, module) << "cannot load setup.exe: " << GetLastError();
    SetupState.instance = module;
}

ScopedSetupModule::~ScopedSetupModule()
{
    SetupState.instance = previous;
    FreeLibrary(module);
}

std::vector<std::string> DistributionFiles()
{
    std::vector<std::string> files;
    for (const LayoutFile &file : ProgramFiles)
        files.push_back(file.name);
    for (const LayoutFile &file : TextureFiles)
        files.push_back(std::string("TEXTURE\\") + file.name);
    return files;
}

void WriteDistribution(const std::string &source)
{
    EXPECT_TRUE(CreateDirectoryA(source.c_str(), NULL) && CreateDirectoryA((source + "\\TEXTURE").c_str(), NULL)) << source;
    for (const std::string &name : DistributionFiles()) {
        if (name != "setup.exe")
            WriteFileBytes(source + "\\" + name, "file " + name);
        SetFileAttributesA((source + "\\" + name).c_str(), FILE_ATTRIBUTE_READONLY);
    }
}

std::wstring RenameFolder(const std::string &folder, const std::wstring &name, std::string *shortName)
{
    const std::wstring renamed = Wide(folder.substr(0, folder.rfind('\\') + 1)) + name;
    WCHAR shortWide[MAX_PATH] = L"";
    char narrow[MAX_PATH] = "";
    EXPECT_TRUE(MoveFileW(Wide(folder).c_str(), renamed.c_str())) << "cannot rename " << folder;
    DWORD length = GetShortPathNameW(renamed.c_str(), shortWide, MAX_PATH);
    EXPECT_TRUE(length && length < MAX_PATH &&
                WideCharToMultiByte(932, 0, shortWide, -1, narrow, MAX_PATH, 0, 0)) << "no short name";
    *shortName = narrow;
    return renamed;
}

std::string SpecialFolder(int csidl)
{
    char path[MAX_PATH];
    std::string folder = SUCCEEDED(SHGetFolderPathA(NULL, csidl, NULL, SHGFP_TYPE_CURRENT, path)) ? path : "";
    // Said here, not later as a shortcut that cannot be written.
    EXPECT_TRUE(FolderExists(folder)) << "shell folder CSIDL " << csidl << " (" << folder << ") missing in the Wine "
                                      << "prefix: removed earlier in this run, or else delete build/wine";
    return folder;
}

void RemoveInstalledShortcuts()
{
    for (int row = 0; row < ShortcutCount; ++row)
        if (!SpecialFolder(ShortcutSet[row].csidl).empty())  // never "\vemla.lnk" at a drive's root
            DeleteFileA(InstalledShortcutPath(row).c_str());
    std::string group = SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla";
    if (GetFileAttributesA(group.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT & ~INVALID_FILE_ATTRIBUTES)
        FolderLink(group, "");  // left by a failed test; the tree deletion would follow it
    if (group.size() > 6)
        RemoveTree(group);
}

std::string InstalledShortcutPath(int row)
{
    const LayoutShortcut &s = ShortcutSet[row];
    return SpecialFolder(s.csidl) + (s.group ? std::string("\\") + s.group : "") + "\\" + s.file;
}

// A shortcut file read back through the shell-link object (COM initialised by the caller).
struct ShortcutContents {
    bool loaded;
    std::string target, description, workingFolder, iconLocation;  // the target as stored, not resolved
    int iconIndex;
};
static ShortcutContents ReadShortcut(const std::string &path)
{
    ShortcutContents shortcut = {false, "", "", "", "", -1};
    IShellLinkA *link = NULL;
    IPersistFile *file = NULL;
    WCHAR wide[MAX_PATH];
    char target[MAX_PATH], description[MAX_PATH], folder[MAX_PATH], icon[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&link)) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file)) && SUCCEEDED(file->Load(wide, STGM_READ)) &&
        SUCCEEDED(link->GetPath(target, MAX_PATH, NULL, SLGP_RAWPATH)) &&
        SUCCEEDED(link->GetDescription(description, MAX_PATH)) && SUCCEEDED(link->GetWorkingDirectory(folder, MAX_PATH)) &&
        SUCCEEDED(link->GetIconLocation(icon, MAX_PATH, &shortcut.iconIndex)))
        shortcut = {true, target, description, folder, icon, shortcut.iconIndex};
    if (file)
        file->Release();  // released in reverse order of acquisition
    if (link)
        link->Release();
    return shortcut;
}

std::string RegistryText(HKEY root, const char *key, const char *name, REGSAM view)
{
    RegistryValue value = ReadRegistryValue(root, key, name, view);
    return !value.found ? "(none)"
           : value.type != REG_SZ || value.bytes.size() != strlen(value.bytes.c_str()) + 1 ? "(not a string)"
                                                                                         : value.bytes.c_str();
}

const char *const Extensions[4] = {".jpg", ".png", ".bmp", ".dib"};
const char CapabilitiesKey[] = "Software\\Vemla\\Capabilities";
static int InstallOptions::*const ExtensionOptions[] = {&InstallOptions::associateJpeg, &InstallOptions::associatePng,
                                                       &InstallOptions::associateBitmap, &InstallOptions::associateBitmap};

std::string InstallationFaults(const std::string &folder, const std::string &source, const InstallOptions &options,
                               const std::vector<std::string> &earlier, REGSAM view)
{
    std::string faults;
    auto expect = [&](bool good, const std::string &what) { faults += good ? "" : what + "; "; };
    DWORD bytes = 0;
    bool stamped = false;  // vemla.exe a program, whose version resource gives the version values; not a placeholder
    for (const std::string &name : DistributionFiles()) {
        const std::string original = ReadFileBytes(source + "\\" + name);
        bytes += (DWORD)original.size();
        stamped |= name == "vemla.exe" && original.compare(0, 2, "MZ") == 0;
        expect(ReadFileBytes(folder + "\\" + name) == original && !(GetFileAttributesA((folder + "\\" + name).c_str()) & FILE_ATTRIBUTE_READONLY),
               name + " not copied, or read-only");
    }
    bool associated = false;
    const std::string types = CapabilitiesKey + std::string("\\FileAssociations");
    for (int i = 0; i < 4; ++i) {
        associated |= options.*ExtensionOptions[i] != 0;
        const bool chosen = options.*ExtensionOptions[i] != 0;
        expect(RegistryText(Classes, Extensions[i], "") == (chosen ? "Vemla" : earlier[i]),
               Extensions[i] + std::string(chosen ? " not ours" : " not left alone"));
        const std::string openWith = Extensions[i] + std::string("\\OpenWithProgids");
        expect(ReadRegistryValue(Classes, openWith.c_str(), "Vemla").found == chosen &&
                   RegistryText(HKEY_LOCAL_MACHINE, types.c_str(), Extensions[i]) ==
                       (chosen ? "Vemla" : "(none)"),
               Extensions[i] + std::string(" offered in Open with and Default apps, or not"));
    }
    expect(RegistryText(Classes, "Vemla", "") + "|" +
               RegistryText(Classes, "Vemla\\shell\\open\\command", "") ==
               (associated ? "Vemla Image|\"" + folder + "\\vemla.exe\" \"%1\"" : "(none)|(none)"), "the file type");
    expect(RegistryText(HKEY_LOCAL_MACHINE, CapabilitiesKey, "ApplicationName") + "|" +
               RegistryText(HKEY_LOCAL_MACHINE, CapabilitiesKey, "ApplicationDescription") + "|" +
               RegistryText(HKEY_LOCAL_MACHINE, "Software\\RegisteredApplications", "Vemla") ==
               (associated ? "Vemla|初心者でも簡単に操作のできるフォトレタッチソフト|Software\\Vemla\\Capabilities"
                           : "(none)|(none)|(none)"), "Vemla in Default apps");
    SYSTEMTIME today;
    GetLocalTime(&today);
    char date[16];
    snprintf(date, sizeof date, "%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    for (const auto &record : {std::make_pair("UninstallString", "\"" + folder + "\\setup.exe\" /u"), std::make_pair("InstallLocation", folder),
                               std::make_pair("DisplayIcon", folder + "\\vemla.exe,0"), std::make_pair("InstallDate", std::string(date)),
                               std::make_pair("DisplayName", std::string("Vemla")), std::make_pair("DisplayVersion", std::string(stamped ? "1.0.0.0" : "(none)")),
                               std::make_pair("Publisher", std::string(stamped ? "Zandorel" : "(none)"))})
        expect(RegistryText(HKEY_LOCAL_MACHINE, UninstallKey, record.first, view) == record.second, record.first);
    const DWORD kilobytes = (bytes + 1023) / 1024;  // of the files there, rounded up once
    for (const auto &number : {std::make_pair("NoModify", DWORD(1)), std::make_pair("NoRepair", DWORD(1)), std::make_pair("EstimatedSize", kilobytes)}) {
        RegistryValue value = ReadRegistryValue(HKEY_LOCAL_MACHINE, UninstallKey, number.first, view);
        expect(value.type == REG_DWORD && value.bytes == std::string((const char *)&number.second, 4), number.first);
    }
    for (int row = 0; row < ShortcutCount; ++row) {
        ShortcutContents link = ReadShortcut(InstalledShortcutPath(row));
        std::string target = folder + "\\" + ShortcutSet[row].target;
        expect(options.*ShortcutSet[row].option ? link.target == target && link.workingFolder == folder && link.iconLocation == target &&
                                                      link.iconIndex == 0 && link.description == "Zandorel"
                                                : !link.loaded, std::string("shortcut ") + ShortcutSet[row].file);
    }
    return faults;
}

std::string UninstallationFaults(const std::string &folder, const std::vector<std::string> &earlier, REGSAM view)
{
    std::string faults;
    auto expect = [&](bool good, const std::string &what) { faults += good ? "" : what + "; "; };
    for (const char *name : RemovalList)  // the running setup.exe stays, as Windows keeps it
        expect(!lstrcmpA(name, "setup.exe") || !FileExists(folder + "\\" + name), name + std::string(" left"));
    for (const LayoutFile &file : TextureFiles)
        expect(!FileExists(folder + "\\TEXTURE\\" + file.name), file.name + std::string(" left"));
    for (int row = 0; row < ShortcutCount; ++row)
        expect(!FileExists(InstalledShortcutPath(row)), std::string("shortcut ") + ShortcutSet[row].file + " left");
    expect(!RegistryKeyExists(Classes, "Vemla"), "the file type left");
    expect(!RegistryKeyExists(HKEY_LOCAL_MACHINE, "Software\\Vemla") &&
               !ReadRegistryValue(HKEY_LOCAL_MACHINE, "Software\\RegisteredApplications", "Vemla").found,
           "Vemla in Default apps left");
    expect(!RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey, view),
           "the uninstall entry left");
    for (int i = 0; i < 4; ++i) {
        const std::string association = RegistryText(Classes, Extensions[i], "");  // empty or none alike
        expect((association == earlier[i] || (association == "(none)" && earlier[i].empty())) &&
                   !ReadRegistryValue(Classes, Extensions[i], "VemlaPrevious").found &&
                   !ReadRegistryValue(Classes, (Extensions[i] + std::string("\\OpenWithProgids")).c_str(),
                                      "Vemla").found,
               Extensions[i] + std::string(" not given back"));
    }
    return faults;
}
