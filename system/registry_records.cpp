#include "system/registry_records.h"

#include <windows.h>
#include <shlobj.h>

#include "base/bounded_text.h"
#include "base/layout.h"
#include "base/setup_state.h"
#include "system/file_sizes.h"
#include "system/module_path.h"
#include "system/version_info.h"

const char ProgIdKey[] = "Vemla";
const char UninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vemla";
const char PreviousValueName[] = "VemlaPrevious";
const char OpenWithKey[] = "OpenWithProgids";
const WCHAR ProgIdKeyW[] = L"Vemla";
const WCHAR UninstallKeyW[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vemla";
const WCHAR PreviousValueNameW[] = L"VemlaPrevious";

static const char ProgIdCommandKey[] = "Vemla\\shell\\open\\command";
static const char FileTypeName[] = "Vemla Image";

static const char CapabilitiesKey[] = "Software\\Vemla\\Capabilities";
static const char RegisteredKey[] = "Software\\RegisteredApplications";

// Opens name, or name\subkey, creating it when missing; an existing key keeps its values and
// subkeys. view: 0, or KEY_WOW64_64KEY for the machine's records that the 32-bit program must not
// write to the 32-bit view (WOW6432Node) on 64-bit Windows.
static HKEY CreateKey(HKEY root, const char *name, const char *subkey = NULL,
                      REGSAM view = KEY_WOW64_64KEY)
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

// What follows the program in the open command and in the uninstall command.
static const char OpenTail[] = " \"%1\"";
static const char UninstallTail[] = " /u";

int RecordedCommandsFit(const char *folder)
{
    char command[MAX_PATH];
    return ComposeQuotedCommand(command, sizeof command, folder, "vemla.exe", OpenTail) &&
           ComposeQuotedCommand(command, sizeof command, folder, "setup.exe", UninstallTail);
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
    if (!ComposeQuotedCommand(command, sizeof command, SetupState.installFolder, "vemla.exe",
                              OpenTail))
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

// RegDeleteKeyEx, which reaches the 64-bit view from the 32-bit program, is missing on 32-bit
// Windows XP, which has one view only.
static LONG DeleteKey(HKEY parent, const WCHAR *name, REGSAM view)
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
    // Windows writes the user's choice itself (for .jpg and .png at first sign-in) and lets no
    // program write it: Windows 11 24H2 and later keep it in UserChoiceLatest, which Explorer follows
    // first and which decides where it names a program; earlier ones in UserChoice. The user's own
    // classes come next. The elevated program's HKEY_CURRENT_USER is the signed-in user's unless
    // another account's password was typed at the prompt. Wine honours none of these places.
    static const char FileExts[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";
    static const struct {
        const char *key, *subkey, *value;
        int decides;
    } places[] = {{FileExts, "\\UserChoiceLatest", "ProgId", 1},
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

// Lists name in missed (size bytes, ", " between names) when its value was not written.
static void NoteValue(char *missed, int size, int written, const char *name)
{
    if (!written && (!missed[0] || AppendText(missed, size, ", ")))
        AppendText(missed, size, name);
}

// "DisplayVersion" and "Publisher" from the version resource of the installed application, when
// it has one; else none, not those of an earlier installation.
static void SetVersionValues(HKEY key, char *missed, int size)
{
    static const char *const names[][2] = {{"ProductVersion", "DisplayVersion"},
                                           {"CompanyName", "Publisher"}};
    char application[MAX_PATH];
    char text[MAX_PATH];
    int named = JoinPath(application, sizeof application, SetupState.installFolder, ApplicationName);
    for (int i = 0; i < (int)ARRAYSIZE(names); ++i) {
        int written;
        if (named && ReadVersionString(application, names[i][0], text, sizeof text)) {
            written = SetStringValue(key, names[i][1], text);
        } else {
            LONG deleted = RegDeleteValueA(key, names[i][1]);
            written = deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
        }
        NoteValue(missed, size, written, names[i][1]);
    }
}

// "InstallDate" as the list of programs wants it: "YYYYMMDD", local date.
static int SetInstallDate(HKEY key)
{
    SYSTEMTIME today;
    char date[12] = "";
    GetLocalTime(&today);
    return AppendNumber(date, sizeof date, today.wYear, 4) &&
           AppendNumber(date, sizeof date, today.wMonth, 2) &&
           AppendNumber(date, sizeof date, today.wDay, 2) && SetStringValue(key, "InstallDate", date);
}

int RegisterUninstallEntry(char *missed, int size)
{
    char command[MAX_PATH];
    char icon[MAX_PATH];
    missed[0] = '\0';
    if (!ComposeQuotedCommand(command, sizeof command, SetupState.installFolder, "setup.exe",
                              UninstallTail))
        return 0;
    if (!JoinPath(icon, sizeof icon, SetupState.installFolder, "vemla.exe") ||
        !AppendText(icon, sizeof icon, ",0"))
        return 0;

    // In the program's own view, where earlier setups recorded it.
    HKEY key = CreateKey(HKEY_LOCAL_MACHINE, UninstallKey, NULL, 0);
    if (!key)
        return 0;
    // The command and the name make the entry usable; the rest only describes it, and its
    // failure must not keep the chosen associations from being written.
    int usable = SetStringValue(key, "UninstallString", command) &&
                 SetStringValue(key, "DisplayName", ProductName);
    if (usable) {
        DWORD kilobytes =
            (DWORD)((MeasureLayoutFiles(SetupState.installFolder, NULL, 1) + 1023) >> 10);
        NoteValue(missed, size, SetStringValue(key, "InstallLocation", SetupState.installFolder),
                  "InstallLocation");
        NoteValue(missed, size, SetStringValue(key, "DisplayIcon", icon), "DisplayIcon");
        // The list of installed programs offers only removal: nothing to modify or repair.
        NoteValue(missed, size, SetDwordValue(key, "NoModify", 1), "NoModify");
        NoteValue(missed, size, SetDwordValue(key, "NoRepair", 1), "NoRepair");
        NoteValue(missed, size, SetDwordValue(key, "EstimatedSize", kilobytes), "EstimatedSize");
        NoteValue(missed, size, SetInstallDate(key), "InstallDate");
        SetVersionValues(key, missed, size);
    }
    RegCloseKey(key);
    return usable;
}

int GetRecordedFolder(char *folder)
{
    HKEY key;
    char command[MAX_PATH + 16];
    folder[0] = '\0';
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UninstallKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    int found = ReadStringValue(key, "UninstallString", command, sizeof command) > 0;
    RegCloseKey(key);
    if (!found)
        return 0;

    char *program = command;
    if (command[0] == '"') {
        program = command + 1;
        char *quote = program;
        while (*quote && *quote != '"')
            quote = CharNextA(quote);
        if (*quote != '"')
            return 0;
        *quote = '\0';
    } else {
        int length = lstrlenA(command);
        if (length > 3 && lstrcmpA(command + length - 3, " /u") == 0)
            command[length - 3] = '\0';
    }

    char drive[3];
    char directory[256];
    return SplitModulePath(program, drive, directory) && directory[0] &&
           CopyText(folder, MAX_PATH, drive) && AppendText(folder, MAX_PATH, directory);
}


void NotifyAssociationsChanged(void)
{
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, NULL, NULL);
}
