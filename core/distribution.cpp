#include "core/distribution.h"

#include <windows.h>

#include "base/bounded_text.h"
#include "base/layout.h"
#include "core/failure_report.h"
#include "system/module_path.h"

static const char Caption[] = "セットアップ";
static const char UnusableFolder[] =
    "Vemlaのセットアップを、このフォルダから実行することはできません。\n"
    "フォルダ名に使えない文字があります。半角英数字だけの名前のフォルダにすべてのファイルを移して、"
    "もう一度実行してください。";
static const char NotUnpacked[] =
    "Vemlaのセットアップに必要なファイルが見つかりません。\n"
    "圧縮ファイルの中から実行した場合は、すべてのファイルを展開してから、展開したフォルダのsetup.exeを"
    "実行してください。";

// Adds each file of both tables that source lacks ("TEXTURE\" before a texture); one whose path
// does not fit cannot be found either. Returns 1 when the application is there.
static int ListMissingFiles(const char *source, FailureList *missing)
{
    int applicationFound = 0;
    for (int i = 0; i < ProgramFileCount + TextureFileCount; ++i) {
        char name[MAX_PATH];
        char path[MAX_PATH];
        int named = i < ProgramFileCount ? CopyText(name, sizeof name, ProgramFiles[i].name)
                                         : JoinPath(name, sizeof name, TextureFolderName,
                                                    TextureFiles[i - ProgramFileCount].name);
        DWORD attributes = named && JoinPath(path, sizeof path, source, name) ? GetFileAttributesA(path)
                                                                              : INVALID_FILE_ATTRIBUTES;
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
            AddFailure(missing, name, NULL);
        else if (lstrcmpiA(name, ApplicationName) == 0)
            applicationFound = 1;
    }
    return applicationFound;
}

int CheckDistribution(void)
{
    char source[MAX_PATH];
    // A folder named outside the code page, without a short name (a volume that makes none).
    if (!GetSetupFolder(source)) {
        MessageBoxA(NULL, UnusableFolder, Caption, MB_OK | MB_ICONERROR);
        return 0;
    }
    FailureList missing;
    ClearFailures(&missing);
    // Explorer runs a setup.exe opened inside a ZIP folder from a temporary folder of its own,
    // without the other files: every copy would fail. Without another file it still installs.
    if (ListMissingFiles(source, &missing))
        return 1;
    char text[FailureTextSize];
    ComposeFailureText(text, sizeof text, &missing, NotUnpacked, NULL);
    MessageBoxA(NULL, text, Caption, MB_OK | MB_ICONERROR);
    return 0;
}
