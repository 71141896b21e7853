// Program entry: mode selection and the DLL search order.
#ifndef VEMLA_ENTRY_H
#define VEMLA_ENTRY_H

#include <windows.h>

// Records the instance, runs install mode (any argument but exactly "/u"; the wizard only from a
// usable distribution, CheckDistribution) or uninstall mode; under any code page but 932 it only
// says so. Always returns 0, the process exit code.
int RunSetup(HINSTANCE instance, const char *argument);

// The argument part of a command line: the program name is skipped (up to and including its
// closing quote when it starts with one, else up to the first byte <= 0x20), then every byte
// from 0x01 to 0x20. Never returns null.
const char *GetCommandArgument(const char *commandLine);

// Limits the DLL search to the system folder where the system can (SetDefaultDllDirectories);
// elsewhere it only takes the current folder out of the search.
void RestrictDllSearch(void);

#endif
