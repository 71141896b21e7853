// The wizard in this process: the templates and icon of the sample distribution's x86_64 setup.exe
// (loaded, not run, and made SetupState.instance for the sheet), the centring formula, and Next
// driven through the real property sheet, message boxes answered by a thread hook.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/setup_state.h"
#include "resources/resource.h"
#include "tests/support/test_support.h"
#include "wizard/wizard_sheet.h"

namespace {

enum { IdNext = 0x3024 };
const WORD Japanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
const char CreateQuestion[] = "フォルダが存在しません。\nフォルダを作成しますか？";
const char CannotCreate[] = "フォルダが作成できません。";

HMODULE SetupModule()
{
    static HMODULE module;
    const char *root = getenv("VEMLA_BUILD_ROOT");  // a Linux path; Wine shows / as Z:
    std::string path = std::string("Z:") + (root ? root : "") + "/dist64/setup.exe";
    std::replace(path.begin(), path.end(), '/', '\\');
    return module ? module : module = LoadLibraryA(path.c_str());
}

// Code page 932 text, readable in a failure message on a UTF-8 terminal.
std::string Shown(const std::string &text)
{
    wchar_t wide[2048];
    char shown[4096];
    if (!MultiByteToWideChar(932, 0, text.c_str(), -1, wide, 2048) ||
        !WideCharToMultiByte(CP_UTF8, 0, wide, -1, shown, sizeof shown, NULL, NULL))
        return text;
    return shown;
}

// ---- Dialog templates as stored ----

// Reads a template's words, numbers and strings in order.
struct Reader {
    const BYTE *base, *p;
    WORD Word() { return p += 2, *(const WORD *)(p - 2); }
    DWORD Dword() { return p += 4, *(const DWORD *)(p - 4); }
    // A string in code page 932, or a resource number as "#number".
    std::string Text()
    {
        if (*(const WORD *)p == 0xFFFF) {
            p += 2;
            return "#" + std::to_string(Word());
        }
        std::wstring wide;
        for (WORD c = Word(); c; c = Word())
            wide += (wchar_t)c;
        char bytes[2048];
        int length = WideCharToMultiByte(932, 0, wide.c_str(), (int)wide.size(), bytes, sizeof bytes, NULL, NULL);
        return std::string(bytes, length);
    }
};

// The predefined control classes, as templates name them.
const char Button[] = "#128", Edit[] = "#129", Static[] = "#130";
const DWORD Tab = WS_TABSTOP;

const struct Row {
    int dialog, id;
    const char *className;
    DWORD style;  // the control type and the style bits that must be set
    short place[4];
    const char *text;
} Controls[] = {
    {101, -1, Static, SS_LEFT, {36, 8, 220, 36},
     "Vemlaのインストールプログラムにようこそ！\n\nVemlaは初心者でも簡単に操作のできるフォトレタッチソフトです。"},
    {101, -1, Static, SS_LEFT, {8, 61, 150, 8}, "インストール先のフォルダを入力してください。："},
    {101, 1000, Edit, WS_BORDER | Tab | ES_AUTOHSCROLL, {7, 75, 192, 14}, ""},
    {101, 1001, Button, BS_PUSHBUTTON | Tab, {206, 75, 50, 14}, "参照(&B)"},
    {101, -1, Static, SS_ICON, {7, 7, 20, 20}, "#102"},
    {104, -1, Static, SS_LEFT, {33, 7, 215, 17},
     "Vemlaの拡張子の関連付けや、ショートカットの設定を行います。「次へ」を押すとインストールを開始します。"},
    {104, 1002, Button, BS_AUTOCHECKBOX | Tab, {14, 44, 203, 10}, "ビットマップ画像(.BMP ,DIB)ファイルをVemlaに関連付ける。"},
    {104, -1, Button, BS_GROUPBOX, {7, 33, 247, 50}, "関連付け"},
    {104, -1, Static, SS_ICON, {9, 7, 20, 21}, "#102"},
    {104, 1011, Button, BS_AUTOCHECKBOX | Tab, {14, 87, 160, 10}, "デスクトップに Vemla のショートカットを作成する。"},
    {104, 1012, Button, BS_AUTOCHECKBOX | Tab, {14, 99, 124, 10}, "「送る」メニューに Vemla を追加する。"},
    {104, 1013, Button, BS_AUTOCHECKBOX | Tab, {14, 112, 161, 10}, "スタートメニューに Vemla のグループを登録する。"},
    {104, 1009, Button, BS_AUTOCHECKBOX | Tab, {14, 57, 143, 10}, "JPEG (.JPG)ファイルをVemlaに関連付ける。"},
    {104, 1018, Button, BS_AUTOCHECKBOX | Tab, {14, 70, 138, 10}, "PNGファイル(.PNG)をVemlaに関連付ける。"},
    {104, 1010, "msctls_progress32", WS_BORDER, {7, 142, 260, 14}, "Progress1"},
    {104, -1, Static, SS_LEFT, {7, 129, 40, 8}, "進行状況(&P) :"},
    {106, -1, Static, SS_ICON, {7, 7, 20, 20}, "#102"},
    {106, -1, Static, SS_LEFT, {40, 7, 237, 37},
     "Vemlaのインストールが終了しました。\n\nVemlaをアンインストールするには、コントロールパネルの"
     "「アプリケーションの追加と削除」から行ってください。"},
    {106, 1014, Button, BS_AUTOCHECKBOX | Tab, {14, 90, 122, 10}, "すぐにREADMEファイルを読みます。"},
    {106, 1015, Button, BS_AUTOCHECKBOX | Tab, {14, 111, 94, 10}, "すぐにVemlaを実行します。"},
    {106, -1, Button, BS_GROUPBOX, {7, 71, 270, 65}, ""},
};

class Wizard : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(932u, GetACP()) << "the expected texts are code page 932";
        ASSERT_TRUE(SetupModule()) << "dist64\\setup.exe under VEMLA_BUILD_ROOT cannot be loaded";
        previousInstance = SetupState.instance;
        SetupState.instance = SetupModule();
        SetupState.installFolder[0] = '\0';
        SetupState.options = InstallOptions();
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
    HINSTANCE previousInstance;
    std::string startDirectory, scratch;
};

