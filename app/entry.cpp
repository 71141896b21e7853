#include "app/entry.h"

#include <commctrl.h>
#include <objbase.h>

#include "base/setup_state.h"
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
