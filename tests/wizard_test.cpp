// The wizard in this process, with the templates of dist64's setup.exe (loaded, not run, and made
// SetupState.instance for the sheet): the pages driven through the real sheet.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/setup_state.h"
#include "system/registry_records.h"
#include "resources/resource.h"
#include "tests/support/fault_injection.h"
#include "tests/support/test_support.h"
#include "wizard/wizard_sheet.h"

namespace {

class Wizard : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(932u, GetACP()) << "the expected texts are code page 932";
        const char *root = getenv("VEMLA_BUILD_ROOT");  // a Linux path; Wine shows / as Z:
        std::string path = std::string("Z:") + (root ? root : "") + "/dist64/setup.exe";
        std::replace(path.begin(), path.end(), '/', '\\');
        ASSERT_TRUE(setup = LoadLibraryA(path.c_str())) << "cannot load " << path;
        SetupState.instance = setup;
        startDirectory = CurrentDirectory();
        scratch = MakeScratchFolder("wizard");
        InitCommonControls();
        CoInitialize(NULL);  // the shortcuts need COM
    }
    void TearDown() override
    {
        CoUninitialize();
        SetCurrentDirectoryA(startDirectory.c_str());
        RemoveTree(scratch);
        SetupState.instance = previousInstance;
    }
    HMODULE setup = NULL;
    HINSTANCE previousInstance = SetupState.instance;
    std::string startDirectory, scratch;
};

// 0 destination, 1 options, 2 finish.
int PageNumber(HWND page)
{
    return GetDlgItem(page, IDC_FOLDER) ? 0 : GetDlgItem(page, IDC_PROGRESS) ? 1 : GetDlgItem(page, IDC_README) ? 2 : -1;
}

// folder null: only note the folder proposed, then Cancel.
struct Drive { const char *folder; std::vector<int> boxes; int step, ticks, page; std::string proposed; } drive;

// The script a thread timer plays, a step a tick while the sheet takes input (no message box over
// it): type the folder, Next; note the page reached, and on the options page tick the boxes and
// press Next when there are any; then Cancel. Presses are posted, as a click comes after the
// current message. A wizard stuck for 30 s is cancelled.
void CALLBACK DriveWizard(HWND, UINT, UINT_PTR, DWORD)
{
    HWND sheet = SetupState.sheetWindow;
    if (sheet && ++drive.ticks == 750) {
        ADD_FAILURE() << "the wizard is stuck at step " << drive.step;
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    }
    if (!sheet || !IsWindowEnabled(sheet) || drive.step == 3)
        return;
    HWND page = (HWND)SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0);
    if (drive.step == 0) {
        EXPECT_EQ(MAX_PATH - 1, SendDlgItemMessageA(page, IDC_FOLDER, EM_GETLIMITTEXT, 0, 0)) << "the field's limit";
        char proposed[MAX_PATH] = "";
        GetDlgItemTextA(page, IDC_FOLDER, proposed, sizeof proposed);
        drive.proposed = proposed;
        if (drive.folder)
            SetDlgItemTextA(page, IDC_FOLDER, drive.folder);
    } else if (drive.step == 1 && (drive.page = PageNumber(page)) == 1) {
        for (int box : drive.boxes)
            PostMessageA(GetDlgItem(page, box), BM_CLICK, 0, 0);
    } else if (drive.step == 2) {
        EXPECT_EQ(2, PageNumber(page)) << "the page after the installation";
    }
    bool next = (drive.step == 0 && drive.folder) || (drive.step == 1 && drive.page == 1 && !drive.boxes.empty());
    PostMessageA(GetDlgItem(sheet, next ? 0x3024 : IDCANCEL), BM_CLICK, 0, 0);  // 0x3024: the sheet's Next
    drive.step = next ? drive.step + 1 : 3;
}

