// The user's special shell folders and shortcut (.lnk) files.
#ifndef VEMLA_SHORTCUTS_H
#define VEMLA_SHORTCUTS_H

// Fills path (MAX_PATH bytes) with the folder of csidl, owned by SetupState.sheetWindow, as
// NarrowPath gives it. Returns 1, or 0 with path empty when the shell cannot resolve the folder,
// it has no file-system path or none in the ANSI code page: callers must then compose nothing. On
// 0 the thread's last error is ERROR_PATH_NOT_FOUND when the profile has no such folder (or none
// with a path), another error when the shell failed.
int GetSpecialFolderPath(char *path, int csidl);

// Writes the shortcut file shortcutPath to target, with the description "Zandorel", the working
// folder and the target as its icon (index 0); an existing file is replaced. Returns 1 when
// saved; 0 with nothing written when shortcutPath is empty or not absolute (no drive or share,
// as one composed from an empty folder), does not convert from the ANSI code page, or the
// shell-link object refuses a part. Needs COM initialised on the calling thread.
int CreateShortcut(const char *target, const char *shortcutPath, const char *workingFolder);

#endif
