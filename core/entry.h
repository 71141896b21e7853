// Program entry: mode selection and the program's own location.
#ifndef VEMLA_ENTRY_H
#define VEMLA_ENTRY_H

#include <windows.h>

// Records the instance, runs install mode (any argument but exactly "/u") or uninstall mode.
// Always returns 0, the process exit code.
int RunSetup(HINSTANCE instance, const char *argument);

// The argument part of a command line: the program name is skipped (up to and including its
// closing quote when it starts with one, else up to the first byte <= 0x20), then every byte
// from 0x01 to 0x20. Never returns null.
const char *GetCommandArgument(const char *commandLine);

// Fills folder (MAX_PATH bytes) with the running program's drive and directory, ending with a
// separator. Returns 1, or 0 with folder empty when the module's name cannot be had.
int GetSetupFolder(char *folder);

// Splits a full file name into drive (3 bytes: "X:" or empty) and directory (256 bytes: up to and
// including the last separator, at most 255 bytes, empty when there is none). Double-byte
// characters of the ANSI code page are kept whole, so a trail byte 0x5C is no separator. A
// directory longer than 255 bytes is refused (returns 0, both outputs empty), never cut.
int SplitModulePath(const char *path, char *drive, char *directory);

// Limits DLL loading to the system folder, so a DLL planted beside setup.exe is never loaded.
void RestrictDllSearch(void);

#endif
