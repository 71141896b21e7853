#include "system/folder_path.h"

// Not built yet.
void NormalizeSeparators(char *)
{
}

int CreateFolderPath(const char *)
{
    return 0;
}
