// DLLs that are not known DLLs, loaded from the system folder only.
#ifndef VEMLA_SYSTEM_LIBRARY_H
#define VEMLA_SYSTEM_LIBRARY_H

#include <windows.h>

// Loads the DLL name (a file name such as "comctl32.dll") by its full path in the system folder,
// never from the program's folder or the current one; the DLLs it imports are looked for in the
// system folder first. Returns 1 with module set, or 0 with module null when the path does not fit
// or the DLL cannot be loaded. The caller frees the module.
int LoadSystemLibrary(const char *name, HMODULE *module);

#endif
