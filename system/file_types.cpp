#include "system/file_types.h"

#include <windows.h>

#include "base/bounded_text.h"
#include "system/registry_records.h"

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
