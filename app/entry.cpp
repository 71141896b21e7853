#include "app/entry.h"

#include <objbase.h>

#include "base/setup_state.h"
#include "core/distribution.h"
#include "core/uninstall.h"
#include "wizard/wizard_sheet.h"

int RunSetup(HINSTANCE instance, const char *argument)
{
    // Every text, path and file name here is code page 932. The manifest asks for it whatever the system's
    // (Windows 11); elsewhere, on a system whose code page for non-Unicode programs is another one or UTF-8,
    // the pages would be garbled and Japanese names miss their files: the user is told why in UTF-16, right
    // on any code page, before anything is changed.
    if (GetACP() != 932) {
        MessageBoxW(GetDesktopWindow(),
                    L"Vemlaのセットアップは、「Unicode 対応ではないプログラムの言語」が日本語で、"
                    L"「ベータ: ワールドワイド言語サポートで Unicode UTF-8 を使用」がオフの Windows で実行してください。",
                    L"セットアップ", MB_OK | MB_ICONERROR);
        return 0;
    }
    SetupState.instance = instance;
    // One setup at a time, in either mode and for every user: two would copy, write and delete
    // the same files and keys. One of another user's that this one may not open counts as running
    // too.
    HANDLE running = CreateMutexA(NULL, FALSE, "Global\\VemlaSetup");
    DWORD error = GetLastError();
    if ((running && error == ERROR_ALREADY_EXISTS) || (!running && error == ERROR_ACCESS_DENIED)) {
        MessageBoxA(GetDesktopWindow(), "Vemlaのセットアップは既に実行中です。", "セットアップ",
                    MB_OK | MB_ICONINFORMATION);
        CloseHandle(running);
        return 0;
    }
    CoInitialize(NULL);  // a failure shows later, as shortcuts that cannot be written
    if (lstrcmpA(argument, "/u") == 0)
        RunUninstallation();
    else if (CheckDistribution())
        RunWizard(GetDesktopWindow());
    CoUninitialize();
    CloseHandle(running);
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
    // 0x800 is LOAD_LIBRARY_SEARCH_SYSTEM32. Systems without the call get SetDllDirectoryA(""),
    // which takes only the current folder out of the search, not the program's: so setup.exe
    // imports known DLLs only, which always come from the system folder, and loads any other DLL
    // from there alone (LoadSystemLibrary).
    if (!setDefault || !setDefault(0x00000800))
        SetDllDirectoryA("");
}
