// What an installation consists of: the files copied, the files removed, the shortcuts.
#ifndef VEMLA_LAYOUT_H
#define VEMLA_LAYOUT_H

#include "base/setup_state.h"

// A file copied by the installation, with the progress position set after it.
struct LayoutFile {
    const char *name;
    int position;
};

// A shortcut of an installation. group is the subfolder of the shell folder that holds it
// ("Vemla" for the Start-menu group), or null when it lies in the shell folder itself.
struct LayoutShortcut {
    int InstallOptions::*option;
    int csidl;
    const char *group;
    const char *file;    // the .lnk file's name
    const char *target;  // a file of the install folder
};

enum {
    ProgramFileCount = 6,
    TextureFileCount = 12,
    RemovalCount = 11,
    ShortcutCount = 4
};

extern const char ProductName[];        // "Vemla": ProgID, group folder, uninstall key
extern const char TextureFolderName[];  // "TEXTURE", in the source and the install folder
extern const char ReadmeName[];         // "vemla.txt", opened from the source folder
extern const char ApplicationName[];    // "vemla.exe"

extern const LayoutFile ProgramFiles[ProgramFileCount];
extern const LayoutFile TextureFiles[TextureFileCount];
extern const char *const RemovalList[RemovalCount];
extern const LayoutShortcut ShortcutSet[ShortcutCount];

// The row after the ShortcutSet rows from first that share its option, and so its folder: the
// rows of one shortcut step of the runs.
int NextShortcutStep(int first);

// Fills extensions (4 entries) with those that options associates with Vemla (.bmp and .dib for
// the bitmap box, .jpg, .png) and returns how many.
int ChosenExtensions(const InstallOptions &options, const char **extensions);

// Progress positions after the steps that follow the copies; each is set whether or not
// its step had anything to do.
enum {
    AssociationsPosition = 70,
    DesktopPosition = 80,
    SendToPosition = 90,
    StartMenuPosition = 100
};

#endif