TEST_F(Wizard, PageTemplatesHoldEveryControlInOrder)
{
    static const struct {
        int id;
        bool extended;
        DWORD visible, exStyle;
        short cx, cy;
    } dialogs[] = {{101, true, WS_VISIBLE, WS_EX_ACCEPTFILES, 265, 140},
                   {104, false, 0, 0, 261, 163},
                   {106, false, 0, 0, 284, 153}};
    for (const auto &want : dialogs) {
        SCOPED_TRACE("dialog " + std::to_string(want.id));
        HRSRC found = FindResourceExA(SetupModule(), (LPCSTR)RT_DIALOG, MAKEINTRESOURCEA(want.id), Japanese);
        ASSERT_TRUE(found) << "no Japanese dialog template";
        const BYTE *base = (const BYTE *)LockResource(LoadResource(SetupModule(), found));
        Reader r = {base, base};
        bool extended = ((const WORD *)r.base)[1] == 0xFFFF;
        EXPECT_EQ(want.extended, extended) << "extended form";
        r.p += extended ? 8 : 0;  // version, signature, help id
        DWORD first = r.Dword(), second = r.Dword();
        DWORD style = extended ? second : first;
        EXPECT_EQ(WS_CHILD | want.visible, style & (WS_CHILD | WS_POPUP | WS_VISIBLE)) << std::hex << style;
        EXPECT_EQ(want.exStyle, extended ? first : second) << "extended style";
        WORD count = r.Word();
        r.p += 4;  // x, y
        EXPECT_EQ(want.cx, (short)r.Word());
        EXPECT_EQ(want.cy, (short)r.Word());
        r.Text(), r.Text(), r.Text();  // menu, class, caption
        ASSERT_TRUE(style & DS_SETFONT);
        EXPECT_EQ(9, r.Word()) << "points";
        r.p += extended ? 4 : 0;  // weight, italic, character set
        EXPECT_EQ(Shown("ＭＳ Ｐゴシック"), Shown(r.Text()));

        std::vector<const Row *> rows;
        for (const Row &row : Controls)
            if (row.dialog == want.id)
                rows.push_back(&row);
        ASSERT_EQ(rows.size(), count) << "controls";
        for (size_t i = 0; i < count; ++i) {
            const Row &w = *rows[i];
            SCOPED_TRACE("control " + std::to_string(i) + ", id " + std::to_string(w.id));
            r.p = r.base + ((r.p - r.base + 3) & ~3);
            r.p += extended ? 4 : 0;  // help id
            first = r.Dword(), second = r.Dword();
            style = extended ? second : first;
            std::vector<short> place(4);
            for (short &value : place)
                value = (short)r.Word();
            EXPECT_EQ(w.id, extended ? (int)r.Dword() : (short)r.Word());
            std::string className = r.Text(), text = r.Text();
            r.p += 2 + *(const WORD *)r.p;  // creation data
            EXPECT_EQ(0, lstrcmpiA(w.className, className.c_str())) << className;
            DWORD type = className == Button ? BS_TYPEMASK : className == Static ? SS_TYPEMASK : 0;
            EXPECT_EQ(w.style | WS_CHILD | WS_VISIBLE, style & (w.style | type | WS_CHILD | WS_VISIBLE | WS_DISABLED))
                << "style " << std::hex << style;
            EXPECT_EQ(std::vector<short>(w.place, w.place + 4), place) << "x, y, width, height";
            EXPECT_EQ(w.text, text) << Shown(text);
        }
    }
}

