#include "system/registry_records.h"

#include <windows.h>
#include <shlobj.h>

#include "base/bounded_text.h"
#include "base/layout.h"
#include "base/setup_state.h"

const char ProgIdKey[] = "Vemla";
const char UninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vemla";
const char PreviousValueName[] = "VemlaPrevious";
const WCHAR ProgIdKeyW[] = L"Vemla";
const WCHAR UninstallKeyW[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vemla";
const WCHAR PreviousValueNameW[] = L"VemlaPrevious";

static const char ProgIdCommandKey[] = "Vemla\\shell\\open\\command";
static const char FileTypeName[] = "Vemla Image";

// Opens key, creating it when missing; an existing key keeps its values and subkeys.
static HKEY CreateKey(HKEY root, const char *name)
{
    HKEY key;
    if (RegCreateKeyExA(root, name, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return NULL;
    return key;
}

// The byte count of a REG_SZ includes its NUL; readers that trust the count need it.
static int SetStringValue(HKEY key, const char *name, const char *text)
{
    return RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, lstrlenA(text) + 1) ==
           ERROR_SUCCESS;
}

static int SetDwordValue(HKEY key, const char *name, DWORD number)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&number, sizeof number) ==
           ERROR_SUCCESS;
}

// Creates root\name and sets its default value to text, closing the key at once.
static int WriteDefaultValue(HKEY root, const char *name, const char *text)
{
    HKEY key = CreateKey(root, name);
    if (!key)
        return 0;
    int written = SetStringValue(key, "", text);
    RegCloseKey(key);
    return written;
}

// Composes "\"folder\program\"" followed by tail. The program path is quoted because the system
// would otherwise cut an unquoted one at its first blank (C:\Program ...).
static int ComposeQuotedCommand(char *command, int size, const char *folder, const char *program,
                                const char *tail)
{
    char programPath[MAX_PATH];
    if (!JoinPath(programPath, sizeof programPath, folder, program) ||
        !CopyText(command, size, "\"") || !AppendText(command, size, programPath) ||
        !AppendText(command, size, "\"") || !AppendText(command, size, tail)) {
        command[0] = '\0';
        return 0;
    }
    return 1;
}

int ReadStringValue(HKEY key, const char *name, char *text, int size)
{
    DWORD type = 0;
    DWORD bytes = size - 1;  // room for a terminator that the stored data may lack
    LONG status = RegQueryValueExA(key, name, NULL, &type, (BYTE *)text, &bytes);
    if (status != ERROR_SUCCESS || type != REG_SZ) {
        text[0] = '\0';
        return status == ERROR_MORE_DATA ? -1 : 0;
    }
    text[bytes] = '\0';
    return 1;
}

int ReadAssociation(HKEY key, const WCHAR *name, StoredAssociation *association)
{
    // One character short of the buffer, so that what was stored without a NUL gets one.
    DWORD bytes = sizeof association->text - sizeof(WCHAR);
    LONG status = RegQueryValueExW(key, name, NULL, &association->type, (BYTE *)association->text,
                                   &bytes);
    if (status != ERROR_SUCCESS)
        bytes = 0;  // on ERROR_MORE_DATA it holds the size needed
    association->text[bytes / sizeof(WCHAR)] = L'\0';
    if (status == ERROR_FILE_NOT_FOUND)
        return AssociationNone;
    if (status == ERROR_MORE_DATA ||
        (status == ERROR_SUCCESS && association->type != REG_SZ && association->type != REG_EXPAND_SZ))
        return AssociationUnusable;
    if (status != ERROR_SUCCESS)
        return AssociationUnreadable;
    return association->text[0] ? AssociationFound : AssociationNone;
}

int WriteAssociation(HKEY key, const WCHAR *name, const StoredAssociation *association)
{
    return RegSetValueExW(key, name, 0, association->type, (const BYTE *)association->text,
                          (lstrlenW(association->text) + 1) * sizeof(WCHAR)) == ERROR_SUCCESS;
}

// Points extension at the ProgID. An earlier association of another program is kept in
// PreviousValueName so that an uninstallation can give it back; one of ours is not saved, so a
// reinstall leaves the saved value as it was. One that cannot be kept exactly is not overwritten.
static int AssociateExtension(const char *extension)
{
    HKEY key = CreateKey(HKEY_CLASSES_ROOT, extension);
    if (!key)
        return 0;
    StoredAssociation previous;
    int found = ReadAssociation(key, L"", &previous);
    int written = found >= AssociationNone;
    if (found == AssociationFound && lstrcmpiW(previous.text, ProgIdKeyW) != 0)
        written = WriteAssociation(key, PreviousValueNameW, &previous);
    if (written)
        written = SetStringValue(key, "", ProgIdKey);
    RegCloseKey(key);
    return written;
}

int RegisterFileType(const char *extension)
{
    char command[MAX_PATH];
    if (!ComposeQuotedCommand(command, sizeof command, SetupState.installFolder, "vemla.exe",
                              " \"%1\""))
        return 0;
    if (!WriteDefaultValue(HKEY_CLASSES_ROOT, ProgIdKey, FileTypeName))
        return 0;
    if (!WriteDefaultValue(HKEY_CLASSES_ROOT, ProgIdCommandKey, command))
        return 0;
    return AssociateExtension(extension);
}

int RegisterUninstallEntry(void)
{
    char command[MAX_PATH];
    char icon[MAX_PATH];
    if (!ComposeQuotedCommand(command, sizeof command, SetupState.installFolder, "setup.exe",
                              " /u"))
        return 0;
    if (!JoinPath(icon, sizeof icon, SetupState.installFolder, "vemla.exe") ||
        !AppendText(icon, sizeof icon, ",0"))
        return 0;

    HKEY key = CreateKey(HKEY_LOCAL_MACHINE, UninstallKey);
    if (!key)
        return 0;
    // The list of installed programs offers only removal: there is nothing to modify or repair.
    int written = SetStringValue(key, "UninstallString", command) &&
                  SetStringValue(key, "DisplayName", ProductName) &&
                  SetStringValue(key, "InstallLocation", SetupState.installFolder) &&
                  SetStringValue(key, "DisplayIcon", icon) && SetDwordValue(key, "NoModify", 1) &&
                  SetDwordValue(key, "NoRepair", 1);
    RegCloseKey(key);
    return written;
}

void NotifyAssociationsChanged(void)
{
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, NULL, NULL);
}
