#include <windows.h>
#include <objbase.h>  // not in the lean windows.h; shlobj.h needs it
#include <commctrl.h>
#include <shlobj.h>

#include "base/bounded_text.h"
#include "base/layout.h"
#include "base/setup_state.h"
#include "core/destination.h"
#include "resources/resource.h"
#include "system/file_sizes.h"
#include "system/folder_path.h"
#include "system/module_path.h"
#include "system/narrow_path.h"
#include "system/registry.h"
#include "system/uninstall_entry.h"
#include "system/shortcuts.h"
#include "wizard/pages.h"
#include "wizard/wizard_sheet.h"

static const char FallbackFolder[] = "C:\\Program Files\\Vemla";
static const char Caption[] = "インストール";
static const char ForeignQuestion[] =
    "フォルダにはほかのファイルがあります。このフォルダにインストールしますか？";
static const char DiskFull[] = "ディスクの空き容量が足りません。";
static const char CreateQuestion[] = "フォルダが存在しません。\nフォルダを作成しますか？";
static const char CannotCreate[] = "フォルダが作成できません。";

// The folder field's text made absolute against the current directory, into folder (MAX_PATH
// bytes). An empty field gives an empty folder. Returns 0 when the text or its absolute form
// does not fit.
static int ReadFolderField(HWND page, char *folder)
{
    HWND field = GetDlgItem(page, IDC_FOLDER);
    // The length in bytes, so text longer than MAX_PATH - 1 is refused rather than cut (an edit
    // control that counts its limit in characters can hold more bytes than that).
    if (GetWindowTextLengthA(field) >= MAX_PATH)
        return 0;
    char typed[MAX_PATH];
    GetWindowTextA(field, typed, sizeof typed);
    if (!typed[0]) {
        folder[0] = '\0';
        return 1;
    }
    DWORD length = GetFullPathNameA(typed, MAX_PATH, folder, NULL);
    return length > 0 && length < MAX_PATH;
}

// A recorded folder as a folder is shown: without its separator, unless it is a drive's root.
static void DropSeparator(char *folder)
{
    int length = lstrlenA(folder);
    if (length > 3)
        folder[length - 1] = '\0';
}

// Where an installation goes first: where the recorded one is, so a reinstallation does not
// leave a copy that can never be uninstalled; else this system's Program Files folder (which a
// 32-bit program on 64-bit Windows is given as "Program Files (x86)").
static void ProposeFolder(char *folder)
{
    char recorded[MAX_PATH];
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UninstallKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        int found = ReadStringValue(key, "InstallLocation", folder, MAX_PATH) > 0 && folder[0];
        RegCloseKey(key);
        if (found)
            return;
    }
    if (GetRecordedFolder(recorded)) {
        DropSeparator(recorded);
        CopyText(folder, MAX_PATH, recorded);
        return;
    }
    if (!GetSpecialFolderPath(recorded, CSIDL_PROGRAM_FILES) ||
        !JoinPath(folder, MAX_PATH, recorded, ProductName))
        CopyText(folder, MAX_PATH, FallbackFolder);
}

// The folder (MAX_PATH bytes) of the recorded installation when its setup.exe is still there, as
// the field shows a folder: without a separator unless it is a drive's root. Else 0.
static int GetLiveInstallation(char *folder)
{
    char program[MAX_PATH];
    if (!GetRecordedFolder(folder) || !JoinPath(program, sizeof program, folder, "setup.exe"))
        return 0;
    DWORD attributes = GetFileAttributesA(program);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    DropSeparator(folder);
    return 1;
}

// A second installation elsewhere would take over the uninstall entry, and the first could never be
// removed: while it is there, the user is sent back to its folder, recorded.
static void RefuseSecondInstallation(HWND page, const char *recorded)
{
    char text[MAX_PATH + 256];
    CopyText(text, sizeof text, "Vemlaは既に次のフォルダにインストールされています。\n");
    AppendText(text, sizeof text, recorded);
    AppendText(text, sizeof text,
               "\n別のフォルダにインストールするには、先にVemlaをアンインストールしてください。");
    MessageBoxA(page, text, Caption, MB_OK | MB_ICONEXCLAMATION);
    SetDlgItemTextA(page, IDC_FOLDER, recorded);
}

// Whole kilobytes, at most what the message can show.
static unsigned long Kilobytes(unsigned long long bytes)
{
    return bytes >> 10 > 0xFFFFFFFFul ? 0xFFFFFFFFul : (unsigned long)(bytes >> 10);
}

// 1 when the destination's volume has room for what the installation will write, or when its
// free space cannot be had; else shows both figures and returns 0.
static int CheckDiskSpace(HWND page, const char *folder)
{
    char source[MAX_PATH];
    char root[MAX_PATH];
    ULARGE_INTEGER available;
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, clusters;
    if (!GetSetupFolder(source) || !GetDiskFreeSpaceExA(folder, &available, NULL, NULL))
        return 1;
    // Files take whole clusters; 4 KB is the common size where it cannot be had.
    unsigned long cluster = 4096;
    if (GetVolumePathNameA(folder, root, sizeof root) &&
        GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) {
        unsigned long size = sectorsPerCluster * bytesPerSector;
        if (size && !(size & (size - 1)))  // a power of two, as the rounding needs
            cluster = size;
    }
    unsigned long long needed = MeasureLayoutFiles(source, folder, cluster);
    if (needed <= available.QuadPart)
        return 1;
    char text[256];
    CopyText(text, sizeof text, DiskFull);
    if (AppendText(text, sizeof text, "\n\n必要な容量: ") &&
        AppendNumber(text, sizeof text, Kilobytes(needed + 1023), 1) &&
        AppendText(text, sizeof text, " KB\n空き容量: ") &&
        AppendNumber(text, sizeof text, Kilobytes(available.QuadPart), 1))
        AppendText(text, sizeof text, " KB");
    MessageBoxA(page, text, Caption, MB_OK | MB_ICONERROR);
    return 0;
}

