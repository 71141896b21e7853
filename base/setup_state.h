// The one process-wide record shared by the wizard pages, the runs and the record writers.
#ifndef VEMLA_SETUP_STATE_H
#define VEMLA_SETUP_STATE_H

#include <windows.h>

// The six choices of the options page, each 0 or 1.
struct InstallOptions {
    int associateJpeg;
    int associateBitmap;
    int associatePng;
    int desktopShortcut;
    int startMenuGroup;
    int sendToShortcut;
};

struct SetupStateRecord {
    HINSTANCE instance;            // the running setup program's module
    HWND sheetWindow;              // the wizard's sheet; null in uninstall mode
    char installFolder[MAX_PATH];  // destination folder, ANSI code page
    char sourceFolder[MAX_PATH];   // folder of the running program, ends with a separator
    InstallOptions options;
};

extern SetupStateRecord SetupState;

#endif
