#include "wizard/wizard_sheet.h"

#include <commctrl.h>

#include "base/setup_state.h"
#include "resources/resource.h"
#include "system/system_library.h"
#include "wizard/pages.h"

static const char PageTitle[] = "Vemlaのインストール";
static const char SheetCaption[] = "インストール";

static const struct {
    int dialog;
    DLGPROC procedure;
} PageTable[] = {
    {IDD_DESTINATION, DestinationPage},
    {IDD_OPTIONS, OptionsPage},
    {IDD_FINISH, FinishPage},
};

enum { PageCount = sizeof PageTable / sizeof PageTable[0] };

typedef void(WINAPI *InitCommonControlsProc)(void);
typedef INT_PTR(WINAPI *PropertySheetProc)(LPCPROPSHEETHEADERA);

// The point size of the pages' font (resources/setup.rc).
enum { PagePointSize = 9 };

// Steps over a field of a dialog template that holds nothing (0), an ordinal (0xFFFF and a number)
// or a string.
static WORD *SkipTemplateField(WORD *field)
{
    if (*field == 0xFFFF)
        return field + 2;
    while (*field++)
        ;
    return field;
}

// The sheet sizes its page area in the dialog units of its own template's font, which is the
// system's: on a Windows in another display language it is smaller than the pages' and cuts
// their bottom off. Its point size is raised to theirs; the face name cannot be changed in place,
// as the controls' entries follow it.
static void FitFrameToPages(void *frame)
{
    WORD *words = (WORD *)frame;
    DWORD style;
    WORD *field;
    if (words[0] == 1 && words[1] == 0xFFFF) {
        // DLGTEMPLATEEX: version, signature, help id, extended style, style, count, x, y, cx, cy
        style = words[6] | (DWORD)words[7] << 16;
        field = words + 13;
    } else {
        style = ((DLGTEMPLATE *)frame)->style;
        field = words + sizeof(DLGTEMPLATE) / sizeof(WORD);
    }
    for (int i = 0; i < 3; ++i)  // menu, class, title
        field = SkipTemplateField(field);
    if ((style & DS_SETFONT) && *field < PagePointSize)
        *field = PagePointSize;
}

// The sheet calls this with its template, writable, before it creates itself, and once it is
// made, before it creates the first page, whose initialisation needs the window.
static int CALLBACK SheetCallback(HWND window, UINT message, LPARAM lparam)
{
    if (message == PSCB_PRECREATE && lparam)
        FitFrameToPages((void *)lparam);
    if (message == PSCB_INITIALIZED)
        SetupState.sheetWindow = window;
    return 1;
}

INT_PTR RunWizard(HWND parentWindow)
{
    // Not a known DLL: imported, it would be looked for beside setup.exe (a download folder)
    // before the search order is restricted, so it is loaded now, version 6 from side-by-side
    // (the manifest names it) or else the system folder's.
    HMODULE controls;
    if (!LoadSystemLibrary("comctl32.dll", &controls))
        return -1;
    InitCommonControlsProc initialize =
        (InitCommonControlsProc)(void *)GetProcAddress(controls, "InitCommonControls");
    PropertySheetProc showSheet = (PropertySheetProc)(void *)GetProcAddress(controls, "PropertySheetA");

    // The sheet steps through the array by each entry's dwSize, so the entries are the
    // version-1 structure itself, not the larger current one.
    PROPSHEETPAGEA_V1 pages[PageCount] = {};
    for (int i = 0; i < PageCount; ++i) {
        pages[i].dwSize = PROPSHEETPAGEA_V1_SIZE;
        pages[i].dwFlags = PSP_USETITLE;
        pages[i].hInstance = SetupState.instance;
        pages[i].pszTemplate = MAKEINTRESOURCEA(PageTable[i].dialog);
        pages[i].pszTitle = PageTitle;
        pages[i].pfnDlgProc = PageTable[i].procedure;
        pages[i].lParam = 0;
    }

    PROPSHEETHEADERA header = {};
    header.dwSize = PROPSHEETHEADERA_V1_SIZE;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_WIZARD | PSH_USECALLBACK;
    header.hwndParent = parentWindow;
    header.hInstance = SetupState.instance;
    header.pszCaption = SheetCaption;
    header.nPages = PageCount;
    header.nStartPage = 0;
    header.ppsp = (LPCPROPSHEETPAGEA)pages;
    header.pfnCallback = SheetCallback;

    INT_PTR result = -1;
    if (initialize && showSheet) {
        initialize();  // the progress bar's class
        result = showSheet(&header);
    }
    SetupState.sheetWindow = NULL;  // destroyed with the sheet
    FreeLibrary(controls);
    return result;
}

void CenterWindow(HWND reference, HWND window)
{
    RECT outer;
    RECT inner;
    if (!GetWindowRect(reference, &outer) || !GetWindowRect(window, &inner))
        return;
    int width = inner.right - inner.left;
    int height = inner.bottom - inner.top;
    int x = outer.right - (outer.right - outer.left) / 2 - width / 2;
    int y = outer.bottom - (outer.bottom - outer.top) / 2 - height / 2;
    MoveWindow(window, x, y, width, height, TRUE);
}

void ReplyToSheet(HWND page, LONG_PTR value)
{
    SetWindowLongPtrA(page, DWLP_MSGRESULT, value);
}

void SetWizardButtons(DWORD flags)
{
    // Posted, not sent: the buttons change once the sheet has finished switching pages.
    PostMessageA(SetupState.sheetWindow, PSM_SETWIZBUTTONS, 0, flags);
}
