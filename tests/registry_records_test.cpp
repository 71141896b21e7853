// The file type, associations and uninstall entry, written into an isolated registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "base/bounded_text.h"
#include "base/setup_state.h"
#include "system/registry_records.h"
#include "tests/support/test_support.h"

static const char CommandKey[] = "Vemla\\shell\\open\\command";
static const char EntryKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vemla";

class RegistryRecordsTest : public ::testing::Test {
protected:
    void SetInstallFolder(const std::string &folder)
    {
        ASSERT_EQ(1, CopyText(SetupState.installFolder, sizeof SetupState.installFolder, folder.c_str()));
        for (const char *key : {"Vemla", ".jpg", ".png", ".bmp", ".dib"})
            RegDeleteTreeA(HKEY_CLASSES_ROOT, key);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, EntryKey);
    }
    // A REG_SZ whose byte count holds the text and one NUL.
    void ExpectString(HKEY root, const char *key, const char *name, const std::string &text)
    {
        RegistryValue value = ReadRegistryValue(root, key, name);
        EXPECT_TRUE(value.found && value.type == REG_SZ && value.bytes == text + '\0')
            << key << " \"" << name << "\" is " << value.type << " \"" << value.bytes << "\"";
    }
    ScopedRegistryOverride registry;
};

TEST_F(RegistryRecordsTest, ValuesAreExactAndCommandsQuotedForAnyFolder)
{
    ASSERT_EQ(932u, GetACP()) << "one folder is Japanese";
    static const struct { const char *folder, *joined; } cases[] = {  // joined: with one separator
        {"C:\\Program Files\\Vemla", "C:\\Program Files\\Vemla\\"}, {"C:\\My Apps\\", "C:\\My Apps\\"},
        {"C:\\", "C:\\"}, {"D:\\ソフト 表", "D:\\ソフト 表\\"},  // ends in 5C
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.folder);
        SetInstallFolder(c.folder);
        EXPECT_EQ(1, RegisterFileType(".bmp"));
        EXPECT_EQ(1, RegisterFileType(".dib"));
        EXPECT_EQ(1, RegisterUninstallEntry());
        std::string joined = c.joined;
        ExpectString(HKEY_CLASSES_ROOT, "Vemla", "", "Vemla Image");
        ExpectString(HKEY_CLASSES_ROOT, CommandKey, "", "\"" + joined + "vemla.exe\" \"%1\"");
        for (const char *extension : {".bmp", ".dib"})
            ExpectString(HKEY_CLASSES_ROOT, extension, "", "Vemla");
        EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ".jpg"));
        ExpectString(HKEY_LOCAL_MACHINE, EntryKey, "UninstallString", "\"" + joined + "setup.exe\" /u");
        ExpectString(HKEY_LOCAL_MACHINE, EntryKey, "DisplayName", "Vemla");
        ExpectString(HKEY_LOCAL_MACHINE, EntryKey, "InstallLocation", c.folder);
        ExpectString(HKEY_LOCAL_MACHINE, EntryKey, "DisplayIcon", joined + "vemla.exe,0");
        for (const char *name : {"NoModify", "NoRepair", "EstimatedSize"}) {  // no file there: 0 KB
            RegistryValue value = ReadRegistryValue(HKEY_LOCAL_MACHINE, EntryKey, name);
            EXPECT_TRUE(value.type == REG_DWORD && value.bytes == std::string(name[0] == 'E' ? "\0" : "\x01", 1) + std::string(3, '\0')) << name;
        }
        SYSTEMTIME today;
        GetLocalTime(&today);
        char date[16];
        snprintf(date, sizeof date, "%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
        ExpectString(HKEY_LOCAL_MACHINE, EntryKey, "InstallDate", date);
        for (const char *name : {"DisplayVersion", "Publisher"})  // no vemla.exe to take them from
            EXPECT_FALSE(ReadRegistryValue(HKEY_LOCAL_MACHINE, EntryKey, name).found) << name;
        for (const char *extension : {".bmp", ".dib"}) {
            RegistryValue offered = ReadRegistryValue(HKEY_CLASSES_ROOT, (std::string(extension) + "\\OpenWithProgids").c_str(), "Vemla");
            EXPECT_TRUE(offered.found && offered.type == REG_NONE && offered.bytes.empty()) << extension << " offers Vemla";
        }
    }
    // The size is of the files there, rounded up to whole KB: 1,025 + 1 bytes are 2 KB.
    std::string folder = MakeScratchFolder("sized");
    CreateDirectoryA((folder + "\\TEXTURE").c_str(), NULL);
    WriteFileBytes(folder + "\\vemla.exe", std::string(1025, 'x'));
    WriteFileBytes(folder + "\\TEXTURE\\" + std::string("キャンバス.BMP"), "x");
    SetInstallFolder(folder);
    EXPECT_EQ(1, RegisterUninstallEntry());
    EXPECT_EQ(std::string("\x02\0\0\0", 4), ReadRegistryValue(HKEY_LOCAL_MACHINE, EntryKey, "EstimatedSize").bytes);
    RemoveTree(folder);
}

