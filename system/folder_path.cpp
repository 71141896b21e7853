#include "system/folder_path.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "base/bounded_text.h"
#include "system/registry.h"

void NormalizeSeparators(char *buffer)
{
    for (BYTE *p = (BYTE *)buffer; *p; ++p) {
        // Fixed ranges, not the code page's: the paths are Shift-JIS whatever the system runs.
        if ((*p >= 0x80 && *p <= 0x9F) || *p >= 0xE0) {
            if (!p[1])
                break;
            ++p;
        } else if (*p == '\\') {
            *p = '/';
        }
    }
}

static int IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Length of the part of a normalised path that names where the walk starts and that is entered,
// never created: "//server/share", "X:/", "X:" (that drive's current folder) or "/" (the current
// drive's root). 0 for a relative path, -1 for a network path without server or share.
static int MeasureRoot(const char *path)
{
    if (path[0] == '/' && path[1] == '/') {
        int end = 2;
        while (path[end] && path[end] != '/')
            ++end;
        if (end == 2 || path[end] != '/')
            return -1;
        int share = ++end;
        while (path[end] && path[end] != '/')
            ++end;
        return end == share ? -1 : end;
    }
    if (path[0] == '/')
        return 1;
    if (IsAsciiLetter(path[0]) && path[1] == ':')
        return path[2] == '/' ? 3 : 2;
    return 0;
}

// 1 when here (an absolute path) lies in a Program Files folder, whose rights a folder made there
// inherits. The machine's record names them all, "Program Files (x86)" too, in the 64-bit view even
// for the 32-bit program. Another spelling (a short name) or what cannot be read counts as outside,
// and the folder then gets the same rights explicitly.
static int IsInProgramFiles(const char *here)
{
    static const char *const names[] = {"ProgramFilesDir", "ProgramFilesDir (x86)"};
    char folder[MAX_PATH];
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return 0;
    int inside = 0;
    for (int i = 0; i < (int)ARRAYSIZE(names) && !inside; ++i) {
        // Inside when here begins with the folder, up to a separator or its end.
        int end = ReadStringValue(key, names[i], folder, sizeof folder) > 0 ? lstrlenA(folder) : 0;
        inside = end && end <= lstrlenA(here) && (here[end] == '\\' || !here[end]) &&
                 CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, here, end, folder, end) == CSTR_EQUAL;
    }
    RegCloseKey(key);
    return inside;
}

// 1 when a folder made or kept in the current directory needs Program Files' rights given
// explicitly: it lies outside the Program Files folders, on a volume of this computer that keeps
// rights. Judged once the walk has entered it, so ".." and a link count for where they lead. On a
// share (or a drive mapped to one) the rights would name the server's groups and lock the user
// out; a volume without rights (FAT) keeps none. A volume that cannot be asked gets them.
static int NeedsOwnRights(void)
{
    char here[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof here, here);
    if (length == 0 || length >= sizeof here)
        return 1;
    if (IsInProgramFiles(here) || (here[0] == '\\' && here[1] == '\\'))
        return 0;
    char root[] = "?:\\";
    DWORD flags;
    root[0] = here[0];
    return here[1] != ':' || (GetDriveTypeA(root) != DRIVE_REMOTE &&
                              (!GetVolumeInformationA(root, NULL, 0, NULL, NULL, &flags, NULL, 0) ||
                               (flags & FILE_PERSISTENT_ACLS)));
}

// The rights Program Files gives its folders, protected from those of the folder above: full
// control for SYSTEM and the administrators, read and execute for the users and all application
// packages. A folder made under C:\ would inherit rights that let any user change what is in it,
// and replace the setup.exe that the uninstall entry runs as administrator.
static const char ProgramFilesRights[] =
    "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICI;0x1200a9;;;S-1-15-2-1)";

// Creates folder in the current directory: with Program Files' rights where it needs them, unless
// they cannot be had (then nothing is created).
static int CreateFolder(const char *folder)
{
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, NULL, FALSE};
    if (NeedsOwnRights() &&
        !ConvertStringSecurityDescriptorToSecurityDescriptorA(
            ProgramFilesRights, SDDL_REVISION_1, &attributes.lpSecurityDescriptor, NULL))
        return 0;
    BOOL created = CreateDirectoryA(folder, attributes.lpSecurityDescriptor ? &attributes : NULL);
    LocalFree(attributes.lpSecurityDescriptor);
    return created;
}

// 1 when folder, or a folder in it, holds a link: rights given to folder would be carried through it.
static int HoldsLink(const char *folder, int depth)
{
    char path[MAX_PATH];
    WIN32_FIND_DATAA found;
    if (!JoinPath(path, sizeof path, folder, "*"))
        return 1;
    PresetLinkTag(found);
    HANDLE search = FindFirstFileA(path, &found);
    int held = search == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND;
    for (BOOL more = search != INVALID_HANDLE_VALUE; more && !held;
         PresetLinkTag(found), more = FindNextFileA(search, &found)) {
        if (lstrcmpA(found.cFileName, ".") == 0 || lstrcmpA(found.cFileName, "..") == 0)
            continue;
        held = IsLinkEntry(found) ||
               ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && depth > 0 &&
                (!JoinPath(path, sizeof path, folder, found.cFileName) || HoldsLink(path, depth - 1)));
    }
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    return held;
}

