// Starting a program or document for the user from the elevated setup program.
#ifndef VEMLA_USER_SHELL_H
#define VEMLA_USER_SHELL_H

// Opens name (a file of folder, or with folder null a URL such as "ms-settings:...") with the
// program the system associates with it, in folder. When
// this program runs elevated, the desktop shell starts it with the signed-in user's rights, so
// that neither the application nor a handler of the user's own classes inherits administrator
// rights; where that route is missing nothing is started. A program that is not elevated (no
// elevation before Vista) starts it directly. Needs COM initialised. Returns 1 when started.
int OpenAsUser(const char *folder, const char *name);

// 1 when OpenAsUser could open a URL of scheme (such as "ms-settings") now: scheme is a registered
// URL protocol (Windows 7 has no "ms-settings") and, when this program runs elevated, the desktop
// shell's route is there. Needs COM initialised.
int CanOpenAsUser(const char *scheme);

#endif
