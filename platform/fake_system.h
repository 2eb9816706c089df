// Control of the fake platform's system side, for tests: files under a
// temporary root with the directory lookups, the service control manager,
// and the registry.
//
// Every fake call below logs itself (FakeCall: Text/Text2 the text
// arguments, Args the others) and consults the failure injection first.
// Handles come from the shared handle table: FAKE_SC_MANAGER, FAKE_SERVICE,
// FAKE_REGISTRY_KEY, so FakeOpenHandleCount shows leaks.
#ifndef TAV_FAKE_SYSTEM_H
#define TAV_FAKE_SYSTEM_H

#include "fake.h"

// --- Files ------------------------------------------------------------------------
// Windows paths "X:\dir\file" live under a temporary folder of this machine
// as <root>/X/dir/file. A fresh machine has the Windows directory
// C:\windows with system, system32 and system32\drivers, the system
// directory C:\windows\system32, and the current directory C:\kit (empty).
// Bare names (no backslash, no drive) are taken from the current directory.

// The lookups' answers; a text of 260 characters or more makes the lookup
// report the size it would need, as the real one does.
void FakeSetWindowsDirectory(const char* path);
void FakeSetSystemDirectory(const char* path);
// Host path of a Windows path (into a static buffer).
const char* FakeHostPath(const char* windowsPath);
// Writes a file (a bare name lands in the current directory).
void FakeWriteFile(const char* windowsPath, const char* content);
// Contents of a file into `to` (NUL-terminated, cut to size); -1 when missing.
int FakeReadFile(const char* windowsPath, char* to, unsigned size);
bool FakeFileExists(const char* windowsPath);
// A file in use: copying over it fails with ERROR_SHARING_VIOLATION.
void FakeLockFile(const char* windowsPath);
void FakeMakeDirectory(const char* windowsPath);

// --- Service control manager --------------------------------------------------
enum { FAKE_SERVICE_TEXT = 300, FAKE_DEPENDENCIES = 64 };

struct FakeService {
  bool Used;
  char Name[64];
  char DisplayName[64];
  DWORD ServiceType;
  DWORD StartType;
  DWORD ErrorControl;
  char ImagePath[FAKE_SERVICE_TEXT];
  char LoadOrderGroup[64];
  DWORD Tag;
  bool HasTag;
  char Dependencies[FAKE_DEPENDENCIES];  // names, each NUL-ended, then an empty name
  unsigned DependenciesLength;           // bytes including the final empty name
  bool Running;
  bool MarkedForDelete;
  unsigned OpenHandles;
};

// The service of that name (any letter case), or NULL.
const FakeService* FakeFindService(const char* name);
// A service that exists before the run: a kernel driver with the given
// state, and its key under HKLM\System\CurrentControlSet\Services.
void FakeAddService(const char* name, bool running);
// Links that a started driver exposes: -1 (the default) follows the
// driver's Parameters\UseLpt like the real driver (0: links 1 to 3, n: only
// link n); any other value is the link mask itself (0: none).
void FakeSetStartedLinks(int mask);

// --- Registry ------------------------------------------------------------------------
// Keys under HKEY_LOCAL_MACHINE, by path relative to it ("System\...").
bool FakeRegKeyExists(const char* path);
void FakeRegCreateKey(const char* path);  // with every missing level
// Removes the key and everything below it.
void FakeRegDeleteTree(const char* path);
void FakeRegSetValue(const char* path, const char* name, DWORD type, const void* data,
                     unsigned size);
// Reads a value: false when the key or value is missing.
bool FakeRegGetValue(const char* path, const char* name, DWORD* type, void* data,
                     unsigned* size);
// Convenience: the value as a DWORD, or `missing` when absent or not REG_DWORD.
DWORD FakeRegDword(const char* path, const char* name, DWORD missing);

#endif  // TAV_FAKE_SYSTEM_H
