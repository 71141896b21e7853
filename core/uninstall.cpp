#include "core/uninstall.h"

#include <windows.h>

#include "system/folder_path.h"
#include "system/module_path.h"
#include "core/failure_report.h"
#include "core/running_program.h"
#include "base/layout.h"
#include "base/setup_state.h"
#include "system/file_types.h"
#include "system/registry.h"
#include "system/uninstall_entry.h"
#include "system/shortcuts.h"

static const char Caption[] = "セットアップ";
static const char ManualRemoval[] = "インストールしたフォルダを手動で削除してください。";
// With the entry kept, the folder holds the setup.exe that it runs: it must not be deleted.
static const char UsersFilesKept[] =
    "残したフォルダにはお客様のファイルがあります。不要な場合は、手動で削除してください。";
static const char RunAgain[] = "原因を取り除いてから、もう一度アンインストールしてください。";

static int IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A file deleted by name from the current directory: 1 when it is gone or was never there.
// Read-only files (as copied from a read-only medium) are made writable first.
static int DeleteListedFile(const char *name)
{
    if (DeleteFileA(name))
        return 1;
    DWORD error = GetLastError();
    if (IsMissing(error))
        return 1;
    DWORD attributes = GetFileAttributesA(name);
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY) &&
        SetFileAttributesA(name, attributes & ~FILE_ATTRIBUTE_READONLY)) {
        if (DeleteFileA(name))
            return 1;
        SetFileAttributesA(name, attributes);
    }
    return 0;
}

// Enters our folder name of the current directory and holds it (HoldFolder) in *held, which the
// caller closes once it has deleted what it deletes there. A link put in its place (a junction, a
// symbolic link: anyone may write a Start menu or a folder outside Program Files) is never entered,
// so nothing is deleted through it; the link itself is removed at most. Returns 1 when entered, 0
// when it is not there (any more); a link or folder that stays is listed.
static int EnterOwnFolder(const char *name, FailureList *failures, HANDLE *held)
{
    int ready = HoldFolder(name, held);
    if (ready > 0) {
        if (SetCurrentDirectoryA(name))
            return 1;
        CloseHandle(*held);
    } else if (ready < 0) {
        if (!RemoveDirectoryA(name))
            AddFailure(failures, name, "リンク");
        return 0;
    } else if (IsMissing(GetLastError())) {
        return 0;
    }
    AddFailure(failures, name, NULL);
    return 0;
}

// The listed files, then the twelve textures by name: pictures the user saved beside them keep
// the texture folder, which is then listed as left behind. Returns 1 when that is all it left
// in the texture folder.
static int RemoveFiles(const char *folder, FailureList *failures)
{
    // The running program cannot delete its own file: expected, not a failure.
    for (int i = 0; i < RemovalCount; ++i) {
        if (!DeleteListedFile(RemovalList[i]) && !IsRunningProgram(folder, RemovalList[i]))
            AddFailure(failures, RemovalList[i], NULL);
    }

    HANDLE held;
    if (!EnterOwnFolder(TextureFolderName, failures, &held))
        return 0;
    int deleted = 1;
    for (int i = 0; i < TextureFileCount; ++i)
        deleted &= DeleteListedFile(TextureFiles[i].name);
    CloseHandle(held);
    if (SetCurrentDirectoryA(folder) && RemoveDirectoryA(TextureFolderName))
        return 0;
    AddFailure(failures, TextureFolderName, NULL);
    return deleted;
}

// Deletes the shortcuts of the ShortcutSet rows from first that share its option (and so its
// folder), by name and only once that folder was entered; a group folder goes too unless the
// user put files of their own in it. Returns the row after them.
static int RemoveShortcutStep(int first, FailureList *failures)
{
    const LayoutShortcut &head = ShortcutSet[first];
    int end = NextShortcutStep(first);

    // A shell folder this profile does not have, or that is gone, holds no shortcut of ours; one
    // that cannot be had or entered otherwise may still hold them: they are listed, and the entry
    // kept for another try.
    char shellFolder[MAX_PATH];
    int entered = GetSpecialFolderPath(shellFolder, head.csidl) && SetCurrentDirectoryA(shellFolder);
    if (!entered && IsMissing(GetLastError()))
        return end;
    HANDLE held = INVALID_HANDLE_VALUE;
    if (entered && head.group && !EnterOwnFolder(head.group, failures, &held))
        return end;
    for (int i = first; i < end; ++i) {
        if (!entered || !DeleteListedFile(ShortcutSet[i].file))
            AddFailure(failures, "ショートカット", ShortcutSet[i].file);
    }
    if (held != INVALID_HANDLE_VALUE)
        CloseHandle(held);
    if (entered && head.group && SetCurrentDirectoryA(shellFolder))
        RemoveDirectoryA(head.group);
    return end;
}

