// The uninstallation run of "setup.exe /u".
#ifndef VEMLA_UNINSTALL_H
#define VEMLA_UNINSTALL_H

// Asks, checks that the running program is the recorded installation, removes it and reports.
void RunUninstallation(void);

// Deletes a folder with its contents through the shell, without confirmation or error dialogs.
// Returns 1 when the folder is gone afterwards.
int DeleteFolderTree(const char *path);

#endif
