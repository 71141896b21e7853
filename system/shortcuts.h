// The user's special shell folders and shortcut (.lnk) files.
#ifndef VEMLA_SHORTCUTS_H
#define VEMLA_SHORTCUTS_H

// Fills path (MAX_PATH bytes) with the folder of csidl, owned by SetupState.sheetWindow.
// Returns 1, or 0 with path empty when the shell cannot resolve the folder: callers must then
// compose nothing from it.
int GetSpecialFolderPath(char *path, int csidl);

// Writes the shortcut file shortcutPath to target, with the description "Zandorel", the working
// folder and the target as its icon (index 0); an existing file is replaced. Returns 1 when saved.
int CreateShortcut(const char *target, const char *shortcutPath, const char *workingFolder);

#endif
