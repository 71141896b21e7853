// The wizard inside this process: its dialog templates and icon as compiled into the x86_64
// setup.exe of the sample distribution (loaded, not run, and made SetupState.instance so the sheet
// finds them), the centring formula, and the pages driven through the real property sheet by a
// thread timer, with message boxes and the folder picker answered by thread hooks.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <functional>
#include <string>
#include <vector>

#include "core/setup_state.h"
#include "resources/resource.h"
#include "tests/support/test_support.h"
#include "wizard/pages.h"
#include "wizard/wizard_sheet.h"

namespace {

enum { IdBack = 0x3023, IdNext = 0x3024, IdFinish = 0x3025 };

const WORD Japanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
const char Caption[] = "インストール";
const char CreateQuestion[] = "フォルダが存在しません。\nフォルダを作成しますか？";
const char CannotCreate[] = "フォルダが作成できません。";
const char ProposedFolder[] = "C:\\Program Files\\Vemla";

// The build root comes as a Linux path; Wine sees it under drive Z:.
std::string WindowsPath(const char *path)
{
    std::string converted = path[0] == '/' ? std::string("Z:") + path : std::string(path);
    for (char &c : converted)
        if (c == '/')
            c = '\\';
    return converted;
}

HMODULE SetupModule()
{
    static HMODULE module;
    if (!module) {
        const char *root = getenv("VEMLA_BUILD_ROOT");
        if (root && *root)
            module = LoadLibraryA((WindowsPath(root) + "\\dist64\\setup.exe").c_str());
    }
    return module;
}

// Code page 932 text shown readably in a failure message on a UTF-8 terminal.
std::string Shown(const std::string &text)
{
    wchar_t wide[2048];
    int length = MultiByteToWideChar(932, 0, text.c_str(), -1, wide, 2048);
    char shown[4096];
    if (!length || !WideCharToMultiByte(CP_UTF8, 0, wide, -1, shown, sizeof shown, NULL, NULL))
        return text;
    return shown;
}

std::string ToCodePage932(const std::wstring &text)
{
    char bytes[2048];
    int length = WideCharToMultiByte(932, 0, text.c_str(), (int)text.size(), bytes, sizeof bytes,
                                     NULL, NULL);
    return std::string(bytes, length);
}

// ---- Dialog templates as stored ----

struct TemplateControl {
    int id;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    std::string className;  // the predefined classes by name
    std::wstring text;
    int textOrdinal;  // -1 unless the text is a resource number (an icon control's)
};

struct DialogTemplate {
    bool extended;
    DWORD style;
    DWORD exStyle;
    short cx, cy;
    WORD pointSize;
    std::wstring face;
    std::vector<TemplateControl> controls;
};

struct TemplateReader {
    const BYTE *base;
    const BYTE *p;

