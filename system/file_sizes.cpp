#include "system/file_sizes.h"

#include <windows.h>

#include "base/bounded_text.h"
#include "base/layout.h"

// The bytes of folder\subfolder\name rounded up to unit; 0 when it is not there.
static unsigned long long MeasureFile(const char *folder, const char *subfolder, const char *name,
                                      unsigned long unit)
{
    char path[MAX_PATH];
    char inner[MAX_PATH];
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!folder || !JoinPath(inner, sizeof inner, folder, subfolder) ||
        !JoinPath(path, sizeof path, inner, name) ||
        !GetFileAttributesExA(path, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    unsigned long long bytes = ((unsigned long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
    return (bytes + unit - 1) & ~(unsigned long long)(unit - 1);
}

unsigned long long MeasureLayoutFiles(const char *from, const char *over, unsigned long unit)
{
    unsigned long long total = 0;
    for (int i = 0; i < ProgramFileCount + TextureFileCount; ++i) {
        const char *subfolder = i < ProgramFileCount ? "" : TextureFolderName;
        const char *name = i < ProgramFileCount ? ProgramFiles[i].name
                                                : TextureFiles[i - ProgramFileCount].name;
        unsigned long long taken = MeasureFile(from, subfolder, name, unit);
        unsigned long long freed = MeasureFile(over, subfolder, name, unit);
        if (taken > freed)
            total += taken - freed;
    }
    return total;
}
