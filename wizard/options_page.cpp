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

static int installing;  // 1 from Next until the installation is done

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
        // While the installation runs, its messages are dispatched: the sheet neither leaves the page
        // nor closes then (Cancel, the close box and Alt+F4 all ask here), nor starts a second run.
        case PSN_KILLACTIVE:
        case PSN_QUERYCANCEL:
            ReplyToSheet(page, installing);
            return 1;
        case PSN_WIZBACK:
            ReplyToSheet(page, installing ? -1 : 0);
            return 1;
        case PSN_WIZNEXT:
            if (installing) {
                ReplyToSheet(page, -1);
                return 1;
            }
            for (const auto &box : OptionBoxes)
                SetupState.options.*box.option = IsDlgButtonChecked(page, box.control) == BST_CHECKED;
            // A reinstallation over a running Vemla would copy all but its files; cancelled, the
            // user stays here with nothing changed.
            if (!WaitUntilNotRunning(page, SetupState.installFolder, "インストール")) {
                ReplyToSheet(page, -1);
                return 1;
            }
            // The sheet takes no input until the installation is done.
            installing = 1;
            RunInstallation(page);
            installing = 0;
            ReplyToSheet(page, 0);
            return 0;
        }
        return 0;
    }
    return 0;
}
