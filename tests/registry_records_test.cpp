// The file type, associations and uninstall entry, written into an isolated registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "core/bounded_text.h"
#include "core/setup_state.h"
#include "system/registry_records.h"
#include "tests/support/test_support.h"

static const char CommandKey[] = "Vemla\\shell\\open\\command";
static const char EntryKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vemla";

class RegistryRecordsTest : public ::testing::Test {
protected:
    void SetUp() override { SetInstallFolder("C:\\Program Files\\Vemla"); }
    void SetInstallFolder(const std::string &folder)
    {
        ASSERT_EQ(1, CopyText(SetupState.installFolder, sizeof SetupState.installFolder,
                              folder.c_str()));
    }
    void ClearRecords()
    {
        for (const char *key : {"Vemla", ".jpg", ".png", ".bmp", ".dib"})
            RegDeleteTreeA(HKEY_CLASSES_ROOT, key);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, EntryKey);
    }
    // A REG_SZ whose byte count holds the text and one NUL.
    void ExpectString(HKEY root, const char *key, const char *name, const std::string &text)
    {
        RegistryValue value = ReadRegistryValue(root, key, name);
        EXPECT_TRUE(value.found && value.type == REG_SZ) << key << " \"" << name << "\"";
        EXPECT_EQ(text + '\0', value.bytes) << key << " \"" << name << "\"";
    }
    ScopedRegistryOverride registry;
};

TEST_F(RegistryRecordsTest, ValuesAreExactAndCommandsQuotedForAnyFolder)
{
    ASSERT_EQ(932u, GetACP()) << "one folder is Japanese";
    static const struct {
        const char *folder;
        const char *joined;  // the folder with one separator, as files are joined to it
    } cases[] = {
        {"C:\\Program Files\\Vemla", "C:\\Program Files\\Vemla\\"},
        {"C:\\My Apps\\", "C:\\My Apps\\"},
        {"C:\\", "C:\\"},
        {"D:\\ソフト 表", "D:\\ソフト 表\\"},  // ends in 5C
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.folder);
        SetInstallFolder(c.folder);
        ClearRecords();
        EXPECT_EQ(1, RegisterFileType(".bmp"));
        EXPECT_EQ(1, RegisterFileType(".dib"));
        EXPECT_EQ(1, RegisterUninstallEntry());
        ExpectString(HKEY_CLASSES_ROOT, "Vemla", "", "Vemla Image");
        std::string joined = c.joined;
        ExpectString(HKEY_CLASSES_ROOT, CommandKey, "", "\"" + joined + "vemla.exe\" \"%1\"");
        for (const char *extension : {".bmp", ".dib"}) {
            ExpectString(HKEY_CLASSES_ROOT, extension, "", "Vemla");
            EXPECT_FALSE(ReadRegistryValue(HKEY_CLASSES_ROOT, extension, PreviousValueName).found);
        }
        EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ".jpg"));
        ExpectString(HKEY_LOCAL_MACHINE, EntryKey, "UninstallString",
                     "\"" + joined + "setup.exe\" /u");
        ExpectString(HKEY_LOCAL_MACHINE, EntryKey, "DisplayName", "Vemla");
        ExpectString(HKEY_LOCAL_MACHINE, EntryKey, "InstallLocation", c.folder);
        ExpectString(HKEY_LOCAL_MACHINE, EntryKey, "DisplayIcon", joined + "vemla.exe,0");
        for (const char *name : {"NoModify", "NoRepair"}) {
            RegistryValue value = ReadRegistryValue(HKEY_LOCAL_MACHINE, EntryKey, name);
            EXPECT_EQ(REG_DWORD, value.type) << name;
            EXPECT_EQ(std::string("\x01\0\0\0", 4), value.bytes) << name;
        }
    }
}

