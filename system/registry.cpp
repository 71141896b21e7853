#include "system/registry.h"

#include "base/bounded_text.h"

HKEY CreateKey(HKEY root, const char *name, const char *subkey, REGSAM view)
{
    char path[MAX_PATH];
    HKEY key;
    if (!(subkey ? JoinPath(path, sizeof path, name, subkey) : CopyText(path, sizeof path, name)) ||
        RegCreateKeyExA(root, path, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | view, NULL,
                        &key, NULL) != ERROR_SUCCESS)
        return NULL;
    return key;
}

HKEY OpenMachineClasses(void)
{
    return CreateKey(HKEY_LOCAL_MACHINE, "Software\\Classes");
}

int SetStringValue(HKEY key, const char *name, const char *text)
{
    return RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, lstrlenA(text) + 1) ==
           ERROR_SUCCESS;
}

int SetDwordValue(HKEY key, const char *name, DWORD number)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&number, sizeof number) ==
           ERROR_SUCCESS;
}

int WriteDefaultValue(HKEY root, const char *name, const char *text)
{
    HKEY key = CreateKey(root, name);
    if (!key)
        return 0;
    int written = SetStringValue(key, "", text);
    RegCloseKey(key);
    return written;
}

int ComposeQuotedCommand(char *command, int size, const char *folder, const char *program,
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

// RegDeleteKeyEx, which reaches the 64-bit view from the 32-bit program, is missing on 32-bit
// Windows XP, which has one view only.
LONG DeleteKey(HKEY parent, const WCHAR *name, REGSAM view)
{
    typedef LONG(WINAPI * DeleteKeyExProc)(HKEY, LPCWSTR, REGSAM, DWORD);
    DeleteKeyExProc deleteEx = (DeleteKeyExProc)(void *)GetProcAddress(
        GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExW");
    return view && deleteEx ? deleteEx(parent, name, view, 0) : RegDeleteKeyW(parent, name);
}

// A child that stays moves the index on, so no child is met twice and the walk ends.
int DeleteKeyTree(HKEY parent, const WCHAR *name, REGSAM view)
{
    HKEY key;
    LONG opened = RegOpenKeyExW(parent, name, 0, KEY_ENUMERATE_SUB_KEYS | view, &key);
    if (opened == ERROR_FILE_NOT_FOUND)
        return KeyAbsent;
    if (opened == ERROR_SUCCESS) {
        WCHAR child[RegistryNameSize];
        for (DWORD index = 0;;) {
            DWORD length = ARRAYSIZE(child);
            if (RegEnumKeyExW(key, index, child, &length, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                break;
            if (DeleteKeyTree(key, child, view) != KeyDeleted)
                ++index;
        }
        RegCloseKey(key);
    }
    LONG deleted = DeleteKey(parent, name, view);
    return deleted == ERROR_SUCCESS ? KeyDeleted
           : deleted == ERROR_FILE_NOT_FOUND ? KeyAbsent
                                             : KeyFailed;
}
