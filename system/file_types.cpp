#include "system/file_types.h"

#include <windows.h>
#include <shlobj.h>

#include "base/bounded_text.h"
#include "base/layout.h"
#include "base/setup_state.h"
#include "system/registry.h"

const char ProgIdKey[] = "Vemla";
const char PreviousValueName[] = "VemlaPrevious";
const char OpenWithKey[] = "OpenWithProgids";
const WCHAR ProgIdKeyW[] = L"Vemla";
const WCHAR PreviousValueNameW[] = L"VemlaPrevious";

static const char ProgIdCommandKey[] = "Vemla\\shell\\open\\command";
static const char FileTypeName[] = "Vemla Image";

static const char CapabilitiesKey[] = "Software\\Vemla\\Capabilities";
static const char RegisteredKey[] = "Software\\RegisteredApplications";

int ComposeOpenCommand(char *command, int size, const char *folder)
{
    return ComposeQuotedCommand(command, size, folder, ApplicationName, " \"%1\"");
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
static int AssociateExtension(HKEY classes, const char *extension)
{
    HKEY key = CreateKey(classes, extension);
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
    // Since Windows 8 the user's own choice outranks the default value: be offered in "Open with".
    HKEY offered = written ? CreateKey(classes, extension, OpenWithKey) : NULL;
    if (!offered)
        return 0;
    written = RegSetValueExA(offered, ProgIdKey, 0, REG_NONE, NULL, 0) == ERROR_SUCCESS;
    RegCloseKey(offered);
    return written;
}

int RegisterFileType(const char *extension)
{
    char command[MAX_PATH];
    if (!ComposeOpenCommand(command, sizeof command, SetupState.installFolder))
        return 0;
    HKEY classes = OpenMachineClasses();
    int written = classes && WriteDefaultValue(classes, ProgIdKey, FileTypeName) &&
                  WriteDefaultValue(classes, ProgIdCommandKey, command) &&
                  AssociateExtension(classes, extension);
    if (classes)
        RegCloseKey(classes);
    return written;
}

int RegisterCapabilities(const char *const *extensions, int count)
{
    static const char *const all[] = {".bmp", ".dib", ".jpg", ".png"};
    HKEY key = CreateKey(HKEY_LOCAL_MACHINE, CapabilitiesKey);
    HKEY types = key ? CreateKey(key, "FileAssociations") : NULL;
    int written = types && SetStringValue(key, "ApplicationName", ProductName) &&
                  SetStringValue(key, "ApplicationDescription",
                                 "初心者でも簡単に操作のできるフォトレタッチソフト");
    // A reinstallation with fewer boxes lists only the chosen types.
    for (int i = 0; written && i < (int)ARRAYSIZE(all); ++i) {
        int chosen = 0;
        for (int j = 0; j < count; ++j)
            chosen |= lstrcmpA(extensions[j], all[i]) == 0;
        LONG deleted = chosen ? ERROR_SUCCESS : RegDeleteValueA(types, all[i]);
        written = chosen ? SetStringValue(types, all[i], ProgIdKey)
                         : deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
    }
    if (types)
        RegCloseKey(types);
    if (key)
        RegCloseKey(key);
    HKEY registered = written ? CreateKey(HKEY_LOCAL_MACHINE, RegisteredKey) : NULL;
    written = registered && SetStringValue(registered, ProductName, CapabilitiesKey);
    if (registered)
        RegCloseKey(registered);
    return written;
}

int RemoveCapabilities(void)
{
    HKEY key;
    LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, RegisteredKey, 0,
                                KEY_SET_VALUE | KEY_WOW64_64KEY, &key);
    LONG dropped = opened;
    if (opened == ERROR_SUCCESS) {
        dropped = RegDeleteValueA(key, ProductName);
        RegCloseKey(key);
    }
    int removed = (dropped == ERROR_SUCCESS || dropped == ERROR_FILE_NOT_FOUND) &&
                  DeleteKeyTree(HKEY_LOCAL_MACHINE, L"Software\\Vemla\\Capabilities",
                                KEY_WOW64_64KEY) != KeyFailed;
    // Our maker's key goes too once nothing else is in it.
    opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vemla", 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                           &key);
    if (opened == ERROR_SUCCESS) {
        DWORD subkeys = 0, values = 0;
        LONG queried = RegQueryInfoKeyA(key, NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL,
                                        NULL, NULL, NULL);
        RegCloseKey(key);
        if (queried != ERROR_SUCCESS ||
            (!subkeys && !values &&
             DeleteKey(HKEY_LOCAL_MACHINE, L"Software\\Vemla", KEY_WOW64_64KEY) != ERROR_SUCCESS))
            removed = 0;
    } else if (opened != ERROR_FILE_NOT_FOUND) {
        removed = 0;
    }
    return removed;
}

