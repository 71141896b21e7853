// Creating folder paths through the current directory, against Wine's real file system.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdlib.h>

#include <string>

#include "system/folder_path.h"
#include "tests/support/test_support.h"

TEST(NormalizeSeparators, OnlyRealSeparatorsBecomeSlashes)
{
    static const struct {
        const char *input;
        const char *normalized;
    } cases[] = {
        {"C:\\Program Files\\Vemla", "C:/Program Files/Vemla"},
        {"\\\\server\\share\\", "//server/share/"},
        {"a/b\\c", "a/b/c"},
        {"C:\\表\\示", "C:/表/示"},            // 表 is 95 5C
        {"\x81\\\x9F\\\xE0\\\xFC\\\\", "\x81\\\x9F\\\xE0\\\xFC\\/"},
        {"\x80\\\xFD\\\xFF\\", "\x80\\\xFD\\\xFF\\"},  // fixed ranges, whatever the code page
        {"\x7F\\\xA0\\\xDF\\", "\x7F/\xA0/\xDF/"},     // ASCII and half-width katakana are single
        {"", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input);
        char buffer[64];
        lstrcpyA(buffer, c.input);
        NormalizeSeparators(buffer);
        EXPECT_STREQ(c.normalized, buffer);
    }

    // A lead byte right before the terminator: the scan stops there and reads nothing after it.
    char buffer[] = {'a', '\\', '\x81', '\0', '\\', '\0'};
    NormalizeSeparators(buffer);
    EXPECT_EQ('/', buffer[1]);
    EXPECT_EQ('\x81', buffer[2]);
    EXPECT_EQ('\\', buffer[4]) << "byte after the terminator was changed";
}

class CreateFolderPathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        startDirectory = CurrentDirectory();
        scratch = MakeScratchFolder("folder");
    }
    void TearDown() override
    {
        SetCurrentDirectoryA(startDirectory.c_str());
        RemoveTree(scratch);
    }
    // Names in scratch, "." and ".." left out.
    int CountEntries(const std::string &folder)
    {
        int count = 0;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return 0;
        do {
            if (lstrcmpA(found.cFileName, ".") && lstrcmpA(found.cFileName, ".."))
                ++count;
        } while (FindNextFileA(search, &found));
        FindClose(search);
        return count;
    }
    std::string startDirectory;
    std::string scratch;
};

TEST_F(CreateFolderPathTest, CreatesWhatIsMissingAndEndsInTheLastFolder)
{
    // Paths are relative to the scratch folder; "" is the scratch folder itself.
    static const struct {
        const char *path;
        const char *lastFolder;       // the current directory afterwards
        const char *other;            // another folder that must exist, or null
    } cases[] = {
        {"", "", NULL},                               // all folders exist
        {"\\a\\b\\c", "\\a\\b\\c", NULL},
        {"\\a\\b\\c", "\\a\\b\\c", NULL},             // again: all exist now
        {"\\a\\b2", "\\a\\b2", "\\a\\b\\c"},          // first exists, last is new
        {"\\new\\", "\\new", NULL},                   // trailing separator
        {"\\new2\\\\x", "\\new2\\x", NULL},           // doubled after a new folder
        {"\\\\\\a\\\\b\\\\\\d\\\\", "\\a\\b\\d", NULL},  // doubled everywhere
        {"/s1/s2", "\\s1\\s2", NULL},                 // forward slashes
        {"\\x\\.\\y\\..\\z", "\\x\\z", "\\x\\y"},     // . and .. walk like any folder
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        std::string path = scratch + c.path;
        SetCurrentDirectoryA(startDirectory.c_str());
        EXPECT_EQ(1, CreateFolderPath(path.c_str()));
        std::string last = scratch + c.lastFolder;
        EXPECT_TRUE(FolderExists(last)) << last;
        EXPECT_STREQ(last.c_str(), CurrentDirectory().c_str());
        if (c.other)
            EXPECT_TRUE(FolderExists(scratch + c.other)) << c.other;
    }
    EXPECT_EQ(5, CountEntries(scratch)) << "only a, new, new2, s1 and x expected";
}

TEST_F(CreateFolderPathTest, RelativePathsStartAtTheCurrentDirectory)
{
    ASSERT_TRUE(CreateDirectoryA((scratch + "\\have").c_str(), NULL));
    static const char *const paths[] = {"r1\\r2", "have\\r3", "have\\r3\\r4", "have"};
    for (const char *path : paths) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(SetCurrentDirectoryA(scratch.c_str()));
        EXPECT_EQ(1, CreateFolderPath(path));
        EXPECT_STREQ((scratch + "\\" + path).c_str(), CurrentDirectory().c_str());
    }
    // An existing first folder is entered once, not looked for again inside itself.
    EXPECT_FALSE(FolderExists(scratch + "\\have\\have"));
    EXPECT_EQ(2, CountEntries(scratch));
}

TEST_F(CreateFolderPathTest, LeadingSeparatorStartsAtTheCurrentDrivesRoot)
{
    ASSERT_EQ(':', scratch[1]) << scratch;
    ASSERT_TRUE(SetCurrentDirectoryA(scratch.c_str()));
    std::string rooted = scratch.substr(2) + "\\top\\inner";  // "\users\...\top\inner"
    EXPECT_EQ(1, CreateFolderPath(rooted.c_str()));
    EXPECT_TRUE(FolderExists(scratch + "\\top\\inner"));
    EXPECT_STREQ((scratch + "\\top\\inner").c_str(), CurrentDirectory().c_str());
    EXPECT_FALSE(FolderExists(scratch + "\\" + rooted)) << "taken as relative";
}