TEST_F(Wizard, IconGroupHasThirtyTwoAndSixteenPixelImagesInSixteenColours)
{
    HMODULE module = SetupModule();
    HRSRC found = FindResourceExA(module, (LPCSTR)RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_SETUP), Japanese);
    ASSERT_TRUE(found);
    const BYTE *group = (const BYTE *)LockResource(LoadResource(module, found));
    ASSERT_EQ(2, ((const WORD *)group)[2]) << "images in the group";
    for (int i = 0; i < 2; ++i) {
        const BYTE *entry = group + 6 + 14 * i;  // width, height, colours, reserved, planes, bits, size, id
        int size = i ? 16 : 32;
        SCOPED_TRACE("image " + std::to_string(size));
        EXPECT_EQ(std::vector<int>({size, size, 16, 4}), std::vector<int>({entry[0], entry[1], entry[2], entry[6]}))
            << "width, height, colours, bits in the group";
        HRSRC image = FindResourceExA(module, (LPCSTR)RT_ICON, MAKEINTRESOURCEA(*(const WORD *)(entry + 12)), Japanese);
        ASSERT_TRUE(image);
        const BITMAPINFOHEADER *bitmap = (const BITMAPINFOHEADER *)LockResource(LoadResource(module, image));
        EXPECT_EQ(std::vector<int>({size, size * 2, 4}), std::vector<int>({bitmap->biWidth, bitmap->biHeight, bitmap->biBitCount}))
            << "width, height of colour and mask, bits in the image";
        // A picture, not a blank: several colours, and a transparent surround.
        const BYTE *pixels = (const BYTE *)(bitmap + 1) + 16 * sizeof(RGBQUAD);
        int rowBytes = (size * 4 + 31) / 32 * 4, maskRowBytes = (size + 31) / 32 * 4;
        const BYTE *mask = pixels + rowBytes * size;
        int used[16] = {}, colours = 0, transparent = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                BYTE pair = pixels[y * rowBytes + x / 2];
                colours += !used[x % 2 ? pair & 0x0F : pair >> 4]++;
                transparent += (mask[y * maskRowBytes + x / 8] >> (7 - x % 8)) & 1;
            }
        EXPECT_GE(colours, 5);
        EXPECT_GT(transparent, 0);
        EXPECT_LT(transparent, size * size / 2);
    }
}