    WORD Word()
    {
        WORD value;
        CopyMemory(&value, p, sizeof value);
        p += sizeof value;
        return value;
    }
    DWORD Dword()
    {
        DWORD value;
        CopyMemory(&value, p, sizeof value);
        p += sizeof value;
        return value;
    }
    short Short() { return (short)Word(); }
    std::wstring String()
    {
        std::wstring text;
        for (WORD c = Word(); c; c = Word())
            text += (wchar_t)c;
        return text;
    }
    // A string, or 0xFFFF and a number (returned in ordinal), or 0x0000 for nothing.
    std::wstring StringOrNumber(int *ordinal)
    {
        *ordinal = -1;
        WORD first;
        CopyMemory(&first, p, sizeof first);
        if (first == 0xFFFF) {
            p += 2;
            *ordinal = Word();
            return std::wstring();
        }
        return String();
    }
    void AlignDword() { p = base + ((p - base + 3) & ~3); }
};

std::string PredefinedClass(int ordinal)
{
    switch (ordinal) {
    case 0x80:
        return "Button";
    case 0x81:
        return "Edit";
    case 0x82:
        return "Static";
    default:
        return "class #" + std::to_string(ordinal);
    }
}

bool ReadDialogTemplate(int id, DialogTemplate *dialog)
{
    HMODULE module = SetupModule();
    HRSRC found = FindResourceExA(module, (LPCSTR)RT_DIALOG, MAKEINTRESOURCEA(id), Japanese);
    if (!found)
        return false;
    TemplateReader r = {(const BYTE *)LockResource(LoadResource(module, found)), NULL};
    r.p = r.base;
    int ordinal;
    WORD count;
    dialog->extended = ((const WORD *)r.base)[1] == 0xFFFF;
    if (dialog->extended) {
        r.Word();   // version
        r.Word();   // signature
        r.Dword();  // help id
        dialog->exStyle = r.Dword();
        dialog->style = r.Dword();
    } else {
        dialog->style = r.Dword();
        dialog->exStyle = r.Dword();
    }
    count = r.Word();
    r.Short();
    r.Short();
    dialog->cx = r.Short();
    dialog->cy = r.Short();
    r.StringOrNumber(&ordinal);  // menu
    r.StringOrNumber(&ordinal);  // class
    r.String();                  // caption
    dialog->pointSize = 0;
    if (dialog->style & DS_SETFONT) {
        dialog->pointSize = r.Word();
        if (dialog->extended) {
            r.Word();  // weight
            r.Word();  // italic and character set
        }
        dialog->face = r.String();
    }
    dialog->controls.clear();
    for (WORD i = 0; i < count; ++i) {
        TemplateControl control;
        r.AlignDword();
        if (dialog->extended) {
            r.Dword();  // help id
            control.exStyle = r.Dword();
            control.style = r.Dword();
        } else {
            control.style = r.Dword();
            control.exStyle = r.Dword();
        }
        control.x = r.Short();
        control.y = r.Short();
        control.cx = r.Short();
        control.cy = r.Short();
        control.id = dialog->extended ? (int)r.Dword() : (short)r.Word();
        std::wstring className = r.StringOrNumber(&ordinal);
        control.className =
            ordinal >= 0 ? PredefinedClass(ordinal) : ToCodePage932(className);
        control.text = r.StringOrNumber(&control.textOrdinal);
        WORD extra = r.Word();
        r.p += extra;
        dialog->controls.push_back(control);
    }
    return true;
}

struct ExpectedControl {
    int id;
    const char *className;
    DWORD kind;      // the control type (BS_ or SS_ type bits; 0 for the others)
    DWORD required;  // further style bits that must be set
    short x, y, cx, cy;
    const char *text;  // code page 932; null for the icon control, which shows IDI_SETUP
};

const DWORD TabStop = WS_TABSTOP;
const DWORD FolderEdit = WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;

const ExpectedControl DestinationControls[] = {
    {IDC_STATIC, "Static", SS_LEFT, 0, 36, 8, 220, 36,
     "Vemlaのインストールプログラムにようこそ！\n\nVemlaは初心者でも簡単に操作のできるフォトレタッチ"
     "ソフトです。"},
    {IDC_STATIC, "Static", SS_LEFT, 0, 8, 61, 150, 8, "インストール先のフォルダを入力してください。：" },
    {IDC_FOLDER, "Edit", 0, FolderEdit, 7, 75, 192, 14, ""},
    {IDC_BROWSE, "Button", BS_PUSHBUTTON, TabStop, 206, 75, 50, 14, "参照(&B)"},
    {IDC_STATIC, "Static", SS_ICON, 0, 7, 7, 20, 20, NULL},
};

const ExpectedControl OptionsControls[] = {
    {IDC_STATIC, "Static", SS_LEFT, 0, 33, 7, 215, 17,
     "Vemlaの拡張子の関連付けや、ショートカットの設定を行います。「次へ」を押すとインストールを開始"
     "します。"},
    {IDC_ASSOC_BMP, "Button", BS_AUTOCHECKBOX, TabStop, 14, 44, 203, 10,
     "ビットマップ画像(.BMP ,DIB)ファイルをVemlaに関連付ける。"},
    {IDC_STATIC, "Button", BS_GROUPBOX, 0, 7, 33, 247, 50, "関連付け"},
    {IDC_STATIC, "Static", SS_ICON, 0, 9, 7, 20, 21, NULL},
    {IDC_DESKTOP, "Button", BS_AUTOCHECKBOX, TabStop, 14, 87, 160, 10,
     "デスクトップに Vemla のショートカットを作成する。"},
    {IDC_SENDTO, "Button", BS_AUTOCHECKBOX, TabStop, 14, 99, 124, 10,
     "「送る」メニューに Vemla を追加する。"},
    {IDC_STARTMENU, "Button", BS_AUTOCHECKBOX, TabStop, 14, 112, 161, 10,
     "スタートメニューに Vemla のグループを登録する。"},
    {IDC_ASSOC_JPG, "Button", BS_AUTOCHECKBOX, TabStop, 14, 57, 143, 10,
     "JPEG (.JPG)ファイルをVemlaに関連付ける。"},
    {IDC_ASSOC_PNG, "Button", BS_AUTOCHECKBOX, TabStop, 14, 70, 138, 10,
     "PNGファイル(.PNG)をVemlaに関連付ける。"},
    {IDC_PROGRESS, "msctls_progress32", 0, WS_BORDER, 7, 142, 260, 14, "Progress1"},
    {IDC_STATIC, "Static", SS_LEFT, 0, 7, 129, 40, 8, "進行状況(&P) :"},
};

const ExpectedControl FinishControls[] = {
    {IDC_STATIC, "Static", SS_ICON, 0, 7, 7, 20, 20, NULL},
    {IDC_STATIC, "Static", SS_LEFT, 0, 40, 7, 237, 37,
     "Vemlaのインストールが終了しました。\n\nVemlaをアンインストールするには、コントロールパネルの"
     "「アプリケーションの追加と削除」から行ってください。"},
    {IDC_README, "Button", BS_AUTOCHECKBOX, TabStop, 14, 90, 122, 10,
     "すぐにREADMEファイルを読みます。"},
    {IDC_RUN, "Button", BS_AUTOCHECKBOX, TabStop, 14, 111, 94, 10, "すぐにVemlaを実行します。"},
    {IDC_STATIC, "Button", BS_GROUPBOX, 0, 7, 71, 270, 65, ""},
};

struct ExpectedDialog {
    int id;
    bool extended;
    bool visible;
    DWORD exStyle;
    short cx, cy;
    const ExpectedControl *controls;
    size_t count;
};

const ExpectedDialog Dialogs[] = {
    {IDD_DESTINATION, true, true, WS_EX_ACCEPTFILES, 265, 140, DestinationControls,
     sizeof DestinationControls / sizeof DestinationControls[0]},
    {IDD_OPTIONS, false, false, 0, 261, 163, OptionsControls,
     sizeof OptionsControls / sizeof OptionsControls[0]},
    {IDD_FINISH, false, false, 0, 284, 153, FinishControls,
     sizeof FinishControls / sizeof FinishControls[0]},
};

class Resources : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(932u, GetACP()) << "the expected texts are code page 932";
        ASSERT_NE((HMODULE)NULL, SetupModule())
            << "dist64\\setup.exe under VEMLA_BUILD_ROOT cannot be loaded";
    }
};

