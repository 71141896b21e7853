#include "core/install.h"

#include <commctrl.h>

#include "base/bounded_text.h"
#include "core/destination.h"
#include "system/file_identity.h"
#include "system/folder_path.h"
#include "system/module_path.h"
#include "core/failure_report.h"
#include "base/layout.h"
#include "base/setup_state.h"
#include "system/file_types.h"
#include "system/message_queue.h"
#include "system/uninstall_entry.h"
#include "system/shortcuts.h"

enum { IDC_PROGRESS = 1010 };  // the options page's progress bar

static const char Caption[] = "インストール";

void SetProgress(HWND page, int position)
{
    SendMessageA(GetDlgItem(page, IDC_PROGRESS), PBM_SETPOS, (WPARAM)position, 0);
    // After each file and step: the wizard keeps answering, painting and moving the bar meanwhile.
    DispatchPendingMessages();
}

static int ClearReadOnly(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (!(attributes & FILE_ATTRIBUTE_READONLY) ||
            SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY));
}

// Files unpacked from a download carry the Mark of the Web in this stream, and CopyFileA copies
// it: Windows would then warn at every start of Vemla, and a user cannot clear it in Program Files.
// A stream that is not there, or stays, is no failure: the file itself is installed. (Wine has no
// streams: it deletes a file of that name beside the copy.)
static void RemoveWebMark(const char *destination)
{
    char stream[MAX_PATH + 16];
    if (CopyText(stream, sizeof stream, destination) &&
        AppendText(stream, sizeof stream, ":Zone.Identifier"))
        DeleteFileA(stream);
}

// An empty destination is one that did not fit its buffer: a failure, not a copy elsewhere; a
// link is not written through. A copy keeps the source's read-only attribute (a CD-ROM's), which would refuse the next
// installation over it: it is cleared, also on such a copy left by an earlier setup.
static int CopyInto(const char *destination, const char *name)
{
    if (!destination[0] || IsLink(destination))
        return 0;
    // The installed setup.exe started again (to add a shortcut) finds every file in place: a copy
    // onto itself would fail.
    if (IsSameFile(name, destination))
        return 1;
    if (!CopyFileA(name, destination, FALSE) &&
        (GetLastError() != ERROR_ACCESS_DENIED || !ClearReadOnly(destination) ||
         !CopyFileA(name, destination, FALSE)))
        return 0;
    if (!ClearReadOnly(destination))
        return 0;
    RemoveWebMark(destination);
    return 1;
}

int CopyProgramFile(HWND page, const char *name, int position)
{
    char destination[MAX_PATH];
    JoinPath(destination, sizeof destination, SetupState.installFolder, name);
    int copied = CopyInto(destination, name);
    SetProgress(page, position);
    return copied;
}

int CopyTextureFile(HWND page, const char *name, int position)
{
    char folder[MAX_PATH];
    char destination[MAX_PATH];
    destination[0] = '\0';
    if (JoinPath(folder, sizeof folder, SetupState.installFolder, TextureFolderName))
        JoinPath(destination, sizeof destination, folder, name);
    int copied = CopyInto(destination, name);
    SetProgress(page, position);
    return copied;
}

typedef int (*CopyRoutine)(HWND page, const char *name, int position);

// Copies one table from the current directory when it could be entered, else only moves the
// progress bar; every file not copied is listed, under folder when it is not null, unless
// failures is null.
static void CopyTable(HWND page, const LayoutFile *files, int count, int entered, CopyRoutine copy,
                      const char *folder, FailureList *failures)
{
    for (int i = 0; i < count; ++i) {
        int copied = 0;
        if (entered)
            copied = copy(page, files[i].name, files[i].position);
        else
            SetProgress(page, files[i].position);
        if (copied || !failures)
            continue;
        char line[MAX_PATH];
        if (!folder || !JoinPath(line, sizeof line, folder, files[i].name))
            CopyText(line, sizeof line, files[i].name);
        AddFailure(failures, line, NULL);
    }
}

// The source names are relative, so nothing is copied unless the source folder was entered:
// copying from wherever the current directory happens to be would install foreign files.
static void CopyFiles(HWND page, FailureList *failures)
{
    int entered = GetSetupFolder(SetupState.sourceFolder) &&
                  SetCurrentDirectoryA(SetupState.sourceFolder);
    CopyTable(page, ProgramFiles, ProgramFileCount, entered, CopyProgramFile, NULL, failures);
    // A texture folder replaced by a link would receive the textures wherever it points: it is
    // held from the check until the last texture is copied, so none can be swapped in meanwhile.
    char textures[MAX_PATH];
    HANDLE held = INVALID_HANDLE_VALUE;
    int ready = JoinPath(textures, sizeof textures, SetupState.installFolder, TextureFolderName)
                    ? HoldFolder(textures, &held)
                    : 0;
    if (ready < 0)
        AddFailure(failures, TextureFolderName, "リンク");
    entered = entered && ready > 0 && SetCurrentDirectoryA(TextureFolderName);
    CopyTable(page, TextureFiles, TextureFileCount, entered, CopyTextureFile, TextureFolderName,
              ready < 0 ? NULL : failures);
    if (ready > 0)
        CloseHandle(held);
}

