// The file type, associations and uninstall entry, written into an isolated registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "core/bounded_text.h"
#include "core/setup_state.h"
#include "system/registry_records.h"
#include "tests/support/test_support.h"

static const char CommandKey[] = "Vemla\\shell\\open\\command";

// The stored bytes of a string value: its text and the one NUL the writer must count.
static std::string Sz(const std::string &text)
{
    return text + '\0';
}

// Splits a stored command as the system does: a quoted program runs to its closing quote,
// an unquoted one to the first blank.
static void SplitCommand(const std::string &command, std::string *program, std::string *rest)
{
    size_t end;
    if (!command.empty() && command[0] == '"') {
        end = command.find('"', 1);
        *program = command.substr(1, end - 1);
        ++end;
    } else {
        end = command.find(' ');
        *program = command.substr(0, end);
    }
    *rest = end < command.size() ? command.substr(end) : "";
}

class RegistryRecordsTest : public ::testing::Test {
protected:
    void SetUp() override { SetInstallFolder("C:\\Program Files\\Vemla"); }
    void SetInstallFolder(const std::string &folder)
    {
        ASSERT_EQ(1, CopyText(SetupState.installFolder, sizeof SetupState.installFolder,
                              folder.c_str()));
    }
    // Deletes a key of the scratch copy of root ("HKCR" or "HKLM"), never of the real registry.
    void DeleteScratchKey(const char *root, const char *key)
    {
        std::string path = registry.scratchPath + "\\" + root + "\\" + key;
        RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    }
    void ExpectString(HKEY root, const char *key, const char *name, const std::string &text)
    {
        RegistryValue value = ReadRegistryValue(root, key, name);
        ASSERT_TRUE(value.found) << key << " value \"" << name << "\"";
        EXPECT_EQ((DWORD)REG_SZ, value.type) << key << " value \"" << name << "\"";
        EXPECT_EQ(Sz(text), value.bytes) << key << " value \"" << name << "\"";
        EXPECT_EQ(text.size() + 1, value.bytes.size()) << key << " value \"" << name << "\"";
    }
    ScopedRegistryOverride registry;
};

TEST_F(RegistryRecordsTest, FileTypeValuesAreExact)
{
    EXPECT_EQ(1, RegisterFileType(".bmp"));
    EXPECT_EQ(1, RegisterFileType(".dib"));
    ExpectString(HKEY_CLASSES_ROOT, "Vemla", "", "Vemla Image");
    EXPECT_EQ(12u, ReadRegistryValue(HKEY_CLASSES_ROOT, "Vemla", "").bytes.size());
    ExpectString(HKEY_CLASSES_ROOT, CommandKey, "",
                 "\"C:\\Program Files\\Vemla\\vemla.exe\" \"%1\"");
    for (const char *extension : {".bmp", ".dib"}) {
        ExpectString(HKEY_CLASSES_ROOT, extension, "", "Vemla");
        EXPECT_EQ(6u, ReadRegistryValue(HKEY_CLASSES_ROOT, extension, "").bytes.size());
        EXPECT_FALSE(ReadRegistryValue(HKEY_CLASSES_ROOT, extension, PreviousValueName).found)
            << extension << ": nothing earlier to save";
    }
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ".jpg"));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ".png"));
    // The writes went to the scratch key, not the real classes root.
    EXPECT_TRUE(RegistryKeyExists(HKEY_CURRENT_USER, (registry.scratchPath + "\\HKCR\\Vemla").c_str()));
}