TEST_F(Resources, PageTemplatesHoldEveryControlInOrder)
{
    for (const ExpectedDialog &expected : Dialogs) {
        SCOPED_TRACE("dialog " + std::to_string(expected.id));
        DialogTemplate dialog;
        ASSERT_TRUE(ReadDialogTemplate(expected.id, &dialog)) << "no Japanese dialog template";
        EXPECT_EQ(expected.extended, dialog.extended) << "extended form";
        EXPECT_EQ((DWORD)WS_CHILD, dialog.style & (WS_CHILD | WS_POPUP)) << "a child dialog";
        EXPECT_EQ(expected.visible, (dialog.style & WS_VISIBLE) != 0) << "visible";
        EXPECT_EQ(expected.exStyle, dialog.exStyle) << "extended style";
        EXPECT_EQ(expected.cx, dialog.cx);
        EXPECT_EQ(expected.cy, dialog.cy);
        EXPECT_EQ(9, dialog.pointSize);
        EXPECT_EQ("ＭＳ Ｐゴシック", ToCodePage932(dialog.face));
        ASSERT_EQ(expected.count, dialog.controls.size()) << "controls";
        for (size_t i = 0; i < expected.count; ++i) {
            const ExpectedControl &want = expected.controls[i];
            const TemplateControl &got = dialog.controls[i];
            SCOPED_TRACE("control " + std::to_string(i) + " (id " + std::to_string(want.id) + ")");
            EXPECT_EQ(want.id, got.id);
            EXPECT_EQ(0, lstrcmpiA(want.className, got.className.c_str()))
                << "class " << got.className;
            DWORD typeMask = got.className == "Button" ? BS_TYPEMASK
                           : got.className == "Static" ? SS_TYPEMASK
                                                       : 0;
            EXPECT_EQ(want.kind, got.style & typeMask) << "control type";
            EXPECT_EQ(want.required | WS_CHILD | WS_VISIBLE,
                      got.style & (want.required | WS_CHILD | WS_VISIBLE | WS_DISABLED))
                << "style " << std::hex << got.style;
            EXPECT_EQ(want.x, got.x);
            EXPECT_EQ(want.y, got.y);
            EXPECT_EQ(want.cx, got.cx);
            EXPECT_EQ(want.cy, got.cy);
            if (want.text) {
                std::string text = ToCodePage932(got.text);
                EXPECT_EQ(std::string(want.text), text) << Shown(text);
            } else {
                EXPECT_EQ(IDI_SETUP, got.textOrdinal) << "icon control showing IDI_SETUP";
            }
        }
    }
}

