#include "system/file_identity.h"

#include <windows.h>

static int ReadFileIdentity(const char *name, BY_HANDLE_FILE_INFORMATION *information)
{
    // Attributes only, shared every way: a running program's file opens too.
    HANDLE file = CreateFileA(name, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                              0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    int read = GetFileInformationByHandle(file, information);
    CloseHandle(file);
    return read;
}

int IsSameFile(const char *first, const char *second)
{
    BY_HANDLE_FILE_INFORMATION a;
    BY_HANDLE_FILE_INFORMATION b;
    return ReadFileIdentity(first, &a) && ReadFileIdentity(second, &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}
