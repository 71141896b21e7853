// The three-page wizard of install mode.
#ifndef VEMLA_WIZARD_SHEET_H
#define VEMLA_WIZARD_SHEET_H

#include <windows.h>

// Runs the wizard modally; returns PropertySheetA's result, or -1 without showing anything when
// the common-controls library cannot be loaded from the system folder.
INT_PTR RunWizard(HWND parentWindow);

// Moves window, keeping its size, so that its centre lies on reference's centre.
void CenterWindow(HWND reference, HWND window);

// Posts PSM_SETWIZBUTTONS with flags to SetupState.sheetWindow.
void SetWizardButtons(DWORD flags);

#endif