#pragma pack(push, 2)
struct IconGroupHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct IconGroupEntry {
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

BOOL CALLBACK RecordFirstName(HMODULE, LPCSTR, LPSTR name, LONG_PTR first)
{
    *(LPSTR *)first = name;
    return FALSE;
}

TEST_F(Resources, IconGroupHasThirtyTwoAndSixteenPixelImagesInSixteenColours)
{
    HMODULE module = SetupModule();
    LPSTR first = NULL;
    EnumResourceNamesA(module, (LPCSTR)RT_GROUP_ICON, RecordFirstName, (LONG_PTR)&first);
    EXPECT_TRUE(IS_INTRESOURCE(first) && (UINT_PTR)first == IDI_SETUP)
        << "the program's icon is the first icon group";

    HRSRC found = FindResourceExA(module, (LPCSTR)RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_SETUP),
                                  Japanese);
    ASSERT_NE((HRSRC)NULL, found);
    const BYTE *group = (const BYTE *)LockResource(LoadResource(module, found));
    const IconGroupHeader *header = (const IconGroupHeader *)group;
    ASSERT_EQ(2, header->count);
    const IconGroupEntry *entries = (const IconGroupEntry *)(header + 1);
    const int sizes[] = {32, 16};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE("image " + std::to_string(sizes[i]));
        EXPECT_EQ(sizes[i], entries[i].width);
        EXPECT_EQ(sizes[i], entries[i].height);
        EXPECT_EQ(16, entries[i].colours);
        EXPECT_EQ(4, entries[i].bitCount);

        HRSRC image = FindResourceExA(module, (LPCSTR)RT_ICON, MAKEINTRESOURCEA(entries[i].id),
                                      Japanese);
        ASSERT_NE((HRSRC)NULL, image);
        const BITMAPINFOHEADER *bitmap =
            (const BITMAPINFOHEADER *)LockResource(LoadResource(module, image));
        EXPECT_EQ(sizes[i], bitmap->biWidth);
        EXPECT_EQ(sizes[i] * 2, bitmap->biHeight) << "colour and mask";
        EXPECT_EQ(4, bitmap->biBitCount);
        EXPECT_EQ((DWORD)BI_RGB, bitmap->biCompression);

        // A picture, not a blank: several colours, and a transparent surround.
        const BYTE *pixels = (const BYTE *)(bitmap + 1) + 16 * sizeof(RGBQUAD);
        int rowBytes = (sizes[i] * 4 + 31) / 32 * 4;
        const BYTE *mask = pixels + rowBytes * sizes[i];
        int maskRowBytes = (sizes[i] + 31) / 32 * 4;
        bool used[16] = {};
        int transparent = 0;
        for (int y = 0; y < sizes[i]; ++y) {
            for (int x = 0; x < sizes[i]; ++x) {
                BYTE pair = pixels[y * rowBytes + x / 2];
                used[x % 2 ? pair & 0x0F : pair >> 4] = true;
                transparent += (mask[y * maskRowBytes + x / 8] >> (7 - x % 8)) & 1;
            }
        }
        int colours = 0;
        for (bool u : used)
            colours += u;
        EXPECT_GE(colours, 5);
        EXPECT_GT(transparent, 0);
        EXPECT_LT(transparent, sizes[i] * sizes[i] / 2);
    }
    HICON icon = (HICON)LoadImageA(module, MAKEINTRESOURCEA(IDI_SETUP), IMAGE_ICON, 16, 16, 0);
    EXPECT_NE((HICON)NULL, icon) << "the system loads the small image";
    if (icon)
        DestroyIcon(icon);
}

// ---- CenterWindow ----