// Next on the destination page: the question, creation, refusals and the folder stored; where the
// options page follows, Next there stores each box in its own option (each box has a pattern of its
// own over the three installations, so two swapped boxes show).
TEST_F(Wizard, NextAsksCreatesRefusesAndStoresFolderAndOptions)
{
    const std::string existing = scratch + "\\existing", created = scratch + "\\新しい表\\ソフト";  // 表: 95 5C
    const std::string declined = scratch + "\\declined";
    const std::string tooLong = scratch + "\\" + std::string(MAX_PATH - 1 - scratch.size(), 'a');  // 260 bytes
    ASSERT_TRUE(CreateDirectoryA(existing.c_str(), NULL));
    const std::string question = "インストール: フォルダが存在しません。\nフォルダを作成しますか？\n";
    const std::string cannot = "インストール: フォルダが作成できません。\n";
    const std::string foreign = scratch + "\\foreign", ours = scratch + "\\ours";
    for (const std::string &file : {foreign + "\\mine.doc", foreign + "\\setup.exe", ours + "\\VEMLA.INI"}) {
        CreateDirectoryA(file.substr(0, file.rfind('\\')).c_str(), NULL);
        WriteFileBytes(file, "x");
    }
    CreateDirectoryA((ours + "\\TEXTURE").c_str(), NULL);
    const std::string cramped = scratch + "\\cramped";  // empty: everything is still to be written
    CreateDirectoryA(cramped.c_str(), NULL);
    const std::string asked = "インストール: フォルダにはほかのファイルがあります。このフォルダにインストールしますか？\n";
    const std::string full = "インストール: ディスクの空き容量が足りません。\n\n必要な容量: * KB\n空き容量: 1 KB\n";
    const struct {
        std::string typed;
        std::vector<int> answers;
        std::string boxes;                   // the message boxes shown, as "caption: text" lines
        int page;                            // where the first Next led; on 1 TEXTURE must exist
        std::string installFolder, notMade;  // a folder that must not exist afterwards
        std::vector<int> ticks;
        const char *options;  // jpeg, bitmap, png, desktop, start menu, send to
        unsigned long long freeSpace;  // faked for the destination; 0: the real one
    } cases[] = {
        {existing, {}, "", 1, existing, "", {IDC_ASSOC_BMP, IDC_DESKTOP, IDC_STARTMENU}, "010110"},
        {created, {IDYES}, question, 1, created, "", {IDC_ASSOC_PNG, IDC_DESKTOP, IDC_SENDTO}, "001101"},
        {declined, {IDNO}, question, 0, declined, declined},
        {"", {IDYES, IDOK}, question + cannot, 0, ""},
        {"rel\\.\\x\\..\\sub", {IDYES}, question, 1, scratch + "\\rel\\sub", startDirectory + "\\rel",
         {IDC_ASSOC_JPG, IDC_STARTMENU, IDC_SENDTO}, "100011"},
        {tooLong, {IDOK}, cannot, 0, "unchanged"},
        {std::string(MAX_PATH - 10, 'r'), {IDOK}, cannot, 0, "unchanged"},  // too long once made absolute
        {foreign, {IDNO}, asked, 0, foreign, foreign + "\\TEXTURE"},
        {foreign, {IDYES}, asked, 1, foreign, ""},
        {ours, {}, "", 1, ours, ""},  // a reinstallation asks nothing
        {cramped, {IDOK}, full, 0, cramped, cramped + "\\TEXTURE", {}, NULL, 1024},
    };
    ScopedRegistryOverride registry;  // Next on the options page installs
    for (const auto &c : cases) {
        SCOPED_TRACE("typed " + Shown(c.typed));
        SetCurrentDirectoryA(scratch.c_str());  // what relative names are resolved against
        lstrcpyA(SetupState.installFolder, "unchanged");
        SetupState.options = InstallOptions();
        ScopedMessageBoxScript boxes(c.answers);
        drive = {c.typed.c_str(), c.ticks, 0, 0, -1, ""};
        Faults::FakeFreeSpace(c.freeSpace);
        Faults::Arm();
        UINT_PTR timer = SetTimer(NULL, 0, 40, DriveWizard);
        RunWizard(GetDesktopWindow());
        Faults::Disarm();
        KillTimer(NULL, timer);
        EXPECT_EQ(3, drive.step) << "steps taken before the wizard closed";
        EXPECT_FALSE(SetupState.sheetWindow) << "a window kept after the sheet closed";
        EXPECT_EQ(c.page, drive.page) << "the page after Next";
        std::string seen;
        for (const SeenMessageBox &box : boxes.seen)
            seen += box.caption + ": " + box.text + "\n";
        size_t any = c.boxes.find('*');  // stands for any text
        EXPECT_TRUE(any == std::string::npos ? seen == c.boxes
                                             : seen.size() > c.boxes.size() && !seen.compare(0, any, c.boxes, 0, any) &&
                                                   seen.substr(seen.size() - (c.boxes.size() - any - 1)) == c.boxes.substr(any + 1))
            << "message boxes: " << Shown(seen);
        EXPECT_EQ(Shown(c.installFolder), Shown(SetupState.installFolder)) << "installFolder";
        EXPECT_TRUE(c.page != 1 || FolderExists(c.installFolder + "\\TEXTURE")) << "TEXTURE not created";
        EXPECT_TRUE(c.notMade.empty() || !FolderExists(c.notMade)) << Shown(c.notMade);
        const InstallOptions &o = SetupState.options;
        std::string options = {char('0' + o.associateJpeg), char('0' + o.associateBitmap), char('0' + o.associatePng),
                               char('0' + o.desktopShortcut), char('0' + o.startMenuGroup), char('0' + o.sendToShortcut)};
        EXPECT_EQ(c.options ? c.options : "000000", options) << "options stored";
    }
    RemoveInstalledShortcuts();  // the shortcut boxes wrote into the prefix's shell folders
}

// A reinstallation is proposed where the recorded one is; a first one this system's Program Files.
TEST_F(Wizard, ProposesTheRecordedFolderElseProgramFiles)
{
    const struct { const char *location, *command; std::string proposed; DWORD type; } cases[] = {
        {"D:\\Apps\\Vemla 2", "\"E:\\Other\\setup.exe\" /u", "D:\\Apps\\Vemla 2"},
        {"", "\"E:\\Tools\\表\\setup.exe\" /u", "E:\\Tools\\表"},
        {NULL, "E:\\Old Setup\\setup.exe /u", "E:\\Old Setup"},
        {"D:\\Not A String", "\"E:\\Tools\\V\\setup.exe\" /u", "E:\\Tools\\V", REG_BINARY},
        {NULL, NULL, SpecialFolder(CSIDL_PROGRAM_FILES) + "\\Vemla"},
    };
    ScopedRegistryOverride registry;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proposed);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, UninstallKey);
        if (c.location)
            RegSetKeyValueA(HKEY_LOCAL_MACHINE, UninstallKey, "InstallLocation", c.type ? c.type : REG_SZ, c.location,
                            lstrlenA(c.location) + 1);
        if (c.command)
            WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString", c.command);
        drive = {NULL, {}, 0, 0, -1, ""};
        UINT_PTR timer = SetTimer(NULL, 0, 40, DriveWizard);
        RunWizard(GetDesktopWindow());
        KillTimer(NULL, timer);
        EXPECT_EQ(Shown(c.proposed), Shown(drive.proposed));
    }
}

}  // namespace
