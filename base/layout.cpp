#include "base/layout.h"

#include <shlobj.h>

const char ProductName[] = "Vemla";
const char TextureFolderName[] = "TEXTURE";
const char ReadmeName[] = "vemla.txt";
const char ApplicationName[] = "vemla.exe";

const LayoutFile ProgramFiles[ProgramFileCount] = {
    {"vemla.exe", 12},
    {"vemla.hlp", 15},
    {"vemla.cnt", 18},
    {"readme.txt", 21},
    {"license.txt", 24},
    {"setup.exe", 27},
};

// "１" and "２" are full-width digits. The last step is 5, not 3.
const LayoutFile TextureFiles[TextureFileCount] = {
    {"キャンバス.BMP", 30},
    {"コルク１.BMP", 33},
    {"コルク２.BMP", 36},
    {"コンクリート壁.BMP", 39},
    {"メタル.BMP", 42},
    {"岩肌.BMP", 45},
    {"織物.BMP", 48},
    {"大理石１.BMP", 51},
    {"大理石２.BMP", 54},
    {"麻縄.BMP", 57},
    {"木目１.BMP", 60},
    {"木目２.BMP", 65},
};

// Also names files the installation never copies, which the application may have left behind.
const char *const RemovalList[RemovalCount] = {
    "vemla.exe", "setup.exe", "vemla.ini", "vemla.hlp", "readme.txt", "license.txt",
    "vemla.txt", "vemla.gid", "vemla.cnt", "_thumb.dat", "_thumb.idx",
};

const LayoutShortcut ShortcutSet[ShortcutCount] = {
    {&InstallOptions::desktopShortcut, CSIDL_DESKTOPDIRECTORY, NULL, "vemla.lnk", "vemla.exe"},
    {&InstallOptions::sendToShortcut, CSIDL_SENDTO, NULL, "vemla.lnk", "vemla.exe"},
    {&InstallOptions::startMenuGroup, CSIDL_PROGRAMS, "Vemla", "Vemla.lnk", "vemla.exe"},
    {&InstallOptions::startMenuGroup, CSIDL_PROGRAMS, "Vemla", "Vemla ヘルプ.lnk", "vemla.hlp"},
};

int NextShortcutStep(int first)
{
    int end = first + 1;
    while (end < ShortcutCount && ShortcutSet[end].option == ShortcutSet[first].option)
        ++end;
    return end;
}

int ChosenExtensions(const InstallOptions &options, const char **extensions)
{
    int count = 0;
    if (options.associateBitmap) {
        extensions[count++] = ".bmp";
        extensions[count++] = ".dib";
    }
    if (options.associateJpeg)
        extensions[count++] = ".jpg";
    if (options.associatePng)
        extensions[count++] = ".png";
    return count;
}
