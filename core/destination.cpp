#include "core/destination.h"

#include <windows.h>

#include "base/bounded_text.h"
#include "base/layout.h"
#include "system/folder_path.h"
#include "system/uninstall_entry.h"
#include "system/version_info.h"

// The compositions of the runs: the copies' destinations, the records' commands.
int InstallationFits(const char *folder)
{
    char textures[MAX_PATH];
    char path[MAX_PATH];
    int fits = JoinPath(textures, sizeof textures, folder, TextureFolderName) &&
               RecordedCommandsFit(folder);
    for (int i = 0; i < ProgramFileCount + TextureFileCount && fits; ++i)
        fits = i < ProgramFileCount
                   ? JoinPath(path, sizeof path, folder, ProgramFiles[i].name)
                   : JoinPath(path, sizeof path, textures, TextureFiles[i - ProgramFileCount].name);
    return fits;
}

// A name that an installation writes or an uninstallation removes: the removal list names every
// program file, and files that only the application makes.
static int IsOurName(const char *name)
{
    if (lstrcmpiA(name, TextureFolderName) == 0)
        return 1;
    for (int i = 0; i < RemovalCount; ++i) {
        if (lstrcmpiA(name, RemovalList[i]) == 0)
            return 1;
    }
    return 0;
}

// What an entry of a folder is looked at for.
enum EntryKind {
    AnyEntry,
    ForeignEntry,  // in another program's folder: any but an empty texture folder
    UnknownName    // in Vemla's folder: a name that Vemla never uses
};

// 1 when folder holds an entry of kind, or cannot be listed. Readme.txt, license.txt and setup.exe
// are names that many programs ship: they are ours only in Vemla's folder. An empty texture folder
// is what an earlier Next of the destination page made.
static int HoldsEntry(const char *folder, EntryKind kind)
{
    char path[MAX_PATH];
    WIN32_FIND_DATAA found;
    if (!JoinPath(path, sizeof path, folder, "*"))
        return 0;
    PresetLinkTag(found);
    HANDLE search = FindFirstFileA(path, &found);
    // A folder that cannot be listed may hold anything.
    DWORD error = search == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    int held = error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    for (BOOL more = search != INVALID_HANDLE_VALUE; more && !held;
         PresetLinkTag(found), more = FindNextFileA(search, &found)) {
        const char *name = found.cFileName;
        if (lstrcmpA(name, ".") == 0 || lstrcmpA(name, "..") == 0)
            continue;
        if (kind == UnknownName)
            held = !IsOurName(name);
        else
            held = kind == AnyEntry || lstrcmpiA(name, TextureFolderName) != 0 ||
                   !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsLinkEntry(found) ||
                   !JoinPath(path, sizeof path, folder, name) || HoldsEntry(path, AnyEntry);
    }
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    return held;
}

// A folder with vemla.exe, or with Vemla's own setup.exe: an uninstallation leaves it, since it
// cannot delete itself while it runs, and its version resource still says whose it is.
static int IsVemlasFolder(const char *folder)
{
    char path[MAX_PATH];
    char product[32];
    return (JoinPath(path, sizeof path, folder, ApplicationName) &&
            GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) ||
           (JoinPath(path, sizeof path, folder, "setup.exe") &&
            ReadVersionString(path, "ProductName", product, sizeof product) &&
            lstrcmpA(product, ProductName) == 0);
}

// Appends a line feed and relative to names when folder\relative is a file that the installation
// would overwrite: no folder, no link (never written through).
static void NoteOverwritten(char *names, int size, const char *folder, const char *relative)
{
    char path[MAX_PATH];
    DWORD attributes = JoinPath(path, sizeof path, folder, relative) ? GetFileAttributesA(path)
                                                                     : INVALID_FILE_ATTRIBUTES;
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !IsLink(path) && AppendText(names, size, "\n"))
        AppendText(names, size, relative);
}

int FindForeignFiles(const char *folder, int recorded, char *names, int size)
{
    char textures[MAX_PATH];
    char relative[MAX_PATH];
    int ours = recorded || IsVemlasFolder(folder);
    names[0] = '\0';
    if (!HoldsEntry(folder, ours ? UnknownName : ForeignEntry))
        return 0;
    if (ours)
        return 1;
    for (int i = 0; i < ProgramFileCount; ++i)
        NoteOverwritten(names, size, folder, ProgramFiles[i].name);
    // A linked texture folder receives nothing.
    if (!JoinPath(textures, sizeof textures, folder, TextureFolderName) || IsLink(textures))
        return 1;
    for (int i = 0; i < TextureFileCount; ++i) {
        if (JoinPath(relative, sizeof relative, TextureFolderName, TextureFiles[i].name))
            NoteOverwritten(names, size, folder, relative);
    }
    return 1;
}
