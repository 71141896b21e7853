// The file type, the extensions' associations and the uninstall entry in the registry.
#ifndef VEMLA_REGISTRY_RECORDS_H
#define VEMLA_REGISTRY_RECORDS_H

#include <windows.h>

extern const char ProgIdKey[];           // "Vemla" under HKEY_CLASSES_ROOT
extern const char UninstallKey[];        // "SOFTWARE\...\Uninstall\Vemla" under HKEY_LOCAL_MACHINE
extern const char PreviousValueName[];   // "VemlaPrevious": an extension's earlier association
extern const char OpenWithKey[];          // "OpenWithProgids", an extension's subkey
extern const WCHAR ProgIdKeyW[];
extern const WCHAR UninstallKeyW[];
extern const WCHAR PreviousValueNameW[];

// A key name, and so a ProgID, has at most 255 characters.
enum { RegistryNameSize = 256 };

// An association as stored: REG_SZ or REG_EXPAND_SZ, and its text, read with the wide functions
// so that a name outside the ANSI code page is kept exactly.
struct StoredAssociation {
    DWORD type;
    WCHAR text[RegistryNameSize];
};

// What ReadAssociation found.
enum { AssociationUnreadable = -2, AssociationUnusable = -1, AssociationNone = 0, AssociationFound = 1 };

// Reads the value name of an extension's key: AssociationFound with association filled,
// AssociationNone when there is no value or it is empty, AssociationUnusable when it cannot be
// kept exactly (another type, longer than a ProgID can be), AssociationUnreadable when the
// registry refused (nothing is known about it then).
int ReadAssociation(HKEY key, const WCHAR *name, StoredAssociation *association);

// Writes association as the value name, with its type and its terminating NUL. Returns 1 or 0.
int WriteAssociation(HKEY key, const WCHAR *name, const StoredAssociation *association);

// Writes, among the machine's classes, the ProgID with its quoted open command for
// SetupState.installFolder, points extension
// at it and offers it in the extension's "Open with" list (OpenWithProgids). An earlier association of another program is saved exactly (type and text) in
// "VemlaPrevious" first;
// the extension key keeps its other values and subkeys. Returns 1, or 0 when the command would not
// fit (nothing written), a ProgID key cannot be written, or the extension cannot be written
// (also when its earlier association cannot be saved exactly: it is then left as it was).
int RegisterFileType(const char *extension);

// HKEY_LOCAL_MACHINE\Software\Classes in the 64-bit view, where every class record of ours lies:
// written through HKEY_CLASSES_ROOT, a key that one administrator's own classes already hold
// would take the record into that profile alone. Null when it cannot be opened; the caller closes.
HKEY OpenMachineClasses(void);

// Lists Vemla in "Default apps" (Windows 8 and later), in the 64-bit view: its capabilities with
// extensions (count of them) as the types it opens, and its entry among the registered
// applications. Returns 1, or 0 when a record cannot be written.
int RegisterCapabilities(const char *const *extensions, int count);

// Takes Vemla out of "Default apps" again, and our maker's key once it is empty. Returns 1 when
// nothing of it is left.
int RemoveCapabilities(void);

// 1 when the user's own choice for extension (Windows 8 and later) or the user's own classes name
// another program than ours: the machine's association then does not take effect.
int IsAssociationOutranked(const char *extension);

enum { KeyDeleted, KeyAbsent, KeyFailed };

// Deletes name under parent with its subkeys, bottom-up (RegDeleteTree is missing on older
// systems), in view (0 or KEY_WOW64_64KEY). Wide names, because another program's subkey may be
// named outside the ANSI code page. Returns KeyDeleted, KeyAbsent or KeyFailed.
int DeleteKeyTree(HKEY parent, const WCHAR *name, REGSAM view);

// Writes the uninstall entry for SetupState.installFolder: the quoted "setup.exe" /u command and
// the name, which make it usable, then the folder, the icon, no modify or repair, the size of the
// installed files, today's date, and the version and maker of the installed application (deleted
// when it has no version resource). Returns 1 when usable, with the names of the other values that
// could not be written in missed (size bytes, ", " between them; empty when all were); 0 when a
// command would not fit (nothing written), the key cannot be created or the command or the name
// cannot be set.
int RegisterUninstallEntry(char *missed, int size);

// 1 when the commands that the records of an installation into folder hold (the open command and
// the uninstall command) fit their buffers.
int RecordedCommandsFit(const char *folder);

// Reads the string value name of key into text (size bytes), terminated whatever was stored.
// Returns 1 for a REG_SZ, 0 with text empty when there is none or it is of another type, -1 with
// text empty when it does not fit.
int ReadStringValue(HKEY key, const char *name, char *text, int size);

// Fills folder (MAX_PATH bytes) with the folder, ending with a separator, of the program that the
// uninstall entry runs: the text in quotes, or for an unquoted entry of an earlier setup the text
// before a trailing " /u". Returns 1, or 0 with folder empty when there is none.
int GetRecordedFolder(char *folder);

// Tells the shell once that associations changed, so Explorer shows them without a restart.
void NotifyAssociationsChanged(void);

#endif