// 1 when folder holds nothing of another program's, or the user, told which of its files would be
// overwritten, still wants to install there. recorded: folder is the live installation's.
static int ConfirmForeignFolder(HWND page, const char *folder, int recorded)
{
    char names[512];
    char text[1024];
    if (!FindForeignFiles(folder, recorded, names, sizeof names))
        return 1;
    CopyText(text, sizeof text, ForeignQuestion);
    if (names[0] &&
        AppendText(text, sizeof text, "\n\n次のファイルは上書きされ、アンインストールのときに削除されます。"))
        AppendText(text, sizeof text, names);
    return MessageBoxA(page, text, Caption, MB_YESNO | MB_ICONWARNING) == IDYES;
}

// Next: 1 when SetupState.installFolder exists (created after asking if need be), else 0.
static int AcceptInstallFolder(HWND page)
{
    char folder[MAX_PATH];
    // Before anything is asked or made: a field too long to hold, or a folder whose longest path
    // or command would not fit.
    if (!ReadFolderField(page, folder) || !InstallationFits(folder)) {
        MessageBoxA(page, "フォルダ名が長すぎます。\nもっと短い名前のフォルダを指定してください。", Caption,
                    MB_OK | MB_ICONERROR);
        return 0;
    }
    char recorded[MAX_PATH];
    int live = GetLiveInstallation(recorded);
    if (live && !IsSameFolder(folder, recorded)) {
        RefuseSecondInstallation(page, recorded);
        return 0;
    }
    CopyText(SetupState.installFolder, sizeof SetupState.installFolder, folder);
    // Show the absolute form: the check below moves the current directory, so a relative text
    // left in the field would name another folder at the next Next.
    if (folder[0])
        SetDlgItemTextA(page, IDC_FOLDER, folder);

    if (!SetupState.installFolder[0] || !SetCurrentDirectoryA(SetupState.installFolder)) {
        // Only a clear Yes creates anything; a box that could not be shown counts as No.
        if (MessageBoxA(page, CreateQuestion, Caption, MB_YESNO | MB_ICONINFORMATION) != IDYES)
            return 0;
        if (!CreateFolderPath(SetupState.installFolder)) {
            MessageBoxA(page, CannotCreate, Caption, MB_OK | MB_ICONERROR);
            return 0;
        }
    } else if (!ConfirmForeignFolder(page, SetupState.installFolder, live)) {
        return 0;
    }
    if (!CheckDiskSpace(page, SetupState.installFolder))
        return 0;
    // A missing texture folder is not reported: the textures are then skipped.
    char textures[MAX_PATH];
    if (JoinPath(textures, sizeof textures, SetupState.installFolder, TextureFolderName))
        CreateFolderPath(textures);
    return 1;
}

static int CALLBACK PickerCallback(HWND picker, UINT message, LPARAM, LPARAM data)
{
    if (message == BFFM_INITIALIZED && ((const char *)data)[0])
        SendMessageA(picker, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
}

int BrowseForFolder(HWND owner, char *folder)
{
    IMalloc *allocator;
    if (FAILED(SHGetMalloc(&allocator)))
        return 0;

    char displayName[MAX_PATH];
    BROWSEINFOA description = {};
    description.hwndOwner = owner;
    description.pidlRoot = NULL;
    description.pszDisplayName = displayName;
    description.lpszTitle = "Select Folder";
    description.ulFlags = BIF_RETURNONLYFSDIRS;
    description.lpfn = PickerCallback;
    description.lParam = (LPARAM)folder;

    int chosen = 0;
    LPITEMIDLIST itemList = SHBrowseForFolderA(&description);
    if (itemList) {
        WCHAR wide[MAX_PATH];
        char path[MAX_PATH];
        // A folder without a name in the ANSI code page (not even a short one) leaves the field.
        if (SHGetPathFromIDListW(itemList, wide) && NarrowPath(wide, path))
            chosen = CopyText(folder, MAX_PATH, path);
        allocator->Free(itemList);
    }
    allocator->Release();
    return chosen;
}

INT_PTR CALLBACK DestinationPage(HWND page, UINT message, WPARAM wparam, LPARAM lparam)
{
    char folder[MAX_PATH];
    switch (message) {
    case WM_INITDIALOG:
        CenterWindow(GetDesktopWindow(), SetupState.sheetWindow);
        // What the field shows is what is used: no more than installFolder can hold.
        SendDlgItemMessageA(page, IDC_FOLDER, EM_LIMITTEXT, sizeof SetupState.installFolder - 1, 0);
        ProposeFolder(folder);
        SetDlgItemTextA(page, IDC_FOLDER, folder);
        return 1;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDC_BROWSE && BrowseForFolder(page, SetupState.installFolder))
            SetDlgItemTextA(page, IDC_FOLDER, SetupState.installFolder);
        return 0;
    case WM_NOTIFY:
        switch (((NMHDR *)lparam)->code) {
        case PSN_SETACTIVE:
            SetWizardButtons(PSWIZB_NEXT);
            return 0;
        case PSN_KILLACTIVE:
            ReplyToSheet(page, 0);
            return 1;
        case PSN_WIZBACK:
            ReplyToSheet(page, -1);
            return 0;
        case PSN_WIZNEXT: {
            int result = AcceptInstallFolder(page) ? 0 : -1;
            ReplyToSheet(page, result);
            return result;
        }
        }
        return 0;
    }
    return 0;
}
