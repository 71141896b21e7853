// Both runs with each fallible system call made to fail in turn: the failure is reported, and
// nothing of the user's is lost.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "base/layout.h"
#include "base/setup_state.h"
#include "core/install.h"
#include "core/uninstall.h"
#include "system/registry_records.h"
#include "tests/support/fault_injection.h"
#include "tests/support/test_support.h"

enum RunKind { Install, Uninstall };
static const char *const RunNames[] = {"install", "uninstall"};
static const char Other[] = "OtherViewer.Image";  // .jpg's program before the installation
static const char Uninstalled[] = "アンインストールが成功しました。インストールしたフォルダを手動で削除してください。";

struct Violation { RunKind run; std::string function; int n; std::string what; };

class FaultSweep : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(932u, GetACP()) << "the texture names are code page 932";
        CoInitialize(NULL);
        InitCommonControls();
        page = CreateWindowExA(0, "STATIC", "page", WS_POPUP, 0, 0, 400, 300, NULL, NULL, NULL, NULL);
        CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD, 0, 0, 200, 20, page, (HMENU)1010, NULL, NULL);
        ASSERT_TRUE(CreateDirectoryA(source.c_str(), NULL) && CreateDirectoryA((source + "\\TEXTURE").c_str(), NULL));
        WriteDistribution(source);
        module.reset(new ScopedSetupModule(source));
    }

    void TearDown() override
    {
        DestroyWindow(page);
        module.reset();
        SetCurrentDirectoryA(savedDirectory.c_str());
        RemoveTree(root);
        RemoveInstalledShortcuts();
        CoUninitialize();
    }

    // Before the installation: the user's files, and .jpg belonging to another program.
    void Reset()
    {
        SetCurrentDirectoryA(root.c_str());
        RemoveTree(install);
        RemoveInstalledShortcuts();
        RegDeleteTreeA(registry.classesRoot, NULL);
        RegDeleteTreeA(registry.localMachine, NULL);
        for (const std::string &folder : {install, install + "\\TEXTURE", group})
            CreateDirectoryA(folder.c_str(), NULL);
        for (const std::string &file : UserFiles())
            WriteFileBytes(file, "the user's");
        WriteRegistryString(HKEY_CLASSES_ROOT, ".jpg", "", Other);
        WriteRegistryString(HKEY_CLASSES_ROOT, Other, "", "Another viewer's picture");
        SetupState.options = InstallOptions{1, 1, 1, 1, 1, 1};
        lstrcpyA(SetupState.installFolder, install.c_str());
        SetupState.sourceFolder[0] = '\0';
    }

    // Beside the install folder (named as a file it removes), in it, in the group.
    std::vector<std::string> UserFiles() const
    {
        return {root + "\\readme.txt", install + "\\mine.txt", group + "\\mine.txt"};
    }

    // The boxes of one run; the uninstallation is confirmed, and runs from the install folder.
    std::vector<SeenMessageBox> Execute(RunKind run, int function = -1, int n = 0)
    {
        std::unique_ptr<ScopedSetupModule> running(run == Uninstall ? new ScopedSetupModule(install) : NULL);
        ScopedMessageBoxScript boxes({IDYES});
        Faults::Arm(function, n);
        if (run == Install)
            RunInstallation(page);
        else
            RunUninstallation();
        Faults::Disarm();
        return boxes.seen;
    }

    void Check(RunKind run, const std::vector<SeenMessageBox> &boxes, const std::string &function, int n)
    {
        auto expect = [&](bool good, const std::string &what) {
            if (!good)
                violations.push_back({run, function, n, what});
        };
        const std::vector<std::string> earlier = {Other, "", "", ""};
        if (run == Install ? boxes.empty() : boxes.size() == 2 && boxes[1].text == Uninstalled) {
            std::string faults = run == Install ? InstallationFaults(install, source, SetupState.options, earlier)
                                                : UninstallationFaults(install, earlier);
            expect(faults.empty(), "no warning, yet " + faults);
        }
        for (const std::string &file : UserFiles())
            expect(ReadFileBytes(file) == "the user's", "the user's " + file.substr(root.size() + 1) + " lost");
        expect(RegistryKeyExists(HKEY_CLASSES_ROOT, Other), std::string(Other) + " lost");
        expect(RegistryText(HKEY_CLASSES_ROOT, ".jpg", "") == Other || RegistryText(HKEY_CLASSES_ROOT, ".jpg", PreviousValueName) == Other,
               ".jpg's earlier association lost");
        Execute(Uninstall);
        expect(RegistryText(HKEY_CLASSES_ROOT, ".jpg", "") == Other, ".jpg's earlier association not back after a further uninstallation");
    }

    std::string root = MakeScratchFolder("faults"), source = root + "\\dist", install = root + "\\Vemla 1";
    std::string group = SpecialFolder(CSIDL_PROGRAMS) + "\\Vemla", savedDirectory = CurrentDirectory();
    HWND page = NULL;
    ScopedRegistryOverride registry;
    std::unique_ptr<ScopedSetupModule> module;
    std::vector<Violation> violations;
};

TEST_F(FaultSweep, EveryFailedCallIsReportedAndLosesNothingOfTheUsers)
{
    auto start = std::chrono::steady_clock::now();
    int runs = 0;
    for (RunKind run : {Install, Uninstall}) {
        auto prepare = [&] {
            Reset();
            EXPECT_TRUE(run == Install || Execute(Install).empty()) << "the clean installation before an uninstallation";
        };
        prepare();
        std::vector<SeenMessageBox> clean = Execute(run);
        std::vector<int> calls;
        std::string counted;
        for (int f = 0; f < Faults::FunctionCount(); ++f) {
            calls.push_back(Faults::Calls(f));
            counted += std::string(" ") + Faults::FunctionName(f) + " " + std::to_string(calls[f]);
        }
        printf("%s, calls of a clean run:%s\n", RunNames[run], counted.c_str());
        Check(run, clean, "nothing", 0);
        for (int f = 0; f < Faults::FunctionCount(); ++f) {
            for (int n = 1; n <= calls[f]; ++n, ++runs) {
                prepare();
                std::vector<SeenMessageBox> boxes = Execute(run, f, n);
                EXPECT_TRUE(Faults::Injected()) << RunNames[run] << " " << Faults::FunctionName(f) << " #" << n << " not reached";
                Check(run, boxes, Faults::FunctionName(f), n);
            }
        }
    }
    EXPECT_GT(runs, ProgramFileCount + TextureFileCount + RemovalCount) << "the import table was not patched";

    for (const Violation &v : violations)
        ADD_FAILURE() << RunNames[v.run] << " with " << v.function << " #" << v.n << " failing: " << v.what;
    printf("fault sweep: %d runs with a failed call in %.1f s, %zu violations\n", runs,
           std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), violations.size());
}
