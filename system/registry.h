// Keys and values of the registry as the records of an installation need them: created in the
// right view, strings stored with their NUL and read back terminated, trees deleted whole.
#ifndef VEMLA_REGISTRY_H
#define VEMLA_REGISTRY_H

#include <windows.h>

// A key name, and so a ProgID, has at most 255 characters.
enum { RegistryNameSize = 256 };

// Opens name, or name\subkey, under root with all access, creating it when it is missing; an
// existing key keeps its values and subkeys. The view is 0, or KEY_WOW64_64KEY for the machine's
// records, which the 32-bit program must not write to the 32-bit view (WOW6432Node) of 64-bit
// Windows. Returns the key, which the caller closes, or null when the path does not fit or the key
// cannot be had.
HKEY CreateKey(HKEY root, const char *name, const char *subkey = NULL, REGSAM view = KEY_WOW64_64KEY);

// Opens HKEY_LOCAL_MACHINE\Software\Classes in the 64-bit view, where every class record of ours
// lies. Written through HKEY_CLASSES_ROOT, a key that one administrator's own classes already hold
// would take the record into that profile alone. Returns null when it cannot be opened; the caller
// closes it.
HKEY OpenMachineClasses(void);

// Sets the string value name of key to text, with the NUL counted in its size, as readers that
// trust the size need. Returns 1 or 0.
int SetStringValue(HKEY key, const char *name, const char *text);

// Sets the DWORD value name of key to number. Returns 1 or 0.
int SetDwordValue(HKEY key, const char *name, DWORD number);

// Creates root\name and sets its default value to text, closing the key at once. Returns 1 or 0.
int WriteDefaultValue(HKEY root, const char *name, const char *text);

// Composes the quoted path of program in folder followed by tail ("\"C:\A B\setup.exe\" /u") into
// command (size bytes): unquoted, the system would cut the path at its first blank. Returns 1, or 0
// with command empty when it does not fit.
int ComposeQuotedCommand(char *command, int size, const char *folder, const char *program,
                         const char *tail);

// Reads the string value name of key into text (size bytes), terminated whatever was stored.
// Returns 1 for a REG_SZ; 0 with text empty when there is none or it is of another type; -1 with
// text empty when it does not fit.
int ReadStringValue(HKEY key, const char *name, char *text, int size);

enum { KeyDeleted, KeyAbsent, KeyFailed };

// Deletes name under parent with its subkeys, bottom-up (RegDeleteTree is missing on older
// systems), in view (0 or KEY_WOW64_64KEY). The names are wide, because another program's subkey
// may be named outside the ANSI code page. Returns KeyDeleted, KeyAbsent or KeyFailed.
int DeleteKeyTree(HKEY parent, const WCHAR *name, REGSAM view);

// Deletes the key name under parent, without subkeys, in view (0 or KEY_WOW64_64KEY). Returns what
// the registry answered.
LONG DeleteKey(HKEY parent, const WCHAR *name, REGSAM view);

#endif