TEST_F(CreateFolderPathTest, ShiftJisTrailByteDoesNotSplitAFolder)
{
    ASSERT_EQ(932u, GetACP()) << "these cases need the Japanese ANSI code page";
    // 表 ends in 0x5C: once inside a component, once right before a real separator.
    EXPECT_EQ(1, CreateFolderPath((scratch + "\\表示\\表").c_str()));
    EXPECT_TRUE(FolderExists(scratch + "\\表示\\表"));
    EXPECT_STREQ((scratch + "\\表示\\表").c_str(), CurrentDirectory().c_str());
    EXPECT_EQ(1, CountEntries(scratch)) << "split at the trail byte into \\x95";
    EXPECT_EQ(1, CountEntries(scratch + "\\表示"));
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(L"..\\..\\\u8868\u793A\\\u8868", &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search) << "folders not named 表示 and 表 in UTF-16";
    FindClose(search);
}

TEST_F(CreateFolderPathTest, FolderThatCannotBeMadeStopsTheWalk)
{
    WriteFileBytes(scratch + "\\blocker", "a file");
    static const struct {
        const char *path;
        const char *kept;  // made before the failure; the current directory afterwards
    } cases[] = {
        {"\\blocker\\z", ""},
        {"\\n1\\n2\\..\\..\\blocker\\z", "\\n1\\n2"},  // back in scratch when blocked
        {"\\m1\\m2\\bad|name\\z", "\\m1\\m2"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(0, CreateFolderPath((scratch + c.path).c_str()));
        EXPECT_TRUE(FolderExists(scratch + c.kept));
        EXPECT_FALSE(FolderExists(scratch + c.kept + "\\z"));
    }
    EXPECT_TRUE(FileExists(scratch + "\\blocker"));
    EXPECT_STREQ((scratch + "\\m1\\m2").c_str(), CurrentDirectory().c_str());
}

TEST_F(CreateFolderPathTest, InputOf260BytesIsRefusedWhole)
{
    // Doubled separators keep the folder short while the text reaches the limit.
    std::string path = scratch + "\\";
    path += std::string(259 - path.size() - 1, '\\') + "x";
    ASSERT_EQ(259u, path.size());
    std::string longer = path;
    longer.insert(scratch.size(), "\\");
    longer.back() = 'y';
    ASSERT_EQ(260u, longer.size());

    ASSERT_TRUE(SetCurrentDirectoryA(startDirectory.c_str()));
    EXPECT_EQ(0, CreateFolderPath(longer.c_str()));
    EXPECT_FALSE(FolderExists(scratch + "\\y"));
    EXPECT_STREQ(startDirectory.c_str(), CurrentDirectory().c_str()) << "nothing done";

    EXPECT_EQ(1, CreateFolderPath(path.c_str()));
    EXPECT_TRUE(FolderExists(scratch + "\\x"));
}

TEST_F(CreateFolderPathTest, EmptyOrIncompletePathsCreateNothing)
{
    static const char *const paths[] = {"", "\\\\", "\\\\server", "\\\\server\\", "\\\\\\share"};
    ASSERT_TRUE(SetCurrentDirectoryA(scratch.c_str()));
    for (const char *path : paths) {
        SCOPED_TRACE(path);
        EXPECT_EQ(0, CreateFolderPath(path));
        EXPECT_STREQ(scratch.c_str(), CurrentDirectory().c_str());
    }
    EXPECT_EQ(0, CountEntries(scratch));
}

// Wine serves \\host\share from the prefix's dosdevices\unc\host\share folder.
TEST_F(CreateFolderPathTest, NetworkShareIsEnteredWholeNeverCreated)
{
    const char *prefix = getenv("WINEPREFIX");
    if (!prefix || prefix[0] != '/')
        GTEST_SKIP() << "needs Wine's prefix to serve a network share";
    std::string unc = std::string("Z:") + prefix + "/dosdevices/unc";
    for (char &c : unc)
        if (c == '/')
            c = '\\';
    char host[40];
    wsprintfA(host, "vemlahost%lu", GetCurrentProcessId());
    std::string hostFolder = unc + "\\" + host;
    CreateDirectoryA(unc.c_str(), NULL);
    ASSERT_TRUE(CreateDirectoryA(hostFolder.c_str(), NULL)) << hostFolder;
    ASSERT_TRUE(CreateDirectoryA((hostFolder + "\\share").c_str(), NULL));
    std::string share = std::string("\\\\") + host + "\\share";

    EXPECT_EQ(1, CreateFolderPath((share + "\\x\\\\y\\").c_str()));
    EXPECT_TRUE(FolderExists(hostFolder + "\\share\\x\\y"));
    EXPECT_STREQ((share + "\\x\\y").c_str(), CurrentDirectory().c_str());
    EXPECT_EQ(1, CreateFolderPath(share.c_str()));

    ASSERT_TRUE(SetCurrentDirectoryA(scratch.c_str()));
    EXPECT_EQ(0, CreateFolderPath((std::string("\\\\") + host + "\\other\\x").c_str()));
    EXPECT_FALSE(FolderExists(hostFolder + "\\other")) << "a share was created";
    EXPECT_STREQ(scratch.c_str(), CurrentDirectory().c_str());

    SetCurrentDirectoryA(startDirectory.c_str());
    RemoveTree(hostFolder);
    RemoveDirectoryA(unc.c_str());  // only when no other share is left in it
}
