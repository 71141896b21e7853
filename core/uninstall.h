// The uninstallation run of "setup.exe /u".
#ifndef VEMLA_UNINSTALL_H
#define VEMLA_UNINSTALL_H

// Asks, checks that the running program is the recorded installation, removes it and reports.
void RunUninstallation(void);

#endif
