// The file type, the extensions' associations and Vemla in "Default apps", among the machine's
// classes, and what the user's own choice makes of them.
#ifndef VEMLA_FILE_TYPES_H
#define VEMLA_FILE_TYPES_H

#include <windows.h>

#include "system/registry.h"

extern const char ProgIdKey[];          // "Vemla", a key of the machine's classes
extern const char PreviousValueName[];  // "VemlaPrevious": an extension's earlier association
extern const char OpenWithKey[];        // "OpenWithProgids", an extension's subkey
extern const WCHAR ProgIdKeyW[];
extern const WCHAR PreviousValueNameW[];

// An association as stored: REG_SZ or REG_EXPAND_SZ, and its text, read with the wide functions so
// that a name outside the ANSI code page is kept exactly.
struct StoredAssociation {
    DWORD type;
    WCHAR text[RegistryNameSize];
};

// What ReadAssociation found.
enum { AssociationUnreadable = -2, AssociationUnusable = -1, AssociationNone = 0, AssociationFound = 1 };

// Reads the value name of an extension's key. Returns AssociationFound with association filled;
// AssociationNone when there is no value or it is empty; AssociationUnusable when it cannot be kept
// exactly (another type, longer than a ProgID can be); AssociationUnreadable when the registry
// refused, and then nothing is known about it.
int ReadAssociation(HKEY key, const WCHAR *name, StoredAssociation *association);

// Writes association as the value name, with its type and its terminating NUL. Returns 1 or 0.
int WriteAssociation(HKEY key, const WCHAR *name, const StoredAssociation *association);

// Composes the open command of the file type for an installation into folder, the quoted path of
// vemla.exe and "%1", into command (size bytes). Returns 1, or 0 with command empty when it does
// not fit.
int ComposeOpenCommand(char *command, int size, const char *folder);

// Writes, among the machine's classes, the ProgID with its open command for
// SetupState.installFolder, points extension at it and offers it in the extension's "Open with"
// list. An earlier association of another program is first saved exactly (type and text) in
// "VemlaPrevious"; the extension key keeps its other values and subkeys. Returns 1, or 0 when the
// command would not fit (then nothing is written), a ProgID key cannot be written, or the extension
// cannot be written (also when its earlier association cannot be saved exactly: it is then left as
// it was).
int RegisterFileType(const char *extension);

// Lists Vemla in "Default apps" (Windows 8 and later), in the 64-bit view: its capabilities with the
// count extensions as the types it opens, and its entry among the registered applications. Returns
// 1, or 0 when a record cannot be written.
int RegisterCapabilities(const char *const *extensions, int count);

// Takes Vemla out of "Default apps" again, and our maker's key once it is empty. Returns 1 when
// nothing of it is left.
int RemoveCapabilities(void);

// 1 when the user's own choice for extension (Windows 8 and later; on Windows 11 24H2 its latest
// record decides) or the user's own classes name another program than ours: the machine's
// association then does not take effect.
int IsAssociationOutranked(const char *extension);

// Tells the shell once that associations changed, so that Explorer shows them without a restart.
void NotifyAssociationsChanged(void);

// Gives extension, a key of classes, back what the installation took if it still points at our ProgID:
// the association saved then, exactly as it was stored (type and text), while that program is still
// registered, or else an empty default value; an extension that points elsewhere now keeps its value.
// Returns 1 when that is done and the saved copy and our entry in the extension's "Open with" list are gone
// (or the extension is missing), 0 when something could not be read or written. Nothing is changed while a
// value it needs cannot be read, and the saved copy of an extension still ours stays until the association
// was given back or emptied.
int RestoreAssociation(HKEY classes, const char *extension);

#endif