TEST(CenterWindow, PutsTheCentreOnTheReferenceCentreWithTruncatingHalves)
{
    static const struct {
        RECT reference;
        int width, height;
        int x, y;  // expected top left
    } cases[] = {
        {{0, 0, 1280, 1024}, 400, 300, 440, 362},
        // Odd sizes: right - width/2 - w/2, which differs from left + (width - w)/2.
        {{0, 0, 1281, 1023}, 401, 301, 441, 362},
        {{0, 0, 101, 51}, 30, 20, 36, 16},
        {{10, 20, 111, 71}, 31, 11, 46, 41},
        {{-101, -51, 100, 50}, 31, 21, -15, -10},
        // Larger than the reference: it overhangs on both sides.
        {{0, 0, 100, 100}, 301, 201, -100, -50},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.reference.left) + "," + std::to_string(c.reference.top) +
                     " " + std::to_string(c.width) + "x" + std::to_string(c.height));
        const RECT &r = c.reference;
        HWND reference = CreateWindowExA(0, "STATIC", "", WS_POPUP, r.left, r.top,
                                         r.right - r.left, r.bottom - r.top, NULL, NULL, NULL, NULL);
        HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 500, 500, c.width, c.height, NULL,
                                      NULL, NULL, NULL);
        ASSERT_TRUE(reference && window);
        RECT placed;
        GetWindowRect(reference, &placed);
        ASSERT_TRUE(EqualRect(&placed, &r)) << "the reference window is where it was put";

        CenterWindow(reference, window);
        GetWindowRect(window, &placed);
        EXPECT_EQ(c.x, placed.left);
        EXPECT_EQ(c.y, placed.top);
        EXPECT_EQ(c.width, placed.right - placed.left) << "size kept";
        EXPECT_EQ(c.height, placed.bottom - placed.top) << "size kept";
        DestroyWindow(window);
        DestroyWindow(reference);
    }
}

// ---- The wizard driven in this process ----

// A step acts on the running sheet; it returns false to be tried again on the next tick.
typedef std::function<bool(HWND sheet)> Step;

struct WizardDriver {
    std::vector<Step> steps;
    size_t next;
    int ticks;
    bool inStep;
};

WizardDriver *activeDriver;
const int TickMilliseconds = 40;
const int TickLimit = 30000 / TickMilliseconds;  // a stuck wizard is cancelled after 30 s

// Runs the next step while the sheet takes input, that is, while no message box or picker is
// open over it.
void CALLBACK DriveWizard(HWND, UINT, UINT_PTR, DWORD)
{
    WizardDriver *driver = activeDriver;
    HWND sheet = SetupState.sheetWindow;
    if (!driver || driver->inStep || !sheet)
        return;
    if (++driver->ticks == TickLimit) {
        ADD_FAILURE() << "the wizard is stuck at step " << driver->next;
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        return;
    }
    if (!IsWindowEnabled(sheet) || driver->next >= driver->steps.size())
        return;
    driver->inStep = true;
    if (driver->steps[driver->next](sheet))
        ++driver->next;
    driver->inStep = false;
}

INT_PTR RunDrivenWizard(std::vector<Step> steps)
{
    WizardDriver driver = {steps, 0, 0, false};
    activeDriver = &driver;
    UINT_PTR timer = SetTimer(NULL, 0, TickMilliseconds, DriveWizard);
    INT_PTR result = RunWizard(GetDesktopWindow());
    KillTimer(NULL, timer);
    activeDriver = NULL;
    EXPECT_EQ(steps.size(), driver.next) << "steps run before the wizard closed";
    EXPECT_EQ((HWND)NULL, SetupState.sheetWindow) << "no window kept after the sheet closed";
    return result;
}

HWND CurrentPage(HWND sheet)
{
    return (HWND)SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0);
}

// 0 destination, 1 options, 2 finish, -1 none of them.
int PageNumber(HWND sheet)
{
    HWND page = CurrentPage(sheet);
    if (!page)
        return -1;
    if (GetDlgItem(page, IDC_FOLDER))
        return 0;
    if (GetDlgItem(page, IDC_PROGRESS))
        return 1;
    if (GetDlgItem(page, IDC_README))
        return 2;
    return -1;
}

std::string FieldText(HWND sheet)
{
    char text[1024] = "";
    GetDlgItemTextA(CurrentPage(sheet), IDC_FOLDER, text, sizeof text);
    return text;
}

// A button of the sheet is usable when it is both shown and enabled.
bool Usable(HWND sheet, int id)
{
    HWND button = GetDlgItem(sheet, id);
    return button && IsWindowVisible(button) && IsWindowEnabled(button);
}

