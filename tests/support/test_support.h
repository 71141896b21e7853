// Helpers shared by the tests: scratch folders, an isolated registry, scripted message boxes, and
// what a complete installation or removal leaves.
#ifndef VEMLA_TEST_SUPPORT_H
#define VEMLA_TEST_SUPPORT_H

#include <windows.h>

#include "base/setup_state.h"

#include <string>
#include <vector>

std::string Shown(const std::string &text);  // code page 932 text as UTF-8, for a failure message
std::wstring Wide(const std::string &text);  // code page 932 text as UTF-16
std::string MakeScratchFolder(const char *tag);  // new, empty, under %TEMP%, no trailing separator
void RemoveTree(const std::string &path);        // read-only files too
bool FileExists(const std::string &path);
bool FolderExists(const std::string &path);
std::string ReadFileBytes(const std::string &path);
void WriteFileBytes(const std::string &path, const std::string &bytes);
std::string CurrentDirectory();
std::string TestProgramFolder();  // where the x86_64 programs are built: the tests, setup.exe, vemla.exe
int CountFolderEntries(const std::string &folder);  // "." and ".." left out
// Makes link a symbolic link to target (as Wine has links), or removes the link when target is empty.
bool FolderLink(const std::string &link, const std::string &target);
bool StartLinuxCommand(std::string command);  // under Wine; no handles, so wait for its effect
std::vector<std::string> DistributionFiles();  // relative: the program files, then TEXTURE's

// The class records: HKEY_CLASSES_ROOT, or an override's HKLM\Software\Classes, kept apart from its
// HKEY_CLASSES_ROOT (as an administrator's own classes are), so that a record written through that is missed.
extern HKEY Classes;

// While alive, this process's HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE lead to fresh scratch keys (deleted afterwards).
struct ScopedRegistryOverride {
    ScopedRegistryOverride();
    ~ScopedRegistryOverride();
    void Clear();  // the scratch keys emptied
    HKEY classesRoot, localMachine;
    std::string scratchPath;  // under HKEY_CURRENT_USER
};

// A value as stored: its type and exact bytes (a string's NUL included when stored).
struct RegistryValue { bool found; DWORD type; std::string bytes; };
// view: 0, or KEY_WOW64_32KEY for what a 32-bit program wrote to a redirected key (HKLM\SOFTWARE).
RegistryValue ReadRegistryValue(HKEY root, const char *key, const char *name, REGSAM view = 0);
RegistryValue ReadRegistryValueW(HKEY root, const wchar_t *key, const wchar_t *name);
std::string Bytes(const std::wstring &text);  // as the wide registry functions store it
bool RegistryKeyExists(HKEY root, const char *key, REGSAM view = 0);
void WriteRegistryString(HKEY root, const char *key, const char *name, const char *data);
// A REG_SZ's text (one NUL ending it), or "(none)", or "(not a string)".
std::string RegistryText(HKEY root, const char *key, const char *name, REGSAM view = 0);

// While alive, every message box shown on this thread is recorded and answered with the next of
// answers (IDYES, IDNO...); when they run out, IDOK is pressed, or IDNO where there is no OK.
struct SeenMessageBox { std::string caption, text; HWND owner; };
struct ScopedMessageBoxScript {
    explicit ScopedMessageBoxScript(std::vector<int> answers = {});
    ~ScopedMessageBoxScript();
    std::string Texts() const;  // each box as a "caption: text" line
    std::vector<SeenMessageBox> seen;
    std::vector<int> answers;
    HHOOK hook;
};

// While alive, SetupState.instance is a copy of the x86_64 setup.exe loaded (not run) from folder\setup.exe, so
// the runs take folder as the running program's; the file cannot be deleted meanwhile, and stays afterwards.
struct ScopedSetupModule {
    explicit ScopedSetupModule(const std::string &folder) : ScopedSetupModule(Wide(folder)) {}
    explicit ScopedSetupModule(const std::wstring &folder);  // also one named outside code page 932
    ~ScopedSetupModule();
    HMODULE module;
    HINSTANCE previous;
};

// Lays out a distribution folder in source (made with TEXTURE): each file but setup.exe (the
// ScopedSetupModule's) holds "file <name>", read-only as on a CD-ROM.
void WriteDistribution(const std::string &source);
// Renames folder to name (beside it; named outside code page 932, say). Returns its new name in UTF-16,
// and in shortName its short name in code page 932 (under Wine every long name has one), for narrow checks.
std::wstring RenameFolder(const std::string &folder, const std::wstring &name, std::string *shortName);

extern const char *const Extensions[4];  // the order of earlier[] below
extern const char CapabilitiesKey[];     // Vemla's in "Default apps", under HKEY_LOCAL_MACHINE
std::string SpecialFolder(int csidl);  // the prefix's shell folder (CSIDL_PROGRAMS...), expected to exist; or empty
void RemoveInstalledShortcuts();       // and the Start-menu group with its contents
std::string InstalledShortcutPath(int row);  // where row of ShortcutSet lies

// What is not as a complete installation into folder from source with options leaves it, "" when all
// is: the files the same and writable, the records (the entry in view) and the chosen shortcuts; each
// extension not chosen keeps earlier[i] (.jpg .png .bmp .dib). And after a complete uninstallation:
// nothing of ours, every extension given earlier[i] back.
std::string InstallationFaults(const std::string &folder, const std::string &source, const InstallOptions &options,
                               const std::vector<std::string> &earlier, REGSAM view = 0);
std::string UninstallationFaults(const std::string &folder, const std::vector<std::string> &earlier, REGSAM view = 0);

#endif
