// The wizard's three pages. Each dialog procedure answers the sheet's notifications the same
// way: PSN_SETACTIVE sets the buttons, PSN_KILLACTIVE allows leaving, and a reply stored with
// DWLP_MSGRESULT counts only when the procedure returns nonzero.
#ifndef VEMLA_PAGES_H
#define VEMLA_PAGES_H

#include <windows.h>

// Proposes the folder, browses for one, and on Next makes SetupState.installFolder an existing
// absolute folder with its "TEXTURE" subfolder, or keeps the user on the page.
INT_PTR CALLBACK DestinationPage(HWND page, UINT message, WPARAM wparam, LPARAM lparam);

// On Next stores the six check boxes in SetupState.options and runs the installation.
INT_PTR CALLBACK OptionsPage(HWND page, UINT message, WPARAM wparam, LPARAM lparam);

// On Finish opens the readme beside setup.exe and starts the installed application, as ticked.
INT_PTR CALLBACK FinishPage(HWND page, UINT message, WPARAM wparam, LPARAM lparam);

// Stores a page's reply to the sheet's notification (DWLP_MSGRESULT).
void ReplyToSheet(HWND page, LONG_PTR value);

// Shows the folder picker with folder (MAX_PATH bytes) preselected. Returns 1 with the chosen
// path in folder, or 0 with folder unchanged when the user cancels or no path can be had.
int BrowseForFolder(HWND owner, char *folder);

#endif