// Presses a button as a click would, after the current message is handled.
void Press(HWND dialog, int id)
{
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// Steps shared by the tests.
Step TypeFolderAndPressNext(const std::string &folder)
{
    return [folder](HWND sheet) {
        EXPECT_EQ(0, PageNumber(sheet));
        SetDlgItemTextA(CurrentPage(sheet), IDC_FOLDER, folder.c_str());
        Press(sheet, IdNext);
        return true;
    };
}

Step ExpectPage(int number)
{
    return [number](HWND sheet) {
        EXPECT_EQ(number, PageNumber(sheet)) << "current page";
        return true;
    };
}

Step PressCancel()
{
    return [](HWND sheet) {
        Press(sheet, IDCANCEL);
        return true;
    };
}

class Wizard : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(932u, GetACP()) << "the expected texts are code page 932";
        ASSERT_NE((HMODULE)NULL, SetupModule())
            << "dist64\\setup.exe under VEMLA_BUILD_ROOT cannot be loaded";
        previousInstance = SetupState.instance;
        SetupState.instance = SetupModule();
        SetupState.installFolder[0] = '\0';
        SetupState.options = InstallOptions();
        startDirectory = CurrentDirectory();
        scratch = MakeScratchFolder("wizard");
        // As the program prepares them: the picker and the shortcuts need COM.
        InitCommonControls();
        CoInitialize(NULL);
    }
    void TearDown() override
    {
        CoUninitialize();
        SetCurrentDirectoryA(startDirectory.c_str());
        RemoveTree(scratch);
        SetupState.instance = previousInstance;
    }
    HINSTANCE previousInstance;
    std::string startDirectory;
    std::string scratch;
};

TEST_F(Wizard, ProposesTheFolderCentresTheSheetAndSetsTheButtonsOfEachPage)
{
    ScopedRegistryOverride registry;  // the options page's Next installs
    ScopedMessageBoxScript boxes;
    std::string folder = scratch + "\\existing";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));

    RunDrivenWizard({
        [&](HWND sheet) {
            EXPECT_EQ(0, PageNumber(sheet));
            EXPECT_EQ(ProposedFolder, FieldText(sheet));
            char title[256] = "";
            GetWindowTextA(sheet, title, sizeof title);
            EXPECT_EQ(std::string("Vemlaのインストール"), title) << Shown(title);

            RECT desktop;
            RECT placed;
            GetWindowRect(GetDesktopWindow(), &desktop);
            GetWindowRect(sheet, &placed);
            int width = placed.right - placed.left;
            int height = placed.bottom - placed.top;
            EXPECT_EQ(desktop.right - (desktop.right - desktop.left) / 2 - width / 2, placed.left);
            EXPECT_EQ(desktop.bottom - (desktop.bottom - desktop.top) / 2 - height / 2, placed.top);

            EXPECT_FALSE(Usable(sheet, IdBack));
            EXPECT_TRUE(Usable(sheet, IdNext));
            EXPECT_FALSE(Usable(sheet, IdFinish));
            EXPECT_TRUE(Usable(sheet, IDCANCEL));
            return true;
        },
        TypeFolderAndPressNext(folder),
        [](HWND sheet) {
            EXPECT_EQ(1, PageNumber(sheet));
            EXPECT_TRUE(Usable(sheet, IdBack));
            EXPECT_TRUE(Usable(sheet, IdNext));
            EXPECT_FALSE(Usable(sheet, IdFinish));
            Press(sheet, IdBack);
            return true;
        },
        [&](HWND sheet) {
            EXPECT_EQ(0, PageNumber(sheet)) << "Back leads to the first page";
            EXPECT_EQ(folder, FieldText(sheet)) << "the field keeps what was typed";
            EXPECT_FALSE(Usable(sheet, IdBack));
            EXPECT_TRUE(Usable(sheet, IdNext));
            Press(sheet, IdNext);
            return true;
        },
        [](HWND sheet) {
            EXPECT_EQ(1, PageNumber(sheet));
            Press(sheet, IdNext);
            return true;
        },
        [](HWND sheet) {
            EXPECT_EQ(2, PageNumber(sheet));
            EXPECT_FALSE(Usable(sheet, IdBack)) << "no way back to a second installation";
            EXPECT_FALSE(Usable(sheet, IdNext));
            EXPECT_TRUE(Usable(sheet, IdFinish));
            Press(sheet, IdFinish);
            return true;
        },
    });
    for (const SeenMessageBox &box : boxes.seen)
        EXPECT_NE(CreateQuestion, box.text) << "no question for an existing folder";
}

struct NextCase {
    const char *name;
    std::string typed;
    std::vector<int> answers;
    std::vector<std::string> texts;  // the message boxes shown, in order
    int page;                        // where the user is afterwards
    std::string installFolder;
    std::vector<std::string> existing;
    std::vector<std::string> missing;
};

