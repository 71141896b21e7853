#include "wizard/wizard_sheet.h"

// Not built yet: install mode does nothing.
INT_PTR RunWizard(HWND)
{
    return 0;
}