TEST_F(RegistryRecordsTest, EarlierAssociationIsSavedOnceNeverAsOursAndTheKeyKeptWhole)
{
    static const struct {
        const char *earlier;   // default value before, or null for none
        const char *saved;     // VemlaPrevious before, or null
        const char *expected;  // VemlaPrevious after two installations, or null for none
    } cases[] = {
        {NULL, NULL, NULL},
        {"", NULL, NULL},
        {"jpegfile", NULL, "jpegfile"},
        {"vemla", NULL, NULL},                  // ProgIDs ignore letter case
        {"Vemla", "jpegfile", "jpegfile"},      // reinstall over our own association
        {"Viewer.JPG", "older", "Viewer.JPG"},  // another program took it since
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.earlier ? c.earlier : "(no value)");
        ClearRecords();
        if (c.earlier)
            WriteRegistryString(HKEY_CLASSES_ROOT, ".jpg", "", c.earlier);
        if (c.saved)
            WriteRegistryString(HKEY_CLASSES_ROOT, ".jpg", PreviousValueName, c.saved);
        WriteRegistryString(HKEY_CLASSES_ROOT, ".jpg", "Content Type", "image/jpeg");
        WriteRegistryString(HKEY_CLASSES_ROOT, ".jpg\\ShellNew", "ItemName", "photo");
        EXPECT_EQ(1, RegisterFileType(".jpg"));
        EXPECT_EQ(1, RegisterFileType(".jpg"));
        ExpectString(HKEY_CLASSES_ROOT, ".jpg", "", "Vemla");
        ExpectString(HKEY_CLASSES_ROOT, ".jpg", "Content Type", "image/jpeg");
        ExpectString(HKEY_CLASSES_ROOT, ".jpg\\ShellNew", "ItemName", "photo");
        EXPECT_EQ(c.expected ? std::string(c.expected) + '\0' : "",
                  ReadRegistryValue(HKEY_CLASSES_ROOT, ".jpg", PreviousValueName).bytes);
    }
}

TEST_F(RegistryRecordsTest, EarlierValueIsReadAsAStringOfItsOwnLength)
{
    // Stored without its NUL, as a number, or too long to save: none may leak into the saved
    // value, and one too long stays as it was.
    DWORD number = 0x41414141;
    ASSERT_EQ(0, RegSetKeyValueA(HKEY_CLASSES_ROOT, ".png", "", REG_SZ, "pngfileXYZ", 7));
    ASSERT_EQ(0, RegSetKeyValueA(HKEY_CLASSES_ROOT, ".dib", "", REG_DWORD, &number, 4));
    std::string tooLong(400, 'p');
    WriteRegistryString(HKEY_CLASSES_ROOT, ".bmp", "", tooLong.c_str());

    EXPECT_EQ(1, RegisterFileType(".png"));
    ExpectString(HKEY_CLASSES_ROOT, ".png", PreviousValueName, "pngfile");
    EXPECT_EQ(1, RegisterFileType(".dib"));
    ExpectString(HKEY_CLASSES_ROOT, ".dib", "", "Vemla");
    EXPECT_FALSE(ReadRegistryValue(HKEY_CLASSES_ROOT, ".dib", PreviousValueName).found);
    EXPECT_EQ(0, RegisterFileType(".bmp"));
    ExpectString(HKEY_CLASSES_ROOT, ".bmp", "", tooLong);
    EXPECT_FALSE(ReadRegistryValue(HKEY_CLASSES_ROOT, ".bmp", PreviousValueName).found);
}

TEST_F(RegistryRecordsTest, CommandsThatDoNotFitWriteNothing)
{
    // The open command is the folder and 17 bytes, the uninstall command the folder and 15;
    // 259 bytes fit their 260-byte buffers.
    static const struct {
        int folderLength;
        int fileTypeResult;
        int uninstallResult;
    } cases[] = {{242, 1, 1}, {243, 0, 1}, {244, 0, 1}, {245, 0, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.folderLength);
        ClearRecords();
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
    // A volatile root refuses lasting keys under it (ERROR_CHILD_MUST_BE_VOLATILE).
    HKEY classes, machine;
    ASSERT_EQ(0, RegCreateKeyExA(registry.classesRoot, "Volatile", 0, NULL, REG_OPTION_VOLATILE,
                                 KEY_ALL_ACCESS, NULL, &classes, NULL));
    ASSERT_EQ(0, RegCreateKeyExA(registry.localMachine, "Volatile", 0, NULL, REG_OPTION_VOLATILE,
                                 KEY_ALL_ACCESS, NULL, &machine, NULL));
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
