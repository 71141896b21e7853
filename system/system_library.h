// DLLs that are not known DLLs, loaded from the system folder only.
#ifndef VEMLA_SYSTEM_LIBRARY_H
#define VEMLA_SYSTEM_LIBRARY_H

#include <windows.h>

// Loads the DLL name (a file name such as "comctl32.dll"): the activation context's copy, else the
// system folder's, never one from the program's folder or the current one; the DLLs it imports come
// from the system folder first. Where the system knows no search flags, the system folder's copy by its
// full path. Returns 1 with module set, or 0 with module null when the path does not fit or the DLL
// cannot be loaded. The caller frees the module.
int LoadSystemLibrary(const char *name, HMODULE *module);

#endif
