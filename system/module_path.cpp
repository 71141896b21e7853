#include "system/module_path.h"

#include <windows.h>

#include "base/bounded_text.h"
#include "base/setup_state.h"
#include "system/narrow_path.h"

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

int GetSetupPath(char *path)
{
    WCHAR wide[MAX_PATH];
    DWORD length = GetModuleFileNameW(SetupState.instance, wide, MAX_PATH);
    // A name that filled the buffer was cut by the system: refuse it rather than use another folder.
    if (length == 0 || length >= MAX_PATH) {
        path[0] = '\0';
        return 0;
    }
    return NarrowPath(wide, path);
}

int GetSetupFolder(char *folder)
{
    char name[MAX_PATH];
    char drive[3];
    char directory[256];

    folder[0] = '\0';
    if (!GetSetupPath(name) || !SplitModulePath(name, drive, directory))
        return 0;
    return CopyText(folder, MAX_PATH, drive) && AppendText(folder, MAX_PATH, directory);
}
