// The destination page alone, made from dist64's setup.exe template (loaded, not run) with its own
// procedure under a stand-in for the sheet: the folder it proposes, and what Next does with a folder.
// (The sheet, its buttons and the other pages: e2e_test.)
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/layout.h"
#include "base/setup_state.h"
#include "resources/resource.h"
#include "system/registry_records.h"
#include "tests/support/fault_injection.h"
#include "tests/support/test_support.h"
#include "wizard/wizard_sheet.h"
#include "wizard/pages.h"

class DestinationPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(932u, GetACP()) << "the expected texts are code page 932";
        const char *root = getenv("VEMLA_BUILD_ROOT");  // a Linux path; Wine shows / as Z:
        std::string path = std::string("Z:") + (root ? root : "") + "/dist64/setup.exe";
        std::replace(path.begin(), path.end(), '/', '\\');
        ASSERT_TRUE(setup = LoadLibraryA(path.c_str())) << "cannot load " << path;
        SetupState.instance = setup;  // the distribution folder is the running program's
        sheet = CreateWindowExA(0, "STATIC", "sheet", WS_POPUP, 0, 0, 400, 300, NULL, NULL, NULL, NULL);
    }
    void TearDown() override
    {
        DestroyWindow(sheet);
        SetupState.instance = NULL;
        SetCurrentDirectoryA(startDirectory.c_str());
        RemoveTree(scratch);
    }
    // The page as the sheet shows it: its field filled by WM_INITDIALOG.
    HWND MakePage()
    {
        HWND page = CreateDialogParamA(setup, MAKEINTRESOURCEA(IDD_DESTINATION), sheet, DestinationPage, 0);
        EXPECT_TRUE(page) << "no page: " << GetLastError();
        return page;
    }
    static std::string Field(HWND page)
    {
        char text[MAX_PATH + 8] = "";
        GetDlgItemTextA(page, IDC_FOLDER, text, sizeof text);
        return text;
    }
    HMODULE setup = NULL;
    HWND sheet = NULL;
    std::string startDirectory = CurrentDirectory(), scratch = MakeScratchFolder("wizard");
    ScopedRegistryOverride registry;
};

// A reinstallation is proposed where the recorded one is; a first one this system's Program Files.
TEST_F(DestinationPageTest, ProposesTheRecordedFolderElseProgramFiles)
{
    const struct { const char *location, *command; std::string proposed; DWORD type; } cases[] = {
        {"D:\\Apps\\Vemla 2", "\"E:\\Other\\setup.exe\" /u", "D:\\Apps\\Vemla 2"},
        {"", "\"E:\\Tools\\表\\setup.exe\" /u", "E:\\Tools\\表"},
        {NULL, "E:\\Old Setup\\setup.exe /u", "E:\\Old Setup"},
        {"D:\\Not A String", "\"E:\\Tools\\V\\setup.exe\" /u", "E:\\Tools\\V", REG_BINARY},
        {NULL, NULL, SpecialFolder(CSIDL_PROGRAM_FILES) + "\\Vemla"},
    };
    for (const auto &c : cases) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, UninstallKey);
        if (c.location)
            RegSetKeyValueA(HKEY_LOCAL_MACHINE, UninstallKey, "InstallLocation", c.type ? c.type : REG_SZ, c.location,
                            lstrlenA(c.location) + 1);
        if (c.command)
            WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString", c.command);
        HWND page = MakePage();
        EXPECT_EQ(Shown(c.proposed), Shown(Field(page)));
        EXPECT_EQ(MAX_PATH - 1, SendDlgItemMessageA(page, IDC_FOLDER, EM_GETLIMITTEXT, 0, 0)) << "the field's limit";
        DestroyWindow(page);
    }
}

