#include "system/uninstall_entry.h"

#include <windows.h>

#include "base/bounded_text.h"
#include "base/layout.h"
#include "base/setup_state.h"
#include "system/file_sizes.h"
#include "system/file_types.h"
#include "system/module_path.h"
#include "system/registry.h"
#include "system/version_info.h"

const char UninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vemla";
const WCHAR UninstallKeyW[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vemla";

static int ComposeUninstallCommand(char *command, int size, const char *folder)
{
    return ComposeQuotedCommand(command, size, folder, "setup.exe", " /u");
}

int RecordedCommandsFit(const char *folder)
{
    char command[MAX_PATH];
    return ComposeOpenCommand(command, sizeof command, folder) &&
           ComposeUninstallCommand(command, sizeof command, folder);
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
    if (!ComposeUninstallCommand(command, sizeof command, SetupState.installFolder))
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