TEST_F(RegistryRecordsTest, EarlierAssociationIsSavedExactlyOnceNeverAsOursAndTheKeyKeptWhole)
{
    const std::wstring tooLong(256, L'p'), longest(128, L'\x8868');  // 表: 256 bytes in code page 932
    const struct {
        DWORD type;  // of the default value before, REG_NONE for none
        std::wstring earlier;  // as stored, NUL included when stored with one
        const wchar_t *saved;  // VemlaPrevious before, or null
        DWORD savedType;       // VemlaPrevious after two installations, REG_NONE for none
        std::wstring expected;
    } cases[] = {
        {REG_NONE, L"", NULL, REG_NONE, L""},
        {REG_SZ, std::wstring(1, L'\0'), NULL, REG_NONE, L""},
        {REG_SZ, std::wstring(L"jpegfile", 9), NULL, REG_SZ, std::wstring(L"jpegfile", 9)},
        {REG_SZ, std::wstring(L"vemla", 6), NULL, REG_NONE, L""},  // ProgIDs ignore letter case
        {REG_SZ, std::wstring(L"Vemla", 6), L"jpegfile", REG_SZ, std::wstring(L"jpegfile", 9)},  // reinstall over our own
        {REG_SZ, std::wstring(L"Viewer.JPG", 11), L"older", REG_SZ, std::wstring(L"Viewer.JPG", 11)},  // taken since
        {REG_SZ, L"pngfile", NULL, REG_SZ, std::wstring(L"pngfile", 8)},  // stored without its NUL
        {REG_SZ, std::wstring(L"Caf\x00e9.Image\x2122", 12), NULL, REG_SZ, std::wstring(L"Caf\x00e9.Image\x2122", 12)},
        {REG_EXPAND_SZ, std::wstring(L"%Viewer%", 9), NULL, REG_EXPAND_SZ, std::wstring(L"%Viewer%", 9)},
        {REG_SZ, longest + L'\0', NULL, REG_SZ, longest + L'\0'},
        {REG_DWORD, L"AA", NULL, REG_NONE, L""},  // cannot be kept exactly: refused, left as it was
        {REG_SZ, tooLong + L'\0', NULL, REG_NONE, L""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.earlier));
        SetInstallFolder("C:\\Program Files\\Vemla");
        if (c.type != REG_NONE)
            RegSetKeyValueW(HKEY_CLASSES_ROOT, L".jpg", L"", c.type, c.earlier.data(), (DWORD)c.earlier.size() * 2);
        if (c.saved)
            RegSetKeyValueW(HKEY_CLASSES_ROOT, L".jpg", L"VemlaPrevious", REG_SZ, c.saved, (lstrlenW(c.saved) + 1) * 2);
        WriteRegistryString(HKEY_CLASSES_ROOT, ".jpg", "Content Type", "image/jpeg");
        WriteRegistryString(HKEY_CLASSES_ROOT, ".jpg\\ShellNew", "ItemName", "photo");
        bool refused = c.type == REG_DWORD || c.earlier.size() > 256;
        EXPECT_EQ(refused ? 0 : 1, RegisterFileType(".jpg"));
        EXPECT_EQ(refused ? 0 : 1, RegisterFileType(".jpg"));
        RegistryValue value = ReadRegistryValueW(HKEY_CLASSES_ROOT, L".jpg", L"");
        EXPECT_TRUE(refused ? value.type == c.type && value.bytes == Bytes(c.earlier) : value.bytes == Bytes(L"Vemla", 6));
        ExpectString(HKEY_CLASSES_ROOT, ".jpg", "Content Type", "image/jpeg");
        ExpectString(HKEY_CLASSES_ROOT, ".jpg\\ShellNew", "ItemName", "photo");
        RegistryValue saved = ReadRegistryValueW(HKEY_CLASSES_ROOT, L".jpg", L"VemlaPrevious");
        EXPECT_EQ(c.savedType, saved.found ? saved.type : REG_NONE);
        EXPECT_EQ(Bytes(c.expected), saved.bytes);
    }
}

TEST_F(RegistryRecordsTest, CommandsThatDoNotFitWriteNothing)
{
    // The open command is the folder and 17 bytes, the uninstall command the folder and 15;
    // 259 bytes fit their 260-byte buffers.
    static const struct { int folderLength, fileTypeResult, uninstallResult; } cases[] = {
        {242, 1, 1}, {243, 0, 1}, {244, 0, 1}, {245, 0, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.folderLength);
        SetInstallFolder("C:\\" + std::string(c.folderLength - 3, 'f'));
        EXPECT_EQ(c.fileTypeResult, RegisterFileType(".jpg"));
        EXPECT_EQ(c.fileTypeResult == 1, RegistryKeyExists(HKEY_CLASSES_ROOT, "Vemla"));
        EXPECT_EQ(c.fileTypeResult == 1, RegistryKeyExists(HKEY_CLASSES_ROOT, ".jpg"));
        EXPECT_EQ(c.uninstallResult, RegisterUninstallEntry());
        EXPECT_EQ(c.uninstallResult == 1, RegistryKeyExists(HKEY_LOCAL_MACHINE, EntryKey));
    }
}

TEST_F(RegistryRecordsTest, KeysThatCannotBeMadeGiveZeroAndNoDanglingAssociation)
{
    SetInstallFolder("C:\\Program Files\\Vemla");
    // A volatile root refuses lasting keys under it (ERROR_CHILD_MUST_BE_VOLATILE).
    HKEY classes, machine;
    ASSERT_EQ(0, RegCreateKeyExA(registry.classesRoot, "Volatile", 0, NULL, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                                 NULL, &classes, NULL));
    ASSERT_EQ(0, RegCreateKeyExA(registry.localMachine, "Volatile", 0, NULL, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                                 NULL, &machine, NULL));
    RegOverridePredefKey(HKEY_CLASSES_ROOT, classes);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine);
    EXPECT_EQ(0, RegisterFileType(".bmp"));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ".bmp")) << "points at no file type";
    EXPECT_EQ(0, RegisterUninstallEntry());
    RegOverridePredefKey(HKEY_CLASSES_ROOT, registry.classesRoot);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, registry.localMachine);
    RegCloseKey(classes);
    RegCloseKey(machine);
}
