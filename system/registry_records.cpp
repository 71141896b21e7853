#include "system/registry_records.h"

// Not built yet.
const char ProgIdKey[] = "Vemla";
const char UninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vemla";
const char PreviousValueName[] = "VemlaPrevious";

int RegisterFileType(const char *)
{
    return 0;
}

int RegisterUninstallEntry(void)
{
    return 0;
}

void NotifyAssociationsChanged(void)
{
}