TEST_F(Wizard, NextAsksBeforeCreatingAndKeepsTheUserOnFailure)
{
    const std::string existing = scratch + "\\existing";
    ASSERT_TRUE(CreateDirectoryA(existing.c_str(), NULL));
    const std::string created = scratch + "\\新しい表\\ソフト";  // 表 ends in the byte 0x5C
    const std::string declined = scratch + "\\declined";
    const std::string tooLong = scratch + "\\" + std::string(MAX_PATH - scratch.size(), 'a');
    const std::vector<std::string> question = {CreateQuestion};

    const NextCase cases[] = {
        {"existing folder", existing, {}, {}, 1, existing, {existing + "\\TEXTURE"}, {}},
        {"missing folder, Yes", created, {IDYES}, question, 1, created,
         {created, created + "\\TEXTURE"}, {}},
        {"missing folder, No", declined, {IDNO}, question, 0, declined, {}, {declined}},
        {"empty field, Yes", "", {IDYES, IDOK}, {CreateQuestion, CannotCreate}, 0, "", {}, {}},
        {"relative folder", "rel\\sub", {IDYES}, question, 1, scratch + "\\rel\\sub",
         {scratch + "\\rel\\sub\\TEXTURE"}, {startDirectory + "\\rel"}},
        {"dot components", "dots\\.\\x\\..\\y", {IDYES}, question, 1, scratch + "\\dots\\y",
         {scratch + "\\dots\\y\\TEXTURE"}, {scratch + "\\dots\\x"}},
        {"longer than a path", tooLong, {IDOK}, {CannotCreate}, 0, "unchanged", {}, {}},
        {"longer than a path once absolute", std::string(MAX_PATH - 10, 'r'), {IDOK},
         {CannotCreate}, 0, "unchanged", {}, {}},
    };
    for (const NextCase &c : cases) {
        SCOPED_TRACE(c.name);
        // Relative names are resolved against the current directory of the moment.
        SetCurrentDirectoryA(scratch.c_str());
        lstrcpyA(SetupState.installFolder, "unchanged");
        ScopedMessageBoxScript boxes(c.answers);
        RunDrivenWizard({TypeFolderAndPressNext(c.typed), ExpectPage(c.page), PressCancel()});

        ASSERT_EQ(c.texts.size(), boxes.seen.size()) << "message boxes";
        for (size_t i = 0; i < c.texts.size(); ++i) {
            EXPECT_EQ(Caption, boxes.seen[i].caption);
            EXPECT_EQ(c.texts[i], boxes.seen[i].text) << Shown(boxes.seen[i].text);
        }
        EXPECT_EQ(c.installFolder, SetupState.installFolder) << Shown(SetupState.installFolder);
        for (const std::string &path : c.existing)
            EXPECT_TRUE(FolderExists(path)) << Shown(path);
        for (const std::string &path : c.missing)
            EXPECT_FALSE(FolderExists(path)) << Shown(path);
    }
}

TEST_F(Wizard, FolderFieldHoldsNoMoreThanTheInstallFolderCan)
{
    RunDrivenWizard({
        [](HWND sheet) {
            HWND field = GetDlgItem(CurrentPage(sheet), IDC_FOLDER);
            EXPECT_EQ((LRESULT)(MAX_PATH - 1), SendMessageA(field, EM_GETLIMITTEXT, 0, 0));
            // Typing at the end of a full field adds nothing.
            std::string full(MAX_PATH - 1, 'b');
            SetWindowTextA(field, full.c_str());
            SendMessageA(field, EM_SETSEL, MAX_PATH - 1, MAX_PATH - 1);
            SendMessageA(field, EM_REPLACESEL, TRUE, (LPARAM) "c");
            EXPECT_EQ(full, FieldText(sheet));
            return true;
        },
        PressCancel(),
    });
}

// Answers the folder picker when it opens on this thread: records the texts it shows and presses
// OK or Cancel.
struct ScopedPickerScript {
    explicit ScopedPickerScript(std::vector<int> buttons);
    ~ScopedPickerScript();
    std::vector<int> buttons;
    std::vector<std::vector<std::string>> texts;  // per opening, every child window's text
    HHOOK hook;
};

ScopedPickerScript *activePicker;

BOOL CALLBACK RecordText(HWND child, LPARAM texts)
{
    char text[512] = "";
    GetWindowTextA(child, text, sizeof text);
    ((std::vector<std::string> *)texts)->push_back(text);
    return TRUE;
}