// usersOnly: how many of the failures are folders kept only for the user's own files. Returns 1
// when the uninstall entry is gone.
static int RemoveRecords(int usersOnly, FailureList *failures)
{
    static const char *const extensions[] = {".jpg", ".png", ".bmp", ".dib"};
    // Where the installation wrote them; one made by an earlier setup through HKEY_CLASSES_ROOT
    // is there too, unless one administrator's own classes took it (Wine merges none).
    HKEY classes = OpenMachineClasses();
    for (int i = 0; i < (int)ARRAYSIZE(extensions); ++i) {
        if (!RestoreAssociation(classes, extensions[i]))
            AddFailure(failures, "関連付け", extensions[i]);
    }
    if (DeleteKeyTree(classes, ProgIdKeyW, 0) == KeyFailed)
        AddFailure(failures, "ファイルの種類", ProgIdKey);
    if (classes)
        RegCloseKey(classes);
    if (!RemoveCapabilities())
        AddFailure(failures, "既定のアプリ", NULL);
    // The entry goes last and only when all else of ours went: kept, it lets the user run the
    // uninstallation again (the list of programs still shows it) once what stopped it is gone.
    int gone = 0;
    if (failures->count == usersOnly) {
        gone = DeleteKeyTree(HKEY_LOCAL_MACHINE, UninstallKeyW, 0) != KeyFailed;
        if (!gone)
            AddFailure(failures, "アンインストール情報", NULL);
    }
    NotifyAssociationsChanged();
    return gone;
}

// usersOnly: as for RemoveRecords.
static void ReportRemoval(HWND desktop, const FailureList *failures, int usersOnly, int entryGone)
{
    if (failures->count == 0) {
        MessageBoxA(desktop,
                    "アンインストールが成功しました。"
                    "インストールしたフォルダを手動で削除してください。",
                    Caption, MB_OK);
        return;
    }
    char text[FailureTextSize];
    // Advice to delete by hand a folder that is left only for the user's own pictures would have
    // them lost.
    const char *closing = !entryGone ? RunAgain
                          : failures->count == usersOnly ? UsersFilesKept
                                                         : ManualRemoval;
    ComposeFailureText(text, sizeof text, failures, "次の項目を削除できませんでした。", closing);
    MessageBoxA(desktop, text, Caption, MB_OK | MB_ICONWARNING);
}

void RunUninstallation(void)
{
    HWND desktop = GetDesktopWindow();
    if (MessageBoxA(desktop, "Vemlaをアンインストールしますか？", Caption,
                    MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;

    // Only the recorded installation is removed: run from anywhere else (the distribution
    // folder, a copy in the user's documents) it would delete files of the same names there.
    char folder[MAX_PATH];
    char recorded[MAX_PATH];
    if (!GetSetupFolder(folder) || !GetRecordedFolder(recorded) ||
        !IsSameFolder(folder, recorded) || !SetCurrentDirectoryA(folder)) {
        MessageBoxA(desktop, "アンインストール失敗", Caption, MB_OK);
        return;
    }
    if (!WaitUntilNotRunning(desktop, folder, Caption))
        return;

    FailureList failures;
    ClearFailures(&failures);
    int usersOnly = RemoveFiles(folder, &failures);
    for (int row = 0; row < ShortcutCount;)
        row = RemoveShortcutStep(row, &failures);
    int entryGone = RemoveRecords(usersOnly, &failures);

    ReportRemoval(desktop, &failures, usersOnly, entryGone);
}
