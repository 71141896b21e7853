#include "tests/support/fault_injection.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace {
struct Entry {
    const char *name;
    void *wrapper;
    LONG_PTR failed;  // what the function returns when it fails
    DWORD error;      // and the thread's last error then
    void *real;       // null while not imported
    int calls;
};
int target = -1, failAt, beforeTarget = -1, beforeAt;
void (*beforeCallback)();
bool injected, stopping;
void *stopPoint[5];  // __builtin_setjmp's buffer: no unwinding through the product's frames
std::vector<std::pair<void **, void *>> swapped;  // slot, its original entry

extern Entry FaultTable[];
// The files opened while armed and not closed yet: a stopped run leaves the product's handles open.
std::vector<HANDLE> openFiles;
BOOL(WINAPI *realCloseHandle)(HANDLE) = CloseHandle;

BOOL WINAPI ClosingHandle(HANDLE handle)
{
    for (size_t i = 0; i < openFiles.size(); ++i)
        if (openFiles[i] == handle)
            openFiles.erase(openFiles.begin() + i--);
    return realCloseHandle(handle);
}

template <typename F> struct Hook;
template <typename R, typename... A> struct Hook<R(WINAPI *)(A...)> {
    template <int I> static R WINAPI Call(A... a)
    {
        Entry &e = FaultTable[I];
        if (++e.calls == beforeAt && I == beforeTarget && beforeCallback) {
            void (*callback)() = beforeCallback;
            beforeCallback = NULL;
            callback();
        }
        if (e.calls == failAt && I == target) {
            injected = true;
            if (stopping) {
                for (HANDLE file : openFiles)  // as the process's end would
                    realCloseHandle(file);
                openFiles.clear();
                __builtin_longjmp(stopPoint, 1);
            }
            SetLastError(e.error);
            return (R)e.failed;
        }
        return ((R(WINAPI *)(A...))e.real)(a...);
    }
};

ULONGLONG fakeFree;  // 0: the real free space
DWORD fakeCluster;   // 0: the volume's real cluster size

// The free space for the caller is the faked one, after counting (and maybe failing) the call.
template <int I> BOOL WINAPI FreeSpace(LPCSTR folder, PULARGE_INTEGER caller, PULARGE_INTEGER total, PULARGE_INTEGER free)
{
    BOOL got = Hook<decltype(&::GetDiskFreeSpaceExA)>::Call<I>(folder, caller, total, free);
    if (got && fakeFree && caller)
        caller->QuadPart = fakeFree;
    return got;
}

template <int I> BOOL WINAPI ClusterSize(LPCSTR root, LPDWORD sectors, LPDWORD bytes, LPDWORD free, LPDWORD total)
{
    BOOL got = Hook<decltype(&::GetDiskFreeSpaceA)>::Call<I>(root, sectors, bytes, free, total);
    if (got && fakeCluster)
        *sectors = fakeCluster / 512, *bytes = 512;
    return got;
}

const char *fakeName;  // null: no reparse point faked
DWORD fakeTag;

static bool IsFaked(const char *path)
{
    const char *name = path ? strrchr(path, '\\') : NULL;
    return fakeName && path && lstrcmpiA(name ? name + 1 : path, fakeName) == 0;
}

template <int I> DWORD WINAPI Attributes(LPCSTR path)
{
    DWORD attributes = Hook<decltype(&::GetFileAttributesA)>::Call<I>(path);
    return attributes != INVALID_FILE_ATTRIBUTES && IsFaked(path) ? attributes | FILE_ATTRIBUTE_REPARSE_POINT
                                                                  : attributes;
}

template <int I>
HANDLE WINAPI OpenFile(LPCSTR path, DWORD access, DWORD sharing, LPSECURITY_ATTRIBUTES security,
                       DWORD creation, DWORD flags, HANDLE model)
{
    HANDLE file = Hook<decltype(&::CreateFileA)>::Call<I>(path, access, sharing, security, creation, flags,
                                                          model);
    if (file != INVALID_HANDLE_VALUE)
        openFiles.push_back(file);
    return file;
}

template <int I> HANDLE WINAPI FindFirst(LPCSTR path, LPWIN32_FIND_DATAA found)
{
    HANDLE search = Hook<decltype(&::FindFirstFileA)>::Call<I>(path, found);
    if (search != INVALID_HANDLE_VALUE && IsFaked(path))
        found->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT, found->dwReserved0 = fakeTag;
    return search;
}

// The rights each CreateDirectoryA since Arm was handed for the new folder: SDDL, or "inherited" for none.
std::vector<std::string> rights;
template <int I> BOOL WINAPI CreateFolder(LPCSTR folder, LPSECURITY_ATTRIBUTES attributes)
{
    char *sddl = NULL;
    rights.push_back(!attributes || !attributes->lpSecurityDescriptor ? "inherited"
                     : ConvertSecurityDescriptorToStringSecurityDescriptorA(attributes->lpSecurityDescriptor,
                           SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &sddl, NULL) ? sddl : "unreadable");
    LocalFree(sddl);
    return Hook<decltype(&::CreateDirectoryA)>::Call<I>(folder, attributes);
}