LRESULT CALLBACK PickerHook(int code, WPARAM wparam, LPARAM lparam)
{
    HWND window = (HWND)wparam;
    if (code == HCBT_ACTIVATE && activePicker && window != SetupState.sheetWindow &&
        FindWindowExA(window, NULL, "SysTreeView32", NULL)) {
        activePicker->texts.push_back(std::vector<std::string>());
        EnumChildWindows(window, RecordText, (LPARAM)&activePicker->texts.back());
        int button = IDCANCEL;
        if (!activePicker->buttons.empty()) {
            button = activePicker->buttons.front();
            activePicker->buttons.erase(activePicker->buttons.begin());
        }
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     (LPARAM)GetDlgItem(window, button));
    }
    return CallNextHookEx(NULL, code, wparam, lparam);
}

ScopedPickerScript::ScopedPickerScript(std::vector<int> script) : buttons(script)
{
    activePicker = this;
    hook = SetWindowsHookExA(WH_CBT, PickerHook, NULL, GetCurrentThreadId());
    EXPECT_NE((HHOOK)NULL, hook);
}

ScopedPickerScript::~ScopedPickerScript()
{
    UnhookWindowsHookEx(hook);
    activePicker = NULL;
}

TEST_F(Wizard, BrowseFillsTheFieldWithThePickedFolderAndCancelChangesNothing)
{
    // The picker opens on the folder of the last Next; OK takes that selection.
    const std::string picked = scratch + "\\picked";
    ASSERT_TRUE(CreateDirectoryA(picked.c_str(), NULL));
    lstrcpyA(SetupState.installFolder, picked.c_str());
    ScopedPickerScript picker({IDOK, IDCANCEL});

    RunDrivenWizard({
        [](HWND sheet) {
            Press(CurrentPage(sheet), IDC_BROWSE);
            return true;
        },
        [&](HWND sheet) {
            EXPECT_EQ(picked, FieldText(sheet)) << "the preselected folder, taken with OK";
            EXPECT_STREQ(picked.c_str(), SetupState.installFolder);
            SetDlgItemTextA(CurrentPage(sheet), IDC_FOLDER, "typed");
            Press(CurrentPage(sheet), IDC_BROWSE);
            return true;
        },
        [&](HWND sheet) {
            EXPECT_EQ("typed", FieldText(sheet)) << "Cancel leaves the field";
            EXPECT_STREQ(picked.c_str(), SetupState.installFolder) << "and the state";
            return true;
        },
        PressCancel(),
    });
    ASSERT_EQ(2u, picker.texts.size()) << "picker openings";
    for (const std::vector<std::string> &texts : picker.texts) {
        bool titled = false;
        for (const std::string &text : texts)
            titled = titled || text == "Select Folder";
        EXPECT_TRUE(titled) << "the picker shows the title \"Select Folder\"";
    }
}

TEST_F(Wizard, OptionsNextStoresEachCheckBoxInItsOwnOption)
{
    // Three runs give every box its own pattern of ticks, so two swapped boxes show.
    static const struct {
        int boxes[3];
        InstallOptions options;  // jpeg, bitmap, png, desktop, start menu, send to
    } runs[] = {
        {{IDC_ASSOC_BMP, IDC_DESKTOP, IDC_STARTMENU}, {0, 1, 0, 1, 1, 0}},
        {{IDC_ASSOC_PNG, IDC_DESKTOP, IDC_SENDTO}, {0, 0, 1, 1, 0, 1}},
        {{IDC_ASSOC_JPG, IDC_STARTMENU, IDC_SENDTO}, {1, 0, 0, 0, 1, 1}},
    };
    ScopedRegistryOverride registry;
    ScopedMessageBoxScript boxes;
    RemoveInstalledShortcuts();
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE("run " + std::to_string(i));
        SetupState.options = InstallOptions();
        RunDrivenWizard({
            TypeFolderAndPressNext(scratch),
            [&](HWND sheet) {
                EXPECT_EQ(1, PageNumber(sheet));
                for (int box : runs[i].boxes)
                    Press(CurrentPage(sheet), box);
                return true;
            },
            [](HWND sheet) {
                Press(sheet, IdNext);
                return true;
            },
            ExpectPage(2),
            PressCancel(),
        });
        const InstallOptions &want = runs[i].options;
        const InstallOptions &got = SetupState.options;
        EXPECT_EQ(want.associateJpeg, got.associateJpeg);
        EXPECT_EQ(want.associateBitmap, got.associateBitmap);
        EXPECT_EQ(want.associatePng, got.associatePng);
        EXPECT_EQ(want.desktopShortcut, got.desktopShortcut);
        EXPECT_EQ(want.startMenuGroup, got.startMenuGroup);
        EXPECT_EQ(want.sendToShortcut, got.sendToShortcut);
    }
    RemoveInstalledShortcuts();  // the shortcut boxes wrote into the prefix's shell folders
}

}  // namespace
