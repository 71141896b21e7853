// Creating a folder path component by component, through the current directory.
#ifndef VEMLA_FOLDER_PATH_H
#define VEMLA_FOLDER_PATH_H

#include <windows.h>

// Turns every real '\' of buffer into '/'. Bytes 0x80-0x9F and 0xE0-0xFF are lead bytes and
// take the next byte with them, so a Shift-JIS trail byte 0x5C stays.
void NormalizeSeparators(char *buffer);

// Makes every folder along path exist, outermost first. Returns 1 when the whole path exists,
// 0 when a folder cannot be created or entered (folders created before stay), when the start
// ("C:\", "\\server\share") cannot be entered, or when path is empty or 260 bytes or longer
// (nothing done). Empty components after the first are skipped; "\\server\share" is entered as
// one prefix, never created; a leading single separator starts at the current drive's root; a
// relative path starts at the current directory. A folder made outside the Program Files folders
// gets their rights, protected from inheritance (it is not made when they cannot be had), unless it
// lies on a share, a drive mapped to one or a volume that keeps no rights; one made inside them
// inherits theirs; a folder that exists keeps its own.
// Leaves the current directory in the last folder entered, also after a failure.
int CreateFolderPath(const char *path);

// 1 when entry, as FindFirstFileA reports it, is a link: a name-surrogate reparse point (a
// junction, a mount point, a symbolic link), which an elevated run never writes or deletes
// through, since anyone may plant one in a folder outside Program Files. Any other reparse point,
// such as a cloud file's placeholder in OneDrive, is an ordinary file or folder. Callers preset
// dwReserved0 with PresetLinkTag before each FindFirstFileA or FindNextFileA.
int IsLinkEntry(const WIN32_FIND_DATAA &entry);

// Windows reports the tag of every reparse point; Wine reports none and leaves the field as it
// was: a reparse point whose tag is not reported then counts as a link.
void PresetLinkTag(WIN32_FIND_DATAA &entry);

// Gives the existing folder path the rights that CreateFolderPath gives a folder it makes there:
// Program Files' rights, protected, which its files and folders inherit, where a new folder would get
// them; nothing inside the Program Files folders, on a share or on a volume without rights. Nothing
// either when path or a folder in it holds a link, which would carry them elsewhere. Returns 1 when
// the folder has the rights it should, 0 when they could not be given. Leaves the current directory
// in path, or where it was when path cannot be entered.
int ProtectFolder(const char *path);

// 1 when path is such a link, or a reparse point whose find data cannot be had.
int IsLink(const char *path);

// Opens the folder path so that, while *held is open, it can be neither renamed nor deleted (no
// FILE_SHARE_DELETE), so a link cannot be swapped in for it after the check. Returns 1 with *held
// open for a folder that is no link; else *held is INVALID_HANDLE_VALUE and it returns -1 for a
// link, 0 for a file or what cannot be opened (then the thread's last error says why). The caller
// closes *held after its last write or deletion in the folder, and before it removes the folder.
int HoldFolder(const char *path, HANDLE *held);

// 1 when both name the same existing folder: their long spellings match, ignoring letter case and
// a trailing separator. A folder that does not exist matches nothing.
int IsSameFolder(const char *first, const char *second);

#endif
