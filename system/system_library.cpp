#include "system/system_library.h"

#include "base/bounded_text.h"

int LoadSystemLibrary(const char *name, HMODULE *module)
{
    // By name, the activation context's copy comes first (the manifest's common controls 6, from
    // side-by-side, before any folder is searched); the search is then the system folder alone.
    *module = LoadLibraryExA(name, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (*module || GetLastError() != ERROR_INVALID_PARAMETER)
        return *module != NULL;

    // Vista and 7 without the update that brought the search flags refuse them. A plain search there
    // would include the program's folder, so the full path is taken instead, which bypasses side-by-side
    // (common controls 5, the classic look).
    char folder[MAX_PATH];
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder || !JoinPath(path, sizeof path, folder, name))
        return 0;
    // With a full path, the altered search order looks for the DLL's own imports in its folder
    // first, not in the program's.
    *module = LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    return *module != NULL;
}
