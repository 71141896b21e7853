// The uninstall entry of Vemla, which the list of installed programs shows and runs, and the
// folder of the installation it records.
#ifndef VEMLA_UNINSTALL_ENTRY_H
#define VEMLA_UNINSTALL_ENTRY_H

#include <windows.h>

extern const char UninstallKey[];   // "SOFTWARE\...\Uninstall\Vemla" under HKEY_LOCAL_MACHINE
extern const WCHAR UninstallKeyW[];

// Writes the uninstall entry for SetupState.installFolder: the quoted "setup.exe" /u command and the
// name, which make it usable, then the folder, the icon, no modify or repair, the size of the
// installed files, today's date, and the version and maker of the installed application (deleted
// when it has no version resource). Returns 1 when it is usable, with the names of the other values
// that could not be written in missed (size bytes, ", " between them; empty when all were). Returns 0
// when a command would not fit (then nothing is written), the key cannot be created, or the command or
// the name cannot be set.
int RegisterUninstallEntry(char *missed, int size);

// 1 when the commands that the records of an installation into folder hold (the open command and the
// uninstall command) fit their buffers.
int RecordedCommandsFit(const char *folder);

// Fills folder (MAX_PATH bytes) with the folder, ending with a separator, of the program that the
// uninstall entry runs: the text in quotes, or for an unquoted entry of an earlier setup the text
// before a trailing " /u". Returns 1, or 0 with folder empty when there is none.
int GetRecordedFolder(char *folder);

#endif
