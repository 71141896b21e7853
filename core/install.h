// The installation run: copies, records, shortcuts, with the options page's progress bar.
#ifndef VEMLA_INSTALL_H
#define VEMLA_INSTALL_H

#include <windows.h>

// Installs from the running program's folder into SetupState.installFolder with
// SetupState.options; reports what failed in one warning box owned by page. SetupState.sheetWindow
// takes no input meanwhile, and is enabled again before the box.
void RunInstallation(HWND page);

// Sets the progress bar (control 1010) of page, then dispatches the messages queued meanwhile.
void SetProgress(HWND page, int position);

// Copy one file from the current directory into the install folder (a texture into its
// "TEXTURE" subfolder), then set position. Return 1 when copied.
int CopyProgramFile(HWND page, const char *name, int position);
int CopyTextureFile(HWND page, const char *name, int position);

#endif
