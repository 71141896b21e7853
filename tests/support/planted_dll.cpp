// Built as planted_comctl32.dll; the tests lay it beside a copy of setup.exe as COMCTL32.DLL, as a
// download folder might hold one. Loading it leaves planted.txt beside it. It exports what setup.exe
// once imported from the common-controls library, so that such a program would start with it.
#define WIN32_LEAN_AND_MEAN  // no declarations of the common-controls routines defined here
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(instance, path, sizeof path - sizeof "planted.txt");
    char *name = path + length;
    while (name > path && name[-1] != '\\')
        --name;
    lstrcpyA(name, "planted.txt");
    HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (marker != INVALID_HANDLE_VALUE)
        CloseHandle(marker);
    return TRUE;
}

extern "C" __declspec(dllexport) void WINAPI InitCommonControls(void) {}

extern "C" __declspec(dllexport) INT_PTR WINAPI PropertySheetA(const void *)
{
    return -1;
}
