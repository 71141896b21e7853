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
static const char Previous[] = "VemlaPrevious";

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
        for (const char *name : {"NoModify", "NoRepair"}) {
            RegistryValue value = ReadRegistryValue(HKEY_LOCAL_MACHINE, EntryKey, name);
            EXPECT_TRUE(value.type == REG_DWORD && value.bytes == std::string("\x01\0\0\0", 4)) << name;
        }
    }
}

TEST_F(RegistryRecordsTest, EarlierAssociationIsSavedOnceNeverAsOursAndTheKeyKeptWhole)
{
    const std::string tooLong(400, 'p');
    const struct {
        DWORD type;  // of the default value before, REG_NONE for none
        std::string earlier;   // its bytes as stored
        const char *saved;     // VemlaPrevious before, or null
        const char *expected;  // VemlaPrevious after two installations, or null for none
    } cases[] = {
        {REG_NONE, "", NULL, NULL},
        {REG_SZ, std::string(1, '\0'), NULL, NULL},
        {REG_SZ, std::string("jpegfile", 9), NULL, "jpegfile"},
        {REG_SZ, std::string("vemla", 6), NULL, NULL},                   // ProgIDs ignore letter case
        {REG_SZ, std::string("Vemla", 6), "jpegfile", "jpegfile"},       // reinstall over our own
        {REG_SZ, std::string("Viewer.JPG", 11), "older", "Viewer.JPG"},  // another program took it since
        {REG_SZ, "pngfile", NULL, "pngfile"},                            // stored without its NUL
        {REG_DWORD, "AAAA", NULL, NULL},
        {REG_SZ, tooLong + '\0', NULL, NULL},  // cannot be saved: refused, left as it was
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.earlier);
        SetInstallFolder("C:\\Program Files\\Vemla");
        if (c.type != REG_NONE)
            RegSetKeyValueA(HKEY_CLASSES_ROOT, ".jpg", "", c.type, c.earlier.data(), (DWORD)c.earlier.size());
        if (c.saved)
            WriteRegistryString(HKEY_CLASSES_ROOT, ".jpg", Previous, c.saved);
        WriteRegistryString(HKEY_CLASSES_ROOT, ".jpg", "Content Type", "image/jpeg");
        WriteRegistryString(HKEY_CLASSES_ROOT, ".jpg\\ShellNew", "ItemName", "photo");
        bool refused = c.earlier.size() > MAX_PATH;
        EXPECT_EQ(refused ? 0 : 1, RegisterFileType(".jpg"));
        EXPECT_EQ(refused ? 0 : 1, RegisterFileType(".jpg"));
        ExpectString(HKEY_CLASSES_ROOT, ".jpg", "", refused ? tooLong : "Vemla");
        ExpectString(HKEY_CLASSES_ROOT, ".jpg", "Content Type", "image/jpeg");
        ExpectString(HKEY_CLASSES_ROOT, ".jpg\\ShellNew", "ItemName", "photo");
        EXPECT_EQ(c.expected ? std::string(c.expected) + '\0' : "",
                  ReadRegistryValue(HKEY_CLASSES_ROOT, ".jpg", Previous).bytes);
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
