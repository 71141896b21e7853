#include "system/shortcuts.h"

// Not built yet.
int GetSpecialFolderPath(char *path, int)
{
    path[0] = '\0';
    return 0;
}

int CreateShortcut(const char *, const char *, const char *)
{
    return 0;
}