TEST_F(RegistryRecordsTest, UninstallEntryValuesAreExact)
{
    EXPECT_EQ(1, RegisterUninstallEntry());
    ExpectString(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString",
                 "\"C:\\Program Files\\Vemla\\setup.exe\" /u");
    ExpectString(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayName", "Vemla");
    ExpectString(HKEY_LOCAL_MACHINE, UninstallKey, "InstallLocation", "C:\\Program Files\\Vemla");
    ExpectString(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayIcon",
                 "C:\\Program Files\\Vemla\\vemla.exe,0");
    for (const char *name : {"NoModify", "NoRepair"}) {
        RegistryValue value = ReadRegistryValue(HKEY_LOCAL_MACHINE, UninstallKey, name);
        ASSERT_TRUE(value.found) << name;
        EXPECT_EQ((DWORD)REG_DWORD, value.type) << name;
        EXPECT_EQ(std::string("\x01\0\0\0", 4), value.bytes) << name;
    }
    EXPECT_STREQ("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vemla", UninstallKey);
}

TEST_F(RegistryRecordsTest, CommandsRunTheRightProgramForAnyFolder)
{
    ASSERT_EQ(932u, GetACP()) << "one folder is Japanese";
    static const struct {
        const char *folder;
        const char *application;  // vemla.exe in that folder
    } cases[] = {
        {"C:\\Program Files\\Vemla", "C:\\Program Files\\Vemla\\vemla.exe"},
        {"C:\\My Apps\\", "C:\\My Apps\\vemla.exe"},
        {"C:\\", "C:\\vemla.exe"},
        {"D:\\ソフト 表", "D:\\ソフト 表\\vemla.exe"},  // ends in the trail byte 0x5C
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.folder);
        SetInstallFolder(c.folder);
        ASSERT_EQ(1, RegisterFileType(".png"));
        ASSERT_EQ(1, RegisterUninstallEntry());

        std::string program, rest;
        std::string open = ReadRegistryValue(HKEY_CLASSES_ROOT, CommandKey, "").bytes;
        SplitCommand(open.c_str(), &program, &rest);
        EXPECT_EQ(c.application, program);
        EXPECT_EQ(" \"%1\"", rest);

        std::string uninstall =
            ReadRegistryValue(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString").bytes;
        SplitCommand(uninstall.c_str(), &program, &rest);
        std::string setup = c.application;
        setup.replace(setup.size() - 9, 9, "setup.exe");
        EXPECT_EQ(setup, program);
        EXPECT_EQ(" /u", rest);

        ExpectString(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayIcon",
                     std::string(c.application) + ",0");
        ExpectString(HKEY_LOCAL_MACHINE, UninstallKey, "InstallLocation", c.folder);
    }
}

TEST_F(RegistryRecordsTest, ExistingExtensionKeepsItsOtherValuesAndSubkeys)
{
    WriteRegistryString(HKEY_CLASSES_ROOT, ".bmp", "", "Paint.Picture");
    WriteRegistryString(HKEY_CLASSES_ROOT, ".bmp", "Content Type", "image/bmp");
    WriteRegistryString(HKEY_CLASSES_ROOT, ".bmp\\ShellNew", "ItemName", "bitmap");
    WriteRegistryString(HKEY_CLASSES_ROOT, ".bmp\\OpenWithProgids", "Paint.Picture", "");

    EXPECT_EQ(1, RegisterFileType(".bmp"));
    ExpectString(HKEY_CLASSES_ROOT, ".bmp", "", "Vemla");
    ExpectString(HKEY_CLASSES_ROOT, ".bmp", PreviousValueName, "Paint.Picture");
    ExpectString(HKEY_CLASSES_ROOT, ".bmp", "Content Type", "image/bmp");
    ExpectString(HKEY_CLASSES_ROOT, ".bmp\\ShellNew", "ItemName", "bitmap");
    ExpectString(HKEY_CLASSES_ROOT, ".bmp\\OpenWithProgids", "Paint.Picture", "");
}

TEST_F(RegistryRecordsTest, EarlierAssociationIsSavedOnceAndNeverAsOurs)
{
    static const struct {
        const char *earlier;   // default value before, or null for none
        const char *saved;     // VemlaPrevious before, or null
        const char *expected;  // VemlaPrevious after two installations, or null for none
    } cases[] = {
        {NULL, NULL, NULL},
        {"", NULL, NULL},
        {"jpegfile", NULL, "jpegfile"},
        {"Vemla", NULL, NULL},
        {"vemla", NULL, NULL},                    // ProgIDs ignore letter case
        {"Vemla", "jpegfile", "jpegfile"},        // reinstall over our own association
        {"Viewer.JPG", "older", "Viewer.JPG"},  // another program took it since
        {"画像ビューア.jpg", NULL, "画像ビューア.jpg"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.earlier ? c.earlier : "(no value)");
        DeleteScratchKey("HKCR", ".jpg");
        if (c.earlier)
            WriteRegistryString(HKEY_CLASSES_ROOT, ".jpg", "", c.earlier);
        if (c.saved)
            WriteRegistryString(HKEY_CLASSES_ROOT, ".jpg", PreviousValueName, c.saved);
        EXPECT_EQ(1, RegisterFileType(".jpg"));
        EXPECT_EQ(1, RegisterFileType(".jpg"));
        ExpectString(HKEY_CLASSES_ROOT, ".jpg", "", "Vemla");
        RegistryValue previous = ReadRegistryValue(HKEY_CLASSES_ROOT, ".jpg", PreviousValueName);
        if (c.expected)
            ExpectString(HKEY_CLASSES_ROOT, ".jpg", PreviousValueName, c.expected);
        else
            EXPECT_FALSE(previous.found) << "saved \"" << previous.bytes << "\"";
    }
}

TEST_F(RegistryRecordsTest, EarlierValueIsReadAsAStringOfItsOwnLength)
{
    // Stored without a NUL, and with a number type: neither may leak bytes into the saved value.
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, ".png", 0, NULL, 0, KEY_ALL_ACCESS,
                                             NULL, &key, NULL));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "", 0, REG_SZ, (const BYTE *)"pngfileXYZ", 7));
    RegCloseKey(key);
    EXPECT_EQ(1, RegisterFileType(".png"));
    ExpectString(HKEY_CLASSES_ROOT, ".png", PreviousValueName, "pngfile");

    DeleteScratchKey("HKCR", ".dib");
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, ".dib", 0, NULL, 0, KEY_ALL_ACCESS,
                                             NULL, &key, NULL));
    DWORD number = 0x41414141;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "", 0, REG_DWORD, (const BYTE *)&number, 4));
    RegCloseKey(key);
    EXPECT_EQ(1, RegisterFileType(".dib"));
    ExpectString(HKEY_CLASSES_ROOT, ".dib", "", "Vemla");
    EXPECT_FALSE(ReadRegistryValue(HKEY_CLASSES_ROOT, ".dib", PreviousValueName).found);
}

