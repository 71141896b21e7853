#include "core/install.h"

// Not built yet.
void RunInstallation(HWND)
{
}

void SetProgress(HWND, int)
{
}

int CopyProgramFile(HWND, const char *, int)
{
    return 0;
}

int CopyTextureFile(HWND, const char *, int)
{
    return 0;
}
