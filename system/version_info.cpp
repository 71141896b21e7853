#include "system/version_info.h"

#include <windows.h>

#include "base/bounded_text.h"
#include "system/system_library.h"

// Appends "\StringFileInfo\<language><code page>\" as hexadecimal, for VerQueryValueA.
static int AppendStringBlock(char *path, int size, const WORD *translation)
{
    static const char hex[] = "0123456789abcdef";
    char digits[9];
    DWORD both = ((DWORD)translation[0] << 16) | translation[1];
    for (int i = 0; i < 8; ++i)
        digits[i] = hex[(both >> (28 - 4 * i)) & 0xF];
    digits[8] = '\0';
    return CopyText(path, size, "\\StringFileInfo\\") && AppendText(path, size, digits) &&
           AppendText(path, size, "\\");
}

// version.dll is no known DLL: it is loaded from the system folder only.
int ReadVersionString(const char *file, const char *name, char *text, int size)
{
    typedef DWORD(WINAPI * SizeProc)(LPCSTR, LPDWORD);
    typedef BOOL(WINAPI * InfoProc)(LPCSTR, DWORD, DWORD, LPVOID);
    typedef BOOL(WINAPI * QueryProc)(LPCVOID, LPCSTR, LPVOID *, PUINT);
    HMODULE library;
    WORD *translation;
    char *found;
    char path[64];
    UINT length;
    int read = 0;
    text[0] = '\0';
    if (!LoadSystemLibrary("version.dll", &library))
        return 0;
    SizeProc getSize = (SizeProc)(void *)GetProcAddress(library, "GetFileVersionInfoSizeA");
    InfoProc getInfo = (InfoProc)(void *)GetProcAddress(library, "GetFileVersionInfoA");
    QueryProc query = (QueryProc)(void *)GetProcAddress(library, "VerQueryValueA");
    DWORD handle = 0;
    DWORD bytes = getSize && getInfo && query ? getSize(file, &handle) : 0;
    void *info = bytes ? LocalAlloc(LMEM_FIXED, bytes) : NULL;
    if (info && getInfo(file, 0, bytes, info) &&
        query(info, "\\VarFileInfo\\Translation", (void **)&translation, &length) && length >= 4 &&
        AppendStringBlock(path, sizeof path, translation) && AppendText(path, sizeof path, name) &&
        query(info, path, (void **)&found, &length) && length > 1)
        read = CopyText(text, size, found);
    LocalFree(info);
    FreeLibrary(library);
    return read;
}