// What each SetNamedSecurityInfoA since Arm was handed for a folder's list, as SDDL, into rights too.
template <int I>
DWORD WINAPI SetRights(LPSTR name, SE_OBJECT_TYPE type, SECURITY_INFORMATION what, PSID owner, PSID group,
                       PACL dacl, PACL sacl)
{
    SECURITY_DESCRIPTOR descriptor;
    char *sddl = NULL;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE);
    if (what & PROTECTED_DACL_SECURITY_INFORMATION)
        SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    rights.push_back(ConvertSecurityDescriptorToStringSecurityDescriptorA(&descriptor, SDDL_REVISION_1,
                         DACL_SECURITY_INFORMATION, &sddl, NULL) ? "set " + std::string(sddl) : "unreadable");
    LocalFree(sddl);
    return Hook<decltype(&::SetNamedSecurityInfoA)>::Call<I>(name, type, what, owner, group, dacl, sacl);
}

UINT fakeDriveType;      // 0: the drive's real type
DWORD fakeVolumeFlags;   // 0: the volume's real flags
template <int I> UINT WINAPI DriveType(LPCSTR root)
{
    UINT type = Hook<decltype(&::GetDriveTypeA)>::Call<I>(root);
    return fakeDriveType && type != DRIVE_NO_ROOT_DIR ? fakeDriveType : type;
}

template <int I>
BOOL WINAPI VolumeFlags(LPCSTR root, LPSTR name, DWORD nameSize, LPDWORD serial, LPDWORD length,
                        LPDWORD flags, LPSTR system, DWORD systemSize)
{
    BOOL got = Hook<decltype(&::GetVolumeInformationA)>::Call<I>(root, name, nameSize, serial, length, flags,
                                                                  system, systemSize);
    if (got && fakeVolumeFlags && flags)
        *flags = fakeVolumeFlags;
    return got;
}

// Fails as a volume that makes no short names answers: with the long name.
template <int I> DWORD WINAPI ShortName(LPCWSTR path, LPWSTR shortPath, DWORD size)
{
    DWORD length = Hook<decltype(&::GetShortPathNameW)>::Call<I>(path, shortPath, size);
    if (length != (DWORD)-1)
        return length;
    length = lstrlenW(path);
    return length < size ? (lstrcpyW(shortPath, path), length) : length + 1;
}