int ProtectFolder(const char *path)
{
    if (IsLink(path) || !SetCurrentDirectoryA(path))
        return 0;
    if (!NeedsOwnRights())
        return 1;
    // Its files and folders (the texture folder) inherit the rights, and no link may carry them on.
    PSECURITY_DESCRIPTOR descriptor = NULL;
    PACL rights = NULL;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    int set = !HoldsLink(path, 1) &&
              ConvertStringSecurityDescriptorToSecurityDescriptorA(ProgramFilesRights, SDDL_REVISION_1,
                                                                   &descriptor, NULL) &&
              GetSecurityDescriptorDacl(descriptor, &present, &rights, &defaulted) && present &&
              SetNamedSecurityInfoA((char *)path, SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, NULL,
                                    NULL, rights, NULL) == ERROR_SUCCESS;
    LocalFree(descriptor);
    return set;
}

// Enters folder (relative to the current directory), creating it first if it cannot be entered.
static int EnterOrCreateFolder(const char *folder)
{
    if (SetCurrentDirectoryA(folder))
        return 1;
    if (!CreateFolder(folder))
        return 0;
    return SetCurrentDirectoryA(folder) ? 1 : 0;
}

int CreateFolderPath(const char *path)
{
    char normalized[MAX_PATH];
    char prefix[MAX_PATH];
    if (!path || !CopyText(normalized, sizeof normalized, path))
        return 0;
    NormalizeSeparators(normalized);

    int root = MeasureRoot(normalized);
    if (root < 0)
        return 0;
    if (root > 0) {
        // The start goes back to '\': Wine takes a path beginning with '/' for a Unix path.
        for (int k = 0; k < root; ++k)
            prefix[k] = normalized[k] == '/' ? '\\' : normalized[k];
        prefix[root] = '\0';
        if (!SetCurrentDirectoryA(prefix))
            return 0;
    } else if (!normalized[0]) {
        return 0;
    }

    // Every folder after the root is taken relative to the one just entered, so a relative path
    // whose first folders exist is not walked twice (x then x/y inside x).
    int i = 0;
    for (int j = root;; ++j) {
        char c = normalized[j];
        if (c && c != '/') {
            prefix[i++] = c;
            continue;
        }
        // A doubled or trailing separator gives an empty component: it names no folder.
        if (i > 0) {
            prefix[i] = '\0';
            if (!EnterOrCreateFolder(prefix))
                return 0;
            i = 0;
        }
        if (!c)
            return 1;
    }
}

int IsSameFolder(const char *first, const char *second)
{
    char firstLong[MAX_PATH];
    char secondLong[MAX_PATH];
    DWORD a = GetLongPathNameA(first, firstLong, sizeof firstLong);
    DWORD b = GetLongPathNameA(second, secondLong, sizeof secondLong);
    if (a == 0 || a >= sizeof firstLong || b == 0 || b >= sizeof secondLong)
        return 0;
    if (EndsWithSeparator(firstLong) && !EndsWithSeparator(secondLong))
        AppendText(secondLong, sizeof secondLong, "\\");
    else if (EndsWithSeparator(secondLong) && !EndsWithSeparator(firstLong))
        AppendText(firstLong, sizeof firstLong, "\\");
    return lstrcmpiA(firstLong, secondLong) == 0;
}

int IsLinkEntry(const WIN32_FIND_DATAA &entry)
{
    // The reparse tag is reported in dwReserved0 when the attribute is set.
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           IsReparseTagNameSurrogate(entry.dwReserved0);
}

void PresetLinkTag(WIN32_FIND_DATAA &entry)
{
    entry.dwReserved0 = IO_REPARSE_TAG_SYMLINK;
}

int IsLink(const char *path)
{
    WIN32_FIND_DATAA entry;
    PresetLinkTag(entry);
    HANDLE search = FindFirstFileA(path, &entry);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        return IsLinkEntry(entry);
    }
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

int HoldFolder(const char *path, HANDLE *held)
{
    // Listing access, not only the attributes: a handle without data access is not counted when a
    // rename asks for the folder, and would hold nothing.
    *held = CreateFileA(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (*held == INVALID_HANDLE_VALUE)
        return 0;
    // The held name now leads to this folder or link alone. The reparse tag comes with the name's
    // find data; Wine opens a symbolic link's target all the same and shows no reparse point on
    // the handle, but does on the name.
    BY_HANDLE_FILE_INFORMATION information;
    int judged = GetFileInformationByHandle(*held, &information);
    int link = judged && IsLink(path);
    if (judged && !link && (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 1;
    CloseHandle(*held);
    *held = INVALID_HANDLE_VALUE;
    return link ? -1 : 0;
}
