// Makes the Nth call of one system function fail, by swapping entries of this program's import
// table, so the product code linked into it needs no hooks. Only between Arm and Disarm: gtest and
// the helpers call the same functions while they check.
#ifndef VEMLA_FAULT_INJECTION_H
#define VEMLA_FAULT_INJECTION_H

#include <string>
#include <vector>

namespace Faults {
int FunctionCount();
const char *FunctionName(int function);
int FunctionNamed(const char *name);  // its index, or -1 when the table has no such function
// Counts calls from now on; the nth call of function (-1: none) fails as it would on a full disk,
// without access, or short of memory. With stop it and all after it never happen, as if the process ended
// there: __builtin_longjmp to StopPoint() (the caller's __builtin_setjmp), frames and handles abandoned.
void Arm(int function = -1, int n = 0, bool stop = false);
void **StopPoint();
void Disarm();                // the import table as it was
int Calls(int function);      // since Arm; 0 for a function this program does not import
bool Injected();              // the failure asked for by the last Arm was made
// Handed since Arm to each CreateDirectoryA, as SDDL or "inherited", and to SetNamedSecurityInfoA, as
// "set " and SDDL.
std::vector<std::string> FolderRights();
// While armed, the caller's free disk space and the volume's cluster size (0: the real one).
void FakeVolume(unsigned long long freeBytes, unsigned long clusterBytes);
// While armed, GetDriveTypeA answers type and GetVolumeInformationA flags for every volume (0: the
// real ones).
void FakeDrive(unsigned type, unsigned long flags);
// While armed, GetFileAttributesA and FindFirstFileA report a reparse point with tag for what is
// named name (null: nothing), as Windows reports links and OneDrive's placeholders; Wine, no tags.
void FakeReparsePoint(const char *name, unsigned long tag);
// While armed, callback runs once, just before call n of function reaches the system.
void BeforeCall(int function, int n, void (*callback)());
}

#endif
