#include <windows.h>
#include <commctrl.h>

#include "base/layout.h"
#include "base/setup_state.h"
#include "resources/resource.h"
#include "system/user_shell.h"
#include "wizard/pages.h"
#include "wizard/wizard_sheet.h"

// Opens name from the distribution folder, with the user's rights. Whether it opens is not
// reported: the wizard closes all the same.
static void OpenFromSourceFolder(const char *name)
{
    OpenAsUser(SetupState.sourceFolder, name);
}

INT_PTR CALLBACK FinishPage(HWND page, UINT message, WPARAM, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG:
        return 1;
    case WM_NOTIFY:
        switch (((NMHDR *)lparam)->code) {
        case PSN_SETACTIVE:
            SetWizardButtons(PSWIZB_FINISH);
            return 0;
        case PSN_KILLACTIVE:
            ReplyToSheet(page, 0);
            return 1;
        case PSN_WIZBACK:
        case PSN_WIZNEXT:
            ReplyToSheet(page, 0);
            return 0;
        case PSN_WIZFINISH:
            if (IsDlgButtonChecked(page, IDC_README) == BST_CHECKED)
                OpenFromSourceFolder(ReadmeName);
            if (IsDlgButtonChecked(page, IDC_RUN) == BST_CHECKED)
                OpenFromSourceFolder(ApplicationName);
            ReplyToSheet(page, 1);
            return 0;
        }
        return 0;
    }
    return 0;
}
