// Helpers shared by the tests: scratch folders, an isolated registry, scripted message boxes.
#ifndef VEMLA_TEST_SUPPORT_H
#define VEMLA_TEST_SUPPORT_H

#include <windows.h>

#include <string>
#include <vector>

// A new empty folder under the temporary folder (no trailing separator).
std::string MakeScratchFolder(const char *tag);
// Deletes a folder and everything in it (read-only files too).
void RemoveTree(const std::string &path);
bool FileExists(const std::string &path);
bool FolderExists(const std::string &path);
std::string ReadFileBytes(const std::string &path);
void WriteFileBytes(const std::string &path, const std::string &bytes);
std::string CurrentDirectory();
// How many names folder holds, "." and ".." left out.
int CountFolderEntries(const std::string &folder);

// While alive, HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE of this process lead to fresh scratch keys
// under HKEY_CURRENT_USER, deleted whole afterwards.
struct ScopedRegistryOverride {
    ScopedRegistryOverride();
    ~ScopedRegistryOverride();
    HKEY classesRoot;
    HKEY localMachine;
    std::string scratchPath;  // under HKEY_CURRENT_USER
};

// A value as stored: its type and exact bytes (the NUL of a string included when stored).
struct RegistryValue {
    bool found;
    DWORD type;
    std::string bytes;
};
RegistryValue ReadRegistryValue(HKEY root, const char *key, const char *name);
bool RegistryKeyExists(HKEY root, const char *key);
void WriteRegistryString(HKEY root, const char *key, const char *name, const char *data);

// A message box seen by ScopedMessageBoxScript.
struct SeenMessageBox {
    std::string caption;
    std::string text;
    int answer;
    HWND owner;  // the box's owner window, null when it has none
};

// While alive, every message box shown on this thread is recorded and answered with the next
// button of answers (IDYES, IDNO, IDOK...); when the script runs out, IDOK or IDNO is pressed.
struct ScopedMessageBoxScript {
    explicit ScopedMessageBoxScript(std::vector<int> answers = {});
    ~ScopedMessageBoxScript();
    std::vector<SeenMessageBox> seen;
    std::vector<int> answers;
    HHOOK hook;
};

// While alive, SetupState.instance is a copy of the x86_64 setup.exe loaded (not run) from
// folder\setup.exe, so that the runs take folder as the running program's folder; like the
// running program, the file cannot be deleted meanwhile. Afterwards the copy is unloaded and
// SetupState.instance restored; the file stays.
struct ScopedSetupModule {
    explicit ScopedSetupModule(const std::string &folder);
    ~ScopedSetupModule();
    HMODULE module;
    HINSTANCE previous;
    std::string path;
};

// The file-system path of a shell folder of the prefix (CSIDL_DESKTOPDIRECTORY...), or empty.
std::string SpecialFolder(int csidl);
// Deletes the shortcuts an installation may write, and the Start-menu group with its contents,
// from the prefix's shell folders.
void RemoveInstalledShortcuts();
// Where row of ShortcutSet lies in the prefix's shell folders.
std::string InstalledShortcutPath(int row);

// A shortcut file read back through the shell-link object (COM initialised by the caller).
struct ShortcutContents {
    bool loaded;
    std::string target;  // as stored, not resolved
    std::string description;
    std::string workingFolder;
    std::string iconLocation;
    int iconIndex;
};
ShortcutContents ReadShortcut(const std::string &path);

#endif
