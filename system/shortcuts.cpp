#include "system/shortcuts.h"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include "base/setup_state.h"
#include "system/narrow_path.h"

// "X:\..." or "\\server\...": a path that names its drive or share. A shortcut path composed
// from a folder the shell could not resolve ("\vemla.lnk") is neither.
static int IsAbsolutePath(const char *path)
{
    if (path[0] == '\\' || path[0] == '/')
        return path[1] == '\\' || path[1] == '/';
    int letter = (path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z');
    return letter && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

// What the shell answers for a folder that this profile does not have (a Send To folder deleted,
// say): Windows E_FAIL, as for SHGetFolderPathW, or the file error itself.
static int IsNoSuchFolder(HRESULT result)
{
    return result == E_FAIL || result == E_INVALIDARG || result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
           result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

int GetSpecialFolderPath(char *path, int csidl)
{
    WCHAR wide[MAX_PATH];
    path[0] = '\0';
    IMalloc *allocator = NULL;
    if (FAILED(SHGetMalloc(&allocator))) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    LPITEMIDLIST list = NULL;
    int found = 0;
    DWORD error = ERROR_NOT_ENOUGH_MEMORY;
    // A list the shell did not hand out is neither read nor freed.
    HRESULT located = SHGetSpecialFolderLocation(SetupState.sheetWindow, csidl, &list);
    if (SUCCEEDED(located) && list) {
        // Wine answers a virtual folder with its "::{GUID}" name instead of failing: no folder. A
        // profile named outside the code page (Müller) gives its folders in their short form.
        found = SHGetPathFromIDListW(list, wide);
        error = found ? ERROR_PATH_NOT_FOUND : GetLastError();
        found = found && NarrowPath(wide, path) && IsAbsolutePath(path);
        allocator->Free(list);
    } else if (IsNoSuchFolder(located)) {
        error = ERROR_PATH_NOT_FOUND;
    }
    allocator->Release();
    if (!found) {
        path[0] = '\0';
        SetLastError(error);
    }
    return found;
}

int CreateShortcut(const char *target, const char *shortcutPath, const char *workingFolder)
{
    WCHAR wide[MAX_PATH];
    if (!shortcutPath || !IsAbsolutePath(shortcutPath))
        return 0;
    // A path that does not convert (too long, not the ANSI code page) would save under a wrong name.
    if (!MultiByteToWideChar(CP_ACP, 0, shortcutPath, -1, wide, MAX_PATH))
        return 0;

    IShellLinkA *link = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                (void **)&link)))
        return 0;
    IPersistFile *file = NULL;
    if (FAILED(link->QueryInterface(IID_IPersistFile, (void **)&file))) {
        link->Release();
        return 0;
    }
    int saved = SUCCEEDED(link->SetPath(target)) && SUCCEEDED(link->SetDescription("Zandorel")) &&
                SUCCEEDED(link->SetWorkingDirectory(workingFolder)) &&
                SUCCEEDED(link->SetIconLocation(target, 0)) && SUCCEEDED(file->Save(wide, TRUE));
    file->Release();
    link->Release();
    return saved;
}
