#include "system/user_shell.h"

#include <windows.h>
#include <exdisp.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlobj.h>

#include "base/bounded_text.h"

static int IsElevated(void)
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return 0;
    TOKEN_ELEVATION elevation = {};
    DWORD size;
    // Systems before Vista know no elevation: the call fails and the program is started as always.
    int elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                   elevation.TokenIsElevated;
    CloseHandle(token);
    return elevated;
}

static void Release(IUnknown *object)
{
    if (object)
        object->Release();
}

// The desktop's IShellDispatch2 runs in the shell's own process, which has the user's rights:
// shell windows -> the desktop -> its browser -> its view -> the view's automation object -> the
// shell application. With file null it only finds out whether that route is there.
static int ShellExecuteThroughDesktop(BSTR file, BSTR folder)
{
    IShellWindows *windows = NULL;
    IDispatch *desktop = NULL;
    IServiceProvider *provider = NULL;
    IShellBrowser *browser = NULL;
    IShellView *view = NULL;
    IDispatch *background = NULL;
    IShellFolderViewDual *folderView = NULL;
    IDispatch *application = NULL;
    IShellDispatch2 *shell = NULL;
    VARIANT none = {};  // VT_EMPTY
    long window = 0;
    int started = 0;
    int reached =
        SUCCEEDED(CoCreateInstance(CLSID_ShellWindows, NULL, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                   (void **)&windows)) &&
        windows->FindWindowSW(&none, &none, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, &desktop) == S_OK &&
        desktop && SUCCEEDED(desktop->QueryInterface(IID_IServiceProvider, (void **)&provider)) &&
        SUCCEEDED(provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, (void **)&browser)) &&
        SUCCEEDED(browser->QueryActiveShellView(&view)) &&
        SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, (void **)&background)) &&
        SUCCEEDED(background->QueryInterface(IID_IShellFolderViewDual, (void **)&folderView)) &&
        SUCCEEDED(folderView->get_Application(&application)) &&
        SUCCEEDED(application->QueryInterface(IID_IShellDispatch2, (void **)&shell));
    if (reached && !file) {
        started = 1;
    } else if (reached) {
        VARIANT directory = {};
        directory.vt = VT_BSTR;
        directory.bstrVal = folder;
        VARIANT operation = {};
        operation.vt = VT_BSTR;
        operation.bstrVal = SysAllocString(L"open");
        VARIANT show = {};
        show.vt = VT_I4;
        show.lVal = SW_SHOW;
        started = operation.bstrVal &&
                  SUCCEEDED(shell->ShellExecute(file, none, directory, operation, show));
        SysFreeString(operation.bstrVal);
    }
    Release(shell);
    Release(application);
    Release(folderView);
    Release(background);
    Release(view);
    Release(browser);
    Release(provider);
    Release(desktop);
    Release(windows);
    return started;
}

static BSTR AllocateWide(const char *text)
{
    WCHAR wide[MAX_PATH];
    return MultiByteToWideChar(CP_ACP, 0, text, -1, wide, MAX_PATH) ? SysAllocString(wide) : NULL;
}

int OpenAsUser(const char *folder, const char *name)
{
    // The full name: the shell resolves a relative one against its own current folder.
    char path[MAX_PATH];
    int composed = folder ? JoinPath(path, sizeof path, folder, name) : CopyText(path, sizeof path, name);
    if (!composed)
        return 0;
    if (IsElevated()) {
        BSTR file = AllocateWide(path);
        BSTR directory = AllocateWide(folder ? folder : "");
        int started = file && directory && ShellExecuteThroughDesktop(file, directory);
        SysFreeString(file);
        SysFreeString(directory);
        // Without the shell's route (Explorer not running, another shell) nothing is started:
        // started from here it would run as administrator.
        return started;
    }
    return (INT_PTR)ShellExecuteA(GetDesktopWindow(), "open", path, NULL, folder, SW_SHOW) > 32;
}

int CanOpenAsUser(const char *scheme)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, scheme, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    int registered = RegQueryValueExA(key, "URL Protocol", NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
    RegCloseKey(key);
    return registered && (!IsElevated() || ShellExecuteThroughDesktop(NULL, NULL));
}