// The records start setup.exe and vemla.exe of the install folder, copied now or left by an earlier
// installation: without them (a setup.exe run alone from a temporary folder) no entry could even
// uninstall, so nothing is recorded.
static int ProgramsInPlace(void)
{
    static const char *const names[] = {"setup.exe", ApplicationName};
    for (int i = 0; i < (int)ARRAYSIZE(names); ++i) {
        char path[MAX_PATH];
        if (!JoinPath(path, sizeof path, SetupState.installFolder, names[i]))
            return 0;
        DWORD attributes = GetFileAttributesA(path);
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) || IsLink(path))
            return 0;
    }
    return 1;
}

// Without an uninstall entry no uninstallation could give another program's association back:
// then none is taken over, and each chosen one is listed.
static void RegisterAssociations(int recorded, FailureList *failures)
{
    const char *chosen[4];
    int count = ChosenExtensions(SetupState.options, chosen);
    for (int i = 0; i < count; ++i) {
        if (!recorded || !RegisterFileType(chosen[i]))
            AddFailure(failures, "関連付け", chosen[i]);
    }
    if (recorded && !(count ? RegisterCapabilities(chosen, count) : RemoveCapabilities()))
        AddFailure(failures, "既定のアプリ", NULL);
    if (count > 0)
        NotifyAssociationsChanged();
}

// The folder that holds the shortcuts of row: its shell folder, or the group inside it, which
// is created unless it exists (a reinstallation finds it there and still writes the shortcuts)
// and held in *held until they are written. Returns 1, 0 when the folder cannot be had, or -1 when
// the group is a link, never written through.
static int PrepareShortcutFolder(const LayoutShortcut &row, char *folder, HANDLE *held)
{
    char shellFolder[MAX_PATH];
    *held = INVALID_HANDLE_VALUE;
    if (!GetSpecialFolderPath(shellFolder, row.csidl))
        return 0;
    if (!row.group)
        return CopyText(folder, MAX_PATH, shellFolder);
    if (!JoinPath(folder, MAX_PATH, shellFolder, row.group))
        return 0;
    CreateDirectoryA(folder, NULL);
    return HoldFolder(folder, held);
}

static int WriteShortcut(const LayoutShortcut &row, const char *folder)
{
    char target[MAX_PATH];
    char shortcut[MAX_PATH];
    return JoinPath(target, sizeof target, SetupState.installFolder, row.target) &&
           JoinPath(shortcut, sizeof shortcut, folder, row.file) && !IsLink(shortcut) &&
           CreateShortcut(target, shortcut, SetupState.installFolder);
}

// The rows of ShortcutSet from first that share its option (and so its folder), when the programs
// are in place; returns the row after them.
static int WriteShortcutStep(int first, int inPlace, FailureList *failures)
{
    const LayoutShortcut &head = ShortcutSet[first];
    int end = NextShortcutStep(first);
    if (!(SetupState.options.*head.option))
        return end;

    char folder[MAX_PATH];
    HANDLE held = INVALID_HANDLE_VALUE;
    int ready = inPlace ? PrepareShortcutFolder(head, folder, &held) : 0;
    if (ready < 0) {
        AddFailure(failures, head.group, "リンク");
        return end;
    }
    for (int i = first; i < end; ++i) {
        if (!ready || !WriteShortcut(ShortcutSet[i], folder))
            AddFailure(failures, "ショートカット", ShortcutSet[i].file);
    }
    if (held != INVALID_HANDLE_VALUE)
        CloseHandle(held);
    return end;
}

static void ReportFailures(HWND page, const FailureList *failures)
{
    if (failures->count == 0)
        return;
    char text[FailureTextSize];
    ComposeFailureText(text, sizeof text, failures, "次の項目をインストールできませんでした。",
                       NULL);
    MessageBoxA(page, text, Caption, MB_OK | MB_ICONWARNING);
}

void RunInstallation(HWND page)
{
    FailureList failures;
    ClearFailures(&failures);
    // No input until the run is done; its messages are still handled (SetProgress).
    EnableWindow(SetupState.sheetWindow, FALSE);

    // An existing folder outside Program Files has the rights of where it was made, which may let
    // any user replace the setup.exe that the uninstall entry runs as administrator. One that holds
    // another program's files keeps them: the user chose to share it. A folder that cannot be
    // protected still receives the installation, as it always did.
    char names[1024];
    if (!FindForeignFiles(SetupState.installFolder, 0, names, sizeof names))
        ProtectFolder(SetupState.installFolder);
    CopyFiles(page, &failures);
    int inPlace = ProgramsInPlace();
    char missed[128];
    int recorded = inPlace && RegisterUninstallEntry(missed, sizeof missed);
    if (!recorded || missed[0])
        AddFailure(&failures, "アンインストール情報", recorded ? missed : NULL);
    RegisterAssociations(recorded, &failures);
    SetProgress(page, AssociationsPosition);

    // Desktop, Send To, then the Start-menu group, each followed by its position.
    static const int positions[] = {DesktopPosition, SendToPosition, StartMenuPosition};
    int row = 0;
    for (int step = 0; step < (int)ARRAYSIZE(positions); ++step) {
        if (row < ShortcutCount)
            row = WriteShortcutStep(row, inPlace, &failures);
        SetProgress(page, positions[step]);
    }

    // Before the warning: a box whose owner is disabled hands the activation to another program's
    // window when it closes.
    EnableWindow(SetupState.sheetWindow, TRUE);
    ReportFailures(page, &failures);
}
