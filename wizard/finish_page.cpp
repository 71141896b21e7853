#include <windows.h>
#include <commctrl.h>

#include "base/layout.h"
#include "base/setup_state.h"
#include "resources/resource.h"
#include "system/file_types.h"
#include "system/user_shell.h"
#include "wizard/pages.h"
#include "wizard/wizard_sheet.h"


// Where the user's own choice outranks an association just written (Windows 8 and later), a
// double-clicked photo still opens in another program: the user is shown where to choose Vemla.
// The box promises that page, so neither comes where it cannot open (Windows 7, another shell).
static void SuggestDefaultApps(HWND page)
{
    const char *chosen[4];
    int outranked = 0;
    for (int i = ChosenExtensions(SetupState.options, chosen) - 1; i >= 0; --i)
        outranked |= IsAssociationOutranked(chosen[i]);
    if (!outranked || !CanOpenAsUser("ms-settings"))
        return;
    MessageBoxA(page,
                "画像ファイルをVemlaで開くには、このあと表示される「既定のアプリ」の画面でVemlaを"
                "選んでください。",
                "インストール", MB_OK | MB_ICONINFORMATION);
    OpenAsUser(NULL, "ms-settings:defaultapps?registeredAppMachine=Vemla");
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
            // With the user's rights; whether they open is not reported: the wizard closes all the
            // same. The readme is not installed; the application is started where the shortcuts
            // start it, not beside setup.exe, where a download's copy keeps the Mark of the Web and
            // a disc's keeps the disc busy.
            if (IsDlgButtonChecked(page, IDC_README) == BST_CHECKED)
                OpenAsUser(SetupState.sourceFolder, ReadmeName);
            if (IsDlgButtonChecked(page, IDC_RUN) == BST_CHECKED)
                OpenAsUser(SetupState.installFolder, ApplicationName);
            SuggestDefaultApps(page);
            ReplyToSheet(page, 1);
            return 0;
        }
        return 0;
    }
    return 0;
}