TEST_F(Wizard, CenterWindowPutsTheCentreOnTheReferenceCentreWithTruncatingHalves)
{
    static const struct {
        RECT reference;
        int width, height, x, y;  // size, and the top left expected
    } cases[] = {
        {{0, 0, 1280, 1024}, 400, 300, 440, 362},
        // Odd sizes: right - width/2 - w/2, which differs from left + (width - w)/2.
        {{0, 0, 1281, 1023}, 401, 301, 441, 362},
        {{-101, -51, 100, 50}, 31, 21, -15, -10},
        {{0, 0, 100, 100}, 301, 201, -100, -50},  // overhangs on both sides
    };
    for (const auto &c : cases) {
        const RECT &r = c.reference;
        SCOPED_TRACE(std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(c.width));
        HWND reference = CreateWindowExA(0, "STATIC", "", WS_POPUP, r.left, r.top, r.right - r.left,
                                         r.bottom - r.top, NULL, NULL, NULL, NULL);
        HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 500, 500, c.width, c.height, NULL, NULL, NULL, NULL);
        RECT placed;
        ASSERT_TRUE(GetWindowRect(reference, &placed) && EqualRect(&placed, &r));
        CenterWindow(reference, window);
        GetWindowRect(window, &placed);
        RECT expected = {c.x, c.y, c.x + c.width, c.y + c.height};
        EXPECT_TRUE(EqualRect(&expected, &placed)) << placed.left << "," << placed.top << " to "
                                                    << placed.right << "," << placed.bottom;
        DestroyWindow(window);
        DestroyWindow(reference);
    }
}

// ---- The wizard driven in this process ----

// 0 destination, 1 options, 2 finish.
int PageNumber(HWND page)
{
    return GetDlgItem(page, IDC_FOLDER) ? 0 : GetDlgItem(page, IDC_PROGRESS) ? 1 : GetDlgItem(page, IDC_README) ? 2 : -1;
}

// Presses a button as a click would, after the current message is handled.
void Press(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

struct Drive {
    std::string folder;
    std::vector<int> boxes;
    int step, ticks, page;
} drive;

// The script a thread timer plays, a step a tick while the sheet takes input (no message box open
// over it): type the folder and press Next; note the page that led to, and on the options page
// with boxes to tick, tick them and press Next; cancel. A wizard stuck for 30 s is cancelled.
void CALLBACK DriveWizard(HWND, UINT, UINT_PTR, DWORD)
{
    HWND sheet = SetupState.sheetWindow;
    if (sheet && ++drive.ticks == 750) {
        ADD_FAILURE() << "the wizard is stuck at step " << drive.step;
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    }
    if (!sheet || !IsWindowEnabled(sheet))
        return;
    HWND page = (HWND)SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0);
    switch (drive.step) {
    case 0:
        // What can be typed is what installFolder can hold.
        EXPECT_EQ(MAX_PATH - 1, SendDlgItemMessageA(page, IDC_FOLDER, EM_GETLIMITTEXT, 0, 0));
        SetDlgItemTextA(page, IDC_FOLDER, drive.folder.c_str());
        Press(sheet, IdNext);
        drive.step = 1;
        break;
    case 1:
        drive.page = PageNumber(page);
        drive.step = drive.page == 1 && !drive.boxes.empty() ? 2 : 3;
        for (size_t i = 0; drive.step == 2 && i < drive.boxes.size(); ++i)
            Press(page, drive.boxes[i]);
        Press(sheet, drive.step == 2 ? IdNext : IDCANCEL);
        break;
    case 2:
        EXPECT_EQ(2, PageNumber(page)) << "the page after the installation";
        Press(sheet, IDCANCEL);
        drive.step = 3;
        break;
    }
}

// Runs the wizard through Next as above; returns the page the first Next led to.
int RunWizardThroughNext(const std::string &folder, std::vector<int> boxes = {})
{
    drive = {folder, boxes, 0, 0, -1};
    UINT_PTR timer = SetTimer(NULL, 0, 40, DriveWizard);
    RunWizard(GetDesktopWindow());
    KillTimer(NULL, timer);
    EXPECT_EQ(3, drive.step) << "steps taken before the wizard closed";
    EXPECT_FALSE(SetupState.sheetWindow) << "a window kept after the sheet closed";
    return drive.page;
}