int IsAssociationOutranked(const char *extension)
{
    // Windows writes the user's choice itself (for .jpg and .png at first sign-in) and lets no program
    // write it: Windows 11 24H2 and later keep it in UserChoiceLatest's subkey ProgId, which Explorer
    // follows first and which decides where it names a program; earlier ones in UserChoice. The user's
    // own classes come next. The elevated program's HKEY_CURRENT_USER is the signed-in user's unless
    // another account's password was typed at the prompt. Wine honours none of these places.
    static const char FileExts[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";
    static const struct {
        const char *key, *subkey, *value;
        int decides;
    } places[] = {{FileExts, "\\UserChoiceLatest\\ProgId", "ProgId", 1},
                  {FileExts, "\\UserChoice", "ProgId", 0},
                  {"Software\\Classes\\", "", "", 0}};
    for (int i = 0; i < (int)ARRAYSIZE(places); ++i) {
        char path[MAX_PATH];
        char progId[RegistryNameSize];
        HKEY key;
        if (!CopyText(path, sizeof path, places[i].key) || !AppendText(path, sizeof path, extension) ||
            !AppendText(path, sizeof path, places[i].subkey) ||
            RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            continue;
        int found = ReadStringValue(key, places[i].value, progId, sizeof progId);
        RegCloseKey(key);
        int other = found < 0 || (found > 0 && progId[0] && lstrcmpiA(progId, ProgIdKey) != 0);
        if (other || (places[i].decides && found > 0 && progId[0]))
            return other;
    }
    return 0;
}

void NotifyAssociationsChanged(void)
{
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, NULL, NULL);
}

// Whether a saved association names a program that is still registered (its ProgID key exists):
// 1 or 0, or -1 when the registry would not say.
static int IsRegistered(HKEY classes, const StoredAssociation &association)
{
    WCHAR name[RegistryNameSize];
    HKEY program;
    if (association.type == REG_EXPAND_SZ) {
        DWORD length = ExpandEnvironmentStringsW(association.text, name, ARRAYSIZE(name));
        if (length == 0 || length > ARRAYSIZE(name))
            return 0;
    } else {
        lstrcpynW(name, association.text, ARRAYSIZE(name));
    }
    LONG opened = RegOpenKeyExW(classes, name, 0, KEY_QUERY_VALUE, &program);
    if (opened != ERROR_SUCCESS)
        return opened == ERROR_FILE_NOT_FOUND ? 0 : -1;
    RegCloseKey(program);
    return 1;
}

// Takes our ProgID out of the extension's "Open with" list; the list itself stays.
static int WithdrawOpenWith(HKEY classes, const char *extension)
{
    char path[MAX_PATH];
    HKEY key;
    if (!JoinPath(path, sizeof path, extension, OpenWithKey))
        return 0;
    LONG opened = RegOpenKeyExA(classes, path, 0, KEY_SET_VALUE, &key);
    if (opened != ERROR_SUCCESS)
        return opened == ERROR_FILE_NOT_FOUND;
    LONG deleted = RegDeleteValueA(key, ProgIdKey);
    RegCloseKey(key);
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

// What cannot be read is left as it is: it may be the one thing that gives the association back.
int RestoreAssociation(HKEY classes, const char *extension)
{
    HKEY key;
    LONG opened = RegOpenKeyExA(classes, extension, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
    if (opened == ERROR_FILE_NOT_FOUND)
        return 1;
    if (opened != ERROR_SUCCESS)
        return 0;

    StoredAssociation current;
    StoredAssociation previous;
    int restored = 1;
    int found = ReadAssociation(key, L"", &current);
    if (found == AssociationUnreadable) {
        restored = 0;
    } else if (found == AssociationFound && lstrcmpW(current.text, ProgIdKeyW) == 0) {
        int saved = ReadAssociation(key, PreviousValueNameW, &previous);
        int registered = saved == AssociationFound && lstrcmpiW(previous.text, ProgIdKeyW) != 0
                             ? IsRegistered(classes, previous)
                             : 0;
        if (saved == AssociationUnreadable || registered < 0)
            restored = 0;
        else if (registered)
            restored = WriteAssociation(key, L"", &previous);
        else
            restored = RegSetValueExW(key, L"", 0, REG_SZ, (const BYTE *)L"", sizeof(WCHAR)) ==
                       ERROR_SUCCESS;
    }
    LONG dropped = restored ? RegDeleteValueW(key, PreviousValueNameW) : ERROR_SUCCESS;
    RegCloseKey(key);
    return restored && (dropped == ERROR_SUCCESS || dropped == ERROR_FILE_NOT_FOUND) &&
           WithdrawOpenWith(classes, extension);
}