TEST_F(RegistryRecordsTest, EarlierValueTooLongToSaveIsLeftAlone)
{
    std::string earlier(400, 'p');
    WriteRegistryString(HKEY_CLASSES_ROOT, ".bmp", "", earlier.c_str());
    EXPECT_EQ(0, RegisterFileType(".bmp"));
    ExpectString(HKEY_CLASSES_ROOT, ".bmp", "", earlier);
    EXPECT_FALSE(ReadRegistryValue(HKEY_CLASSES_ROOT, ".bmp", PreviousValueName).found);
}

TEST_F(RegistryRecordsTest, CommandsThatDoNotFitWriteNothing)
{
    // "\"" folder "\vemla.exe\" \"%1\"" is the folder and 17 bytes; "\"" folder "\setup.exe\" /u"
    // is the folder and 15; 259 bytes fit in the 260-byte buffers.
    static const struct {
        int folderLength;
        int fileTypeResult;
        int uninstallResult;
    } cases[] = {
        {242, 1, 1},
        {243, 0, 1},
        {244, 0, 1},
        {245, 0, 0},
        {259, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.folderLength);
        DeleteScratchKey("HKCR", "Vemla");
        DeleteScratchKey("HKCR", ".jpg");
        DeleteScratchKey("HKLM", UninstallKey);
        SetInstallFolder("C:\\" + std::string(c.folderLength - 3, 'f'));
        EXPECT_EQ(c.fileTypeResult, RegisterFileType(".jpg"));
        EXPECT_EQ(c.fileTypeResult == 1, RegistryKeyExists(HKEY_CLASSES_ROOT, "Vemla"));
        EXPECT_EQ(c.fileTypeResult == 1, RegistryKeyExists(HKEY_CLASSES_ROOT, ".jpg"));
        EXPECT_EQ(c.uninstallResult, RegisterUninstallEntry());
        EXPECT_EQ(c.uninstallResult == 1, RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey));
        if (c.fileTypeResult) {
            std::string command = ReadRegistryValue(HKEY_CLASSES_ROOT, CommandKey, "").bytes;
            EXPECT_EQ(260u, command.size()) << "259 characters and the NUL";
        }
    }
}

// While alive, root leads to a fresh volatile key of the scratch tree: the registry refuses new
// lasting keys under it (ERROR_CHILD_MUST_BE_VOLATILE), while keys that exist still open.
struct ScopedVolatileRoot {
    ScopedVolatileRoot(HKEY root, HKEY scratchCopy) : root(root), scratchCopy(scratchCopy)
    {
        volatileKey = NULL;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(scratchCopy, "Volatile", 0, NULL,
                                                 REG_OPTION_VOLATILE, KEY_ALL_ACCESS, NULL,
                                                 &volatileKey, NULL));
        EXPECT_EQ(ERROR_SUCCESS, RegOverridePredefKey(root, volatileKey));
    }
    ~ScopedVolatileRoot()
    {
        RegOverridePredefKey(root, scratchCopy);
        RegCloseKey(volatileKey);
        RegDeleteTreeA(scratchCopy, "Volatile");
    }
    // Makes a key that exists before the code under test runs.
    void AddKey(const char *name)
    {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, name, 0, NULL, REG_OPTION_VOLATILE,
                                                 KEY_ALL_ACCESS, NULL, &key, NULL));
        RegCloseKey(key);
    }
    HKEY root;
    HKEY scratchCopy;
    HKEY volatileKey;
};

TEST_F(RegistryRecordsTest, KeysThatCannotBeMadeGiveZero)
{
    {
        ScopedVolatileRoot locked(HKEY_CLASSES_ROOT, registry.classesRoot);
        EXPECT_EQ(0, RegisterFileType(".bmp"));
        EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ".bmp")) << "points at no file type";
    }
    {
        ScopedVolatileRoot locked(HKEY_CLASSES_ROOT, registry.classesRoot);
        locked.AddKey("Vemla");
        EXPECT_EQ(0, RegisterFileType(".bmp")) << "no command key";
        EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ".bmp"));
    }
    {
        ScopedVolatileRoot locked(HKEY_CLASSES_ROOT, registry.classesRoot);
        locked.AddKey("Vemla");
        locked.AddKey("Vemla\\shell");
        locked.AddKey("Vemla\\shell\\open");
        locked.AddKey(CommandKey);
        locked.AddKey(".png");
        EXPECT_EQ(0, RegisterFileType(".bmp")) << "no extension key";
        EXPECT_EQ(1, RegisterFileType(".png"));
        ExpectString(HKEY_CLASSES_ROOT, ".png", "", "Vemla");
    }
    {
        ScopedVolatileRoot locked(HKEY_LOCAL_MACHINE, registry.localMachine);
        EXPECT_EQ(0, RegisterUninstallEntry());
    }
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey));
}
