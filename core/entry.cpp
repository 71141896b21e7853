#include "core/entry.h"

#include <commctrl.h>
#include <objbase.h>

#include "core/bounded_text.h"
#include "core/setup_state.h"
#include "core/uninstall.h"
#include "wizard/wizard_sheet.h"

int RunSetup(HINSTANCE instance, const char *argument)
{
    SetupState.instance = instance;
    InitCommonControls();
    CoInitialize(NULL);  // a failure shows later, as shortcuts that cannot be written
    if (lstrcmpA(argument, "/u") != 0)
        RunWizard(GetDesktopWindow());
    else
        RunUninstallation();
    CoUninitialize();
    return 0;
}

const char *GetCommandArgument(const char *commandLine)
{
    const unsigned char *p = (const unsigned char *)commandLine;
    if (!p)
        return "";
    if (*p == '"') {
        ++p;
        while (*p && *p != '"')
            ++p;
        if (*p == '"')
            ++p;
    } else {
        while (*p > ' ')
            ++p;
    }
    while (*p && *p <= ' ')
        ++p;
    return (const char *)p;
}

int SplitModulePath(const char *path, char *drive, char *directory)
{
    const int directorySize = 256;
    const char *rest = path;

    drive[0] = '\0';
    directory[0] = '\0';
    if (path[0] && path[1] == ':') {
        drive[0] = path[0];
        drive[1] = ':';
        drive[2] = '\0';
        rest = path + 2;
    }

    int end = 0;  // just after the last separator
    for (int i = 0; rest[i]; ++i) {
        if (IsDBCSLeadByte((BYTE)rest[i])) {
            if (!rest[i + 1])
                break;
            ++i;
        } else if (rest[i] == '\\' || rest[i] == '/') {
            end = i + 1;
        }
    }
    if (end >= directorySize) {
        drive[0] = '\0';
        return 0;
    }
    CopyMemory(directory, rest, end);
    directory[end] = '\0';
    return 1;
}

int GetSetupFolder(char *folder)
{
    char name[MAX_PATH];
    char drive[3];
    char directory[256];

    folder[0] = '\0';
    DWORD length = GetModuleFileNameA(SetupState.instance, name, sizeof name);
    // A name that filled the buffer was cut by the system: refuse it rather than use another folder.
    if (length == 0 || length >= sizeof name)
        return 0;
    if (!SplitModulePath(name, drive, directory))
        return 0;
    return CopyText(folder, MAX_PATH, drive) && AppendText(folder, MAX_PATH, directory);
}

void RestrictDllSearch(void)
{
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesProc)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    SetDefaultDllDirectoriesProc setDefault =
        (SetDefaultDllDirectoriesProc)(void *)GetProcAddress(kernel, "SetDefaultDllDirectories");
    // 0x800 is LOAD_LIBRARY_SEARCH_SYSTEM32; older systems lack the call and get the
    // application-folder-less search order instead.
    if (!setDefault || !setDefault(0x00000800))
        SetDllDirectoryA("");
}
