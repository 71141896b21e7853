// A running Vemla, whose files Windows keeps open: a copy onto them or their deletion would fail
// halfway through a run.
#ifndef VEMLA_RUNNING_PROGRAM_H
#define VEMLA_RUNNING_PROGRAM_H

#include <windows.h>

// 1 when folder\name is the file of this running setup program.
int IsRunningProgram(const char *folder, const char *name);

// Asks, in a box owned by owner with caption, to end Vemla and retry while a program file of the
// layout in folder (the running setup.exe aside) is in use. Returns 1 when none is, 0 when the user
// cancelled or the box could not be shown: then nothing may be changed.
int WaitUntilNotRunning(HWND owner, const char *folder, const char *caption);

#endif