TEST_F(Wizard, NextAsksBeforeCreatingAndKeepsTheUserOnFailure)
{
    const std::string existing = scratch + "\\existing";
    ASSERT_TRUE(CreateDirectoryA(existing.c_str(), NULL));
    const std::string created = scratch + "\\新しい表\\ソフト";  // 表 ends in the byte 0x5C
    const std::string declined = scratch + "\\declined";
    const std::string tooLong = scratch + "\\" + std::string(MAX_PATH - scratch.size(), 'a');
    const std::vector<std::string> question = {CreateQuestion}, cannot = {CannotCreate};
    const struct {
        const char *name;
        std::string typed;
        std::vector<int> answers;
        std::vector<std::string> texts;  // the message boxes shown, in order
        int page;                        // where the user is afterwards
        std::string installFolder;
        std::string made, notMade;       // folders that must exist, and must not, afterwards
    } cases[] = {
        {"existing folder", existing, {}, {}, 1, existing, existing + "\\TEXTURE", ""},
        {"missing folder, Yes", created, {IDYES}, question, 1, created, created + "\\TEXTURE", ""},
        {"missing folder, No", declined, {IDNO}, question, 0, declined, "", declined},
        {"empty field, Yes", "", {IDYES, IDOK}, {CreateQuestion, CannotCreate}, 0, "", "", ""},
        {"relative folder", "rel\\.\\x\\..\\sub", {IDYES}, question, 1, scratch + "\\rel\\sub",
         scratch + "\\rel\\sub\\TEXTURE", startDirectory + "\\rel"},
        {"longer than a path", tooLong, {IDOK}, cannot, 0, "unchanged", "", ""},
        {"longer than a path once absolute", std::string(MAX_PATH - 10, 'r'), {IDOK}, cannot, 0, "unchanged", "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SetCurrentDirectoryA(scratch.c_str());  // what relative names are resolved against
        lstrcpyA(SetupState.installFolder, "unchanged");
        ScopedMessageBoxScript boxes(c.answers);
        EXPECT_EQ(c.page, RunWizardThroughNext(c.typed)) << "the page after Next";
        ASSERT_EQ(c.texts.size(), boxes.seen.size()) << "message boxes";
        for (size_t i = 0; i < c.texts.size(); ++i) {
            EXPECT_EQ("インストール", boxes.seen[i].caption);
            EXPECT_EQ(c.texts[i], boxes.seen[i].text) << Shown(boxes.seen[i].text);
        }
        EXPECT_EQ(c.installFolder, SetupState.installFolder) << Shown(SetupState.installFolder);
        EXPECT_TRUE(c.made.empty() || FolderExists(c.made)) << Shown(c.made);
        EXPECT_TRUE(c.notMade.empty() || !FolderExists(c.notMade)) << Shown(c.notMade);
    }
}

TEST_F(Wizard, OptionsNextStoresEachCheckBoxInItsOwnOption)
{
    // Every box has its own pattern of ticks over the three runs, so two swapped boxes show.
    static const struct {
        int boxes[3];
        const char *options;
    } runs[] = {{{IDC_ASSOC_BMP, IDC_DESKTOP, IDC_STARTMENU}, "010110"},
                {{IDC_ASSOC_PNG, IDC_DESKTOP, IDC_SENDTO}, "001101"},
                {{IDC_ASSOC_JPG, IDC_STARTMENU, IDC_SENDTO}, "100011"}};
    ScopedRegistryOverride registry;  // Next installs
    ScopedMessageBoxScript boxes;
    for (const auto &run : runs) {
        SetupState.options = InstallOptions();
        EXPECT_EQ(1, RunWizardThroughNext(scratch, {run.boxes, run.boxes + 3}));
        const InstallOptions &o = SetupState.options;
        EXPECT_EQ(run.options, std::to_string(o.associateJpeg) + std::to_string(o.associateBitmap) +
                                   std::to_string(o.associatePng) + std::to_string(o.desktopShortcut) +
                                   std::to_string(o.startMenuGroup) + std::to_string(o.sendToShortcut))
            << "jpeg, bitmap, png, desktop, start menu, send to";
    }
    RemoveInstalledShortcuts();  // the shortcut boxes wrote into the prefix's shell folders
}

}  // namespace