// Next: the question, creation, refusals, the free space, and the folder stored and shown absolute.
TEST_F(DestinationPageTest, NextAsksCreatesOrRefusesAndStoresTheFolder)
{
    const std::string existing = scratch + "\\existing", created = scratch + "\\新しい表\\ソフト";  // 表: 95 5C
    const std::string tooLong = scratch + "\\" + std::string(MAX_PATH - 1 - scratch.size(), 'a');  // 260 bytes
    const std::string foreign = scratch + "\\foreign", ours = scratch + "\\ours", cramped = scratch + "\\cramped";
    for (const std::string &file : {existing + "\\TEXTURE\\x", foreign + "\\mine.doc", foreign + "\\setup.exe", ours + "\\VEMLA.INI"}) {
        SHCreateDirectoryExA(NULL, file.substr(0, file.rfind('\\')).c_str(), NULL);
        WriteFileBytes(file, "x");
    }
    CreateDirectoryA((ours + "\\TEXTURE").c_str(), NULL);
    CreateDirectoryA(cramped.c_str(), NULL);  // empty: everything is still to be written
    const std::string question = "インストール: フォルダが存在しません。\nフォルダを作成しますか？\n";
    const std::string cannot = "インストール: フォルダが作成できません。\n";
    const std::string asked = "インストール: フォルダにはほかのファイルがあります。このフォルダにインストールしますか？\n";
    // What the files take there: each rounded up to whole clusters of the volume, made larger than
    // Wine's 4 KB, which is also the size taken when the volume's cannot be had.
    char source[MAX_PATH];
    ASSERT_TRUE(GetModuleFileNameA(setup, source, sizeof source));
    *strrchr(source, '\\') = '\0';
    const unsigned long cluster = 64 * 1024;
    unsigned long long needed = 0;
    for (int i = 0; i < ProgramFileCount + TextureFileCount; ++i) {
        std::string name = i < ProgramFileCount ? ProgramFiles[i].name : "TEXTURE\\" + std::string(TextureFiles[i - ProgramFileCount].name);
        needed += (ReadFileBytes(std::string(source) + "\\" + name).size() + cluster - 1) / cluster * cluster;
    }
    const std::string full = "インストール: ディスクの空き容量が足りません。\n\n必要な容量: " + std::to_string((needed + 1023) / 1024) +
                             " KB\n空き容量: 1 KB\n";
    const struct {
        std::string typed;
        std::vector<int> answers;
        std::string boxes;  // the message boxes shown, as "caption: text" lines
        bool accepted;      // then TEXTURE exists
        std::string installFolder, notMade;  // a folder that must not exist afterwards
        unsigned long long freeSpace;        // faked for the destination; 0: the real one
    } cases[] = {
        {existing, {}, "", true, existing, ""},
        {created, {IDYES}, question, true, created, ""},
        {scratch + "\\declined", {IDNO}, question, false, scratch + "\\declined", scratch + "\\declined"},
        {"", {IDYES, IDOK}, question + cannot, false, ""},
        {"rel\\.\\x\\..\\sub", {IDYES}, question, true, scratch + "\\rel\\sub", startDirectory + "\\rel"},
        {tooLong, {IDOK}, cannot, false, "unchanged"},
        {std::string(MAX_PATH - 10, 'r'), {IDOK}, cannot, false, "unchanged"},  // too long once made absolute
        {foreign, {IDNO}, asked, false, foreign, foreign + "\\TEXTURE"},
        {foreign, {IDYES}, asked, true, foreign, ""},
        {ours, {}, "", true, ours, ""},  // a reinstallation asks nothing
        {cramped, {IDOK}, full, false, cramped, cramped + "\\TEXTURE", 1024},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("typed " + Shown(c.typed));
        SetCurrentDirectoryA(scratch.c_str());  // what relative names are resolved against
        lstrcpyA(SetupState.installFolder, "unchanged");
        HWND page = MakePage();
        SetDlgItemTextA(page, IDC_FOLDER, c.typed.c_str());
        ScopedMessageBoxScript boxes(c.answers);
        PSHNOTIFY next = {{sheet, 0, (UINT)PSN_WIZNEXT}, 0};
        Faults::FakeVolume(c.freeSpace, cluster);
        Faults::Arm();
        LRESULT handled = SendMessageA(page, WM_NOTIFY, 0, (LPARAM)&next);
        Faults::Disarm();
        EXPECT_EQ(c.accepted ? "0 0" : "-1 -1", std::to_string(handled) + " " + std::to_string(GetWindowLongPtrA(page, DWLP_MSGRESULT)))
            << "the reply, and what the procedure returned";
        std::string seen;
        for (const SeenMessageBox &box : boxes.seen)
            seen += box.caption + ": " + box.text + "\n";
        EXPECT_EQ(Shown(c.boxes), Shown(seen)) << "message boxes";
        EXPECT_EQ(Shown(c.installFolder), Shown(SetupState.installFolder)) << "installFolder";
        EXPECT_TRUE(c.installFolder == "unchanged" || c.installFolder == Field(page)) << "the field: " << Field(page);
        EXPECT_EQ(c.accepted, FolderExists(c.installFolder + "\\TEXTURE")) << "TEXTURE";
        EXPECT_TRUE(c.notMade.empty() || !FolderExists(c.notMade)) << Shown(c.notMade);
        DestroyWindow(page);
    }
}
