#include <windows.h>

#include "app/entry.h"

// The program's entry in place of the C runtime's start-up, which does nothing this program needs
// (no global constructors, no argv, no atexit) and would be a third of its size. The argument is
// taken from the command line by our own rule, which the tests pin down. Windows promises the
// 32-bit entry less stack alignment than the compiler assumes, hence the realignment.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void EntryPoint(void)
{
    RestrictDllSearch();
    ExitProcess(RunSetup(GetModuleHandleA(NULL), GetCommandArgument(GetCommandLineA())));
}
