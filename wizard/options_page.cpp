#include <windows.h>
#include <commctrl.h>

#include "core/install.h"
#include "core/running_program.h"
#include "base/setup_state.h"
#include "resources/resource.h"
#include "wizard/pages.h"
#include "wizard/wizard_sheet.h"

// Check box to option, in the order they are read.
static const struct {
    int control;
    int InstallOptions::*option;
} OptionBoxes[] = {
    {IDC_ASSOC_BMP, &InstallOptions::associateBitmap},
    {IDC_ASSOC_PNG, &InstallOptions::associatePng},
    {IDC_ASSOC_JPG, &InstallOptions::associateJpeg},
    {IDC_DESKTOP, &InstallOptions::desktopShortcut},
    {IDC_STARTMENU, &InstallOptions::startMenuGroup},
    {IDC_SENDTO, &InstallOptions::sendToShortcut},
};

INT_PTR CALLBACK OptionsPage(HWND page, UINT message, WPARAM, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG:
        return 1;
    case WM_NOTIFY:
        switch (((NMHDR *)lparam)->code) {
        case PSN_SETACTIVE:
            SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
            return 0;
        case PSN_KILLACTIVE:
            ReplyToSheet(page, 0);
            return 1;
        case PSN_WIZBACK:
            ReplyToSheet(page, 0);
            return 0;
        case PSN_WIZNEXT:
            for (const auto &box : OptionBoxes)
                SetupState.options.*box.option = IsDlgButtonChecked(page, box.control) == BST_CHECKED;
            // A reinstallation over a running Vemla would copy all but its files; cancelled, the
            // user stays here with nothing changed.
            if (!WaitUntilNotRunning(page, SetupState.installFolder, "インストール")) {
                ReplyToSheet(page, -1);
                return 1;
            }
            // Synchronous: the sheet takes no input until the installation is done.
            RunInstallation(page);
            ReplyToSheet(page, 0);
            return 0;
        }
        return 0;
    }
    return 0;
}