// One line per function: its failure, realistic for what it does.
#define FAULT_AS(function, wrapper, failed, error) \
    {#function, (void *)&wrapper<__COUNTER__ - First - 1>, (LONG_PTR)(failed), error, NULL, 0}
#define FAULT(function, failed, error) FAULT_AS(function, Hook<decltype(&::function)>::Call, failed, error)
enum { First = __COUNTER__ };
Entry FaultTable[] = {
    FAULT(CopyFileA, FALSE, ERROR_DISK_FULL),
    FAULT_AS(CreateDirectoryA, CreateFolder, FALSE, ERROR_DISK_FULL),
    FAULT(SetCurrentDirectoryA, FALSE, ERROR_ACCESS_DENIED),
    FAULT(DeleteFileA, FALSE, ERROR_ACCESS_DENIED),
    FAULT(RemoveDirectoryA, FALSE, ERROR_ACCESS_DENIED),
    FAULT(SetFileAttributesA, FALSE, ERROR_ACCESS_DENIED),
    FAULT_AS(GetFileAttributesA, Attributes, INVALID_FILE_ATTRIBUTES, ERROR_ACCESS_DENIED),
    FAULT_AS(FindFirstFileA, FindFirst, INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED),
    FAULT_AS(CreateFileA, OpenFile, INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED),
    FAULT(GetFileInformationByHandle, FALSE, ERROR_ACCESS_DENIED),
    FAULT_AS(SetNamedSecurityInfoA, SetRights, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
    FAULT_AS(GetDriveTypeA, DriveType, DRIVE_NO_ROOT_DIR, ERROR_NOT_READY),
    FAULT_AS(GetVolumeInformationA, VolumeFlags, FALSE, ERROR_NOT_READY),
    FAULT(SHFileOperationA, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
    FAULT(GetModuleFileNameW, 0, ERROR_ACCESS_DENIED),
    FAULT_AS(GetShortPathNameW, ShortName, -1, ERROR_SUCCESS),  // the long name, as without 8.3 names
    FAULT(GetLongPathNameA, 0, ERROR_ACCESS_DENIED),
    FAULT_AS(GetDiskFreeSpaceExA, FreeSpace, FALSE, ERROR_NOT_READY),
    FAULT_AS(GetDiskFreeSpaceA, ClusterSize, FALSE, ERROR_NOT_READY),
    FAULT(RegCreateKeyExA, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
    FAULT(RegOpenKeyExA, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
    FAULT(RegOpenKeyExW, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
    FAULT(RegSetValueExA, ERROR_DISK_FULL, ERROR_DISK_FULL),
    FAULT(RegSetValueExW, ERROR_DISK_FULL, ERROR_DISK_FULL),
    FAULT(RegSetValueA, ERROR_DISK_FULL, ERROR_DISK_FULL),
    FAULT(RegQueryValueExA, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
    FAULT(RegQueryValueExW, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
    FAULT(RegQueryValueA, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
    FAULT(RegDeleteKeyA, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
    FAULT(RegDeleteKeyW, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
    FAULT(RegDeleteValueA, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
    FAULT(RegDeleteValueW, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
    FAULT(RegEnumKeyExA, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
    FAULT(RegEnumKeyExW, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
    FAULT(CoCreateInstance, E_OUTOFMEMORY, ERROR_NOT_ENOUGH_MEMORY),
    FAULT(SHGetMalloc, E_OUTOFMEMORY, ERROR_NOT_ENOUGH_MEMORY),
    FAULT(SHGetSpecialFolderLocation, E_OUTOFMEMORY, ERROR_NOT_ENOUGH_MEMORY),
    FAULT(SHGetPathFromIDListW, FALSE, ERROR_ACCESS_DENIED),
    FAULT(ShellExecuteA, SE_ERR_FNF, ERROR_FILE_NOT_FOUND),
    FAULT(SHChangeNotify, 0, ERROR_SUCCESS),  // tells nothing
    FAULT(CreateMutexA, NULL, ERROR_ACCESS_DENIED),  // another user's setup, running elevated
    FAULT(LoadLibraryExA, NULL, ERROR_INVALID_PARAMETER),  // Vista or 7 without the search flags
    FAULT(GetACP, 1252, ERROR_SUCCESS),  // a Western system's code page for non-Unicode programs
};
enum { Count = sizeof FaultTable / sizeof FaultTable[0] };
}  // namespace

static void Swap(void **slot, void *entry)
{
    DWORD protection;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
    *slot = entry;
    VirtualProtect(slot, sizeof *slot, protection, &protection);
}

// A crash ends the process: name the run that made it.
static LONG CALLBACK ReportCrash(EXCEPTION_POINTERS *exception)
{
    DWORD code = exception->ExceptionRecord->ExceptionCode;
    if (!swapped.empty() && (code == EXCEPTION_ACCESS_VIOLATION || code == EXCEPTION_STACK_OVERFLOW))
        fprintf(stderr, "fault injection: exception %08lx with %s #%d failing\n", code,
                target < 0 ? "nothing" : FaultTable[target].name, failAt);
    return EXCEPTION_CONTINUE_SEARCH;
}

namespace Faults {
int FunctionCount() { return Count; }
const char *FunctionName(int function) { return FaultTable[function].name; }
int Calls(int function) { return FaultTable[function].calls; }
int FunctionNamed(const char *name)
{
    for (int function = 0; function < Count; ++function)
        if (strcmp(FaultTable[function].name, name) == 0)
            return function;
    return -1;
}
void FakeVolume(unsigned long long freeBytes, unsigned long clusterBytes) { fakeFree = freeBytes, fakeCluster = clusterBytes; }
void FakeDrive(unsigned type, unsigned long flags) { fakeDriveType = type, fakeVolumeFlags = flags; }
void FakeReparsePoint(const char *name, unsigned long tag) { fakeName = name, fakeTag = tag; }
void BeforeCall(int function, int n, void (*callback)()) 
{
    beforeTarget = function, beforeAt = n, beforeCallback = callback;
}

bool Injected() { return injected; }
std::vector<std::string> FolderRights() { return rights; }

void **StopPoint() { return stopPoint; }

void Arm(int function, int n, bool stop)
{
    static PVOID handler = AddVectoredExceptionHandler(1, ReportCrash);
    (void)handler;
    Disarm();
    target = function, failAt = n, injected = false, stopping = stop;
    openFiles.clear();
    BYTE *base = (BYTE *)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS *headers = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    DWORD imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (Entry &e : FaultTable)
        e.calls = 0;
    rights.clear();
    // Slots are found by name in the hint/name table, which names every one, whichever DLL resolved it.
    for (IMAGE_IMPORT_DESCRIPTOR *d = (IMAGE_IMPORT_DESCRIPTOR *)(base + imports); imports && d->Name; ++d) {
        IMAGE_THUNK_DATA *name = (IMAGE_THUNK_DATA *)(base + d->OriginalFirstThunk);
        void **slot = (void **)(base + d->FirstThunk);
        for (; d->OriginalFirstThunk && name->u1.AddressOfData; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal))
                continue;
            const char *imported = (const char *)((IMAGE_IMPORT_BY_NAME *)(base + name->u1.AddressOfData))->Name;
            if (strcmp(imported, "CloseHandle") == 0) {  // watched, never failed
                realCloseHandle = (BOOL(WINAPI *)(HANDLE))*slot;
                swapped.push_back({slot, *slot});
                Swap(slot, (void *)&ClosingHandle);
            }
            for (Entry &e : FaultTable) {
                if (strcmp(imported, e.name) == 0) {
                    e.real = *slot;
                    swapped.push_back({slot, *slot});
                    Swap(slot, e.wrapper);
                }
            }
        }
    }
}

void Disarm()
{
    for (auto &s : swapped)
        Swap(s.first, s.second);
    swapped.clear();
}
}  // namespace Faults
