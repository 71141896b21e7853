#include "system/system_library.h"

#include "base/bounded_text.h"

int LoadSystemLibrary(const char *name, HMODULE *module)
{
    char folder[MAX_PATH];
    char path[MAX_PATH];

    *module = NULL;
    UINT length = GetSystemDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder || !JoinPath(path, sizeof path, folder, name))
        return 0;
    // With a full path, the altered search order looks for the DLL's own imports in its folder
    // first, not in the program's.
    *module = LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    return *module != NULL;
}
