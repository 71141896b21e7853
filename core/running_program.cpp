#include "core/running_program.h"

#include "base/bounded_text.h"
#include "base/layout.h"
#include "system/module_path.h"

int IsRunningProgram(const char *folder, const char *name)
{
    char running[MAX_PATH];
    char listed[MAX_PATH];
    return GetSetupPath(running) && JoinPath(listed, sizeof listed, folder, name) &&
           lstrcmpiA(running, listed) == 0;
}

// Opening for writing with no sharing fails on a running program's file and on a file another
// program holds open; a missing or read-only file is no sign of either.
static int IsInUse(const char *folder, const char *name)
{
    char path[MAX_PATH];
    if (!JoinPath(path, sizeof path, folder, name) || IsRunningProgram(folder, name))
        return 0;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return 0;
    }
    DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

int WaitUntilNotRunning(HWND owner, const char *folder, const char *caption)
{
    for (int i = 0; i < ProgramFileCount;) {
        if (!IsInUse(folder, ProgramFiles[i].name)) {
            ++i;
            continue;
        }
        if (MessageBoxA(owner, "Vemlaが実行中です。Vemlaを終了してから「再試行」を押してください。",
                        caption, MB_RETRYCANCEL | MB_ICONEXCLAMATION) != IDRETRY)
            return 0;
        i = 0;
    }
    return 1;
}
