#include <windows.h>

#include "app/entry.h"

// The runtime's lpCmdLine is not used: the argument is taken from the command line by our own
// rule, which the tests pin down.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    RestrictDllSearch();
    return RunSetup(instance, GetCommandArgument(GetCommandLineA()));
}
