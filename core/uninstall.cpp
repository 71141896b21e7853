#include "core/uninstall.h"

// Not built yet: uninstall mode does nothing.
void RunUninstallation(void)
{
}

int DeleteFolderTree(const char *)
{
    return 0;
}
