// tavsetup: the kit's console installer.
//
//   tavsetup install|install16|install32 [lpt1|lpt2|lpt3]
//   tavsetup remove
//
// Run from the folder that holds the kit's files. An install copies the
// libraries into the Windows directory's system folders and the driver file
// into the drivers folder, registers the kernel driver tavport as an
// automatically started service, stores the port option as UseLpt, starts
// the service and probes its links. "remove" stops and deletes the service
// and leaves the files in place. Every step writes its own console lines;
// in an install the first step that fails ends the chain.
//
// Exit status: 0 when the operation did what it set out to do (install:
// every step succeeded; remove: the service was deleted); 1 when the
// command line is refused, a directory lookup fails or a library copy
// fails (nothing further is done); 2 when a later step failed.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "winapi.h"

enum {
  OPERATION_REMOVE = 1,
  OPERATION_INSTALL16 = 2,
  OPERATION_INSTALL32 = 3,
  OPERATION_INSTALL = 4,
};

enum {
  EXIT_DONE = 0,
  EXIT_REFUSED = 1,
  EXIT_STEP_FAILED = 2,
};

static const char DRIVER_KEY[] = "System\\CurrentControlSet\\Services\\tavport";

// Longest text the installer hands to the wide service call: the image
// path, which always fits in 292 characters.
enum { WIDE_TEXT = 292 };

// One console line (or part of one). Flushed at once, so the lines of
// each step are out before the next platform call, whatever follows.
static void Say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
  fflush(stdout);
}

// Whole-word comparison without regard to ASCII letter case.
static int SameWord(const char* text, const char* word) {
  for (;; text++, word++) {
    char a = *text, b = *word;
    if (a >= 'A' && a <= 'Z') a = (char)(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = (char)(b - 'A' + 'a');
    if (a != b) return 0;
    if (a == 0) return 1;
  }
}

// The installer's texts are ASCII; each character widens to the same
// value. The result is always terminated.
static void WidenText(WCHAR* to, unsigned size, const char* from) {
  unsigned i = 0;
  for (; from[i] != 0 && i + 1 < size; i++) to[i] = (WCHAR)(unsigned char)from[i];
  to[i] = 0;
}

// A list of NUL-terminated names ended by an empty name, widened with its
// ending kept.
static void WidenNameList(WCHAR* to, unsigned size, const char* from) {
  unsigned i = 0;
  while (i + 2 < size && !(from[i] == 0 && (i == 0 || from[i - 1] == 0))) {
    to[i] = (WCHAR)(unsigned char)from[i];
    i++;
  }
  to[i] = 0;
  if (i == 0 || to[i - 1] != 0) to[i + 1] = 0;
}

void usage() {
  Say("The TAVSETUP program can be used to either install or remove the required\n");
  Say(" files for using the Quorvane Tav with Windows NT\n");
  Say("\n");
  Say("use:\n");
  Say("  tavsetup install <options>\n");
  Say("    to install tav device driver and required files for both 16 and 32 bit API\n");
  Say("    <options> may be:\n");
  Say("      LPTx = only LPTx will be used, x=1,2 or 3\n");
  Say("              - or -\n");
  Say("  tavsetup install16 <options>\n");
  Say("    to install tav device driver and required files for only 16 bit API\n");
  Say("              - or -\n");
  Say("  tavsetup install32 <options>\n");
  Say("    to install tav device driver and required files for only 32 bit API\n");
  Say("              - or -\n");
  Say("  tavsetup remove\n");
  Say("    to remove tav device driver\n");
}

// --- File placement ----------------------------------------------------------

// Copies the bare file name from the current directory to Dir + Middle +
// FileName and reports it with the step's own wording.
static int CopyOneFile(const char* Dir, const char* Middle, const char* FileName,
                       const char* Kind) {
  char Buffer[292];
  strcpy(Buffer, Dir);
  strcat(Buffer, Middle);
  strcat(Buffer, FileName);
  int result = CopyFileA(FileName, Buffer, FALSE) ? 1 : 0;
  if (result)
    Say("%s %s copied to %s\n", Kind, FileName, Buffer);
  else
    Say("%s %s copy to %s FAILED\n", Kind, FileName, Buffer);
  return result;
}

int CopyDriver(const char* SysDir, const char* DriverFileName) {
  return CopyOneFile(SysDir, "\\drivers\\", DriverFileName, "Driver");
}

int CopyDll16(const char* WinDir, const char* DllFileName) {
  return CopyOneFile(WinDir, "\\system\\", DllFileName, "File");
}

int CopyDll32(const char* WinDir, const char* DllFileName) {
  return CopyOneFile(WinDir, "\\system32\\", DllFileName, "File");
}

// --- Driver service ------------------------------------------------------------

int InstallDriver(SC_HANDLE SchSCManager, const char* DriverName, const char* SysDir,
                  const char* DriverFileName, const char* LoadOrder, DWORD Tag,
                  const char* Dependencies, DWORD LptOption) {
  Say("Creating %s service\n", DriverName);

  char ImagePath[292];
  strcpy(ImagePath, SysDir);
  strcat(ImagePath, "\\drivers\\");
  strcat(ImagePath, DriverFileName);

  // The wide form of the creation call: the same values, and a dependency
  // list that every platform stores as given (the narrow form corrupts it
  // on some).
  WCHAR wideName[64], wideImagePath[WIDE_TEXT], wideLoadOrder[64], wideDependencies[64];
  WidenText(wideName, 64, DriverName);
  WidenText(wideImagePath, WIDE_TEXT, ImagePath);
  WidenText(wideLoadOrder, 64, LoadOrder);
  WidenNameList(wideDependencies, 64, Dependencies);
  DWORD tagId = Tag;
  SC_HANDLE schService = CreateServiceW(
      SchSCManager, wideName, wideName, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
      SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, wideImagePath, wideLoadOrder, &tagId,
      wideDependencies, NULL, NULL);
  if (schService == NULL) {
    DWORD code = GetLastError();
    if (code == ERROR_SERVICE_EXISTS)
      Say("failure: CreateService, ERROR_SERVICE_EXISTS\n");
    else
      Say("failure: CreateService (0x%02x)\n", (unsigned)code);
    return 0;
  }
  Say("Service %s created\n", DriverName);
  CloseServiceHandle(schService);
  Say("Updating registry entries for %s service\n", DriverName);

  HKEY hDriverKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, DRIVER_KEY, 0, KEY_ALL_ACCESS, &hDriverKey) != 0) {
    Say("key '%s' open failure\n", DRIVER_KEY);
    return 0;
  }
  HKEY hParamKey;
  DWORD dwDisposition;
  char emptyClass[1] = "";
  if (RegCreateKeyExA(hDriverKey, "Parameters", 0, emptyClass, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, NULL, &hParamKey, &dwDisposition) != 0) {
    Say("key '%s' create failure\n", "Parameters");
    RegCloseKey(hDriverKey);
    return 0;
  }
  BYTE RegData[16];
  memset(RegData, 0, sizeof RegData);
  DWORD useLpt = (LptOption >= 1 && LptOption <= 3) ? LptOption : 0;
  RegData[0] = (BYTE)(useLpt & 0xFF);
  RegData[1] = (BYTE)((useLpt >> 8) & 0xFF);
  RegData[2] = (BYTE)((useLpt >> 16) & 0xFF);
  RegData[3] = (BYTE)((useLpt >> 24) & 0xFF);
  if (RegSetValueExA(hParamKey, "UseLpt", 0, REG_DWORD, RegData, 4) != 0) {
    Say("key value '%s' set failure\n", "UseLpt");
    RegCloseKey(hParamKey);
    RegCloseKey(hDriverKey);
    return 0;
  }
  RegFlushKey(hParamKey);
  RegCloseKey(hParamKey);
  RegFlushKey(hDriverKey);
  RegCloseKey(hDriverKey);
  Say("Registry updated ok\n");
  return 1;
}

int StartDriver(SC_HANDLE SchSCManager, const char* DriverName) {
  SC_HANDLE schService = OpenServiceA(SchSCManager, DriverName, SERVICE_ALL_ACCESS);
  if (schService == NULL) {
    Say("failure: OpenService (0x%02x)\n", (unsigned)GetLastError());
    return 0;
  }
  int result = StartServiceA(schService, 0, NULL) ? 1 : 0;
  if (result) {
    Say("StartService SUCCESS\n");
  } else {
    DWORD code = GetLastError();
    if (code == ERROR_SERVICE_ALREADY_RUNNING)
      Say("failure: StartService, ERROR_SERVICE_ALREADY_RUNNING\n");
    else
      Say("failure: StartService (0x%02x)\n", (unsigned)code);
  }
  CloseServiceHandle(schService);
  return result;
}

int StopDriver(SC_HANDLE SchSCManager, const char* DriverName) {
  SC_HANDLE schService = OpenServiceA(SchSCManager, DriverName, SERVICE_ALL_ACCESS);
  if (schService == NULL) {
    Say("failure: OpenService (0x%02x)\n", (unsigned)GetLastError());
    return 0;
  }
  SERVICE_STATUS serviceStatus;
  int result = ControlService(schService, SERVICE_CONTROL_STOP, &serviceStatus) ? 1 : 0;
  if (result)
    Say("ControlService(SERVICE_CONTROL_STOP) SUCCESS\n");
  else
    Say("failure: ControlService(SERVICE_CONTROL_STOP) (0x%02x)\n", (unsigned)GetLastError());
  CloseServiceHandle(schService);
  return result;
}

int RemoveDriver(SC_HANDLE SchSCManager, const char* DriverName) {
  SC_HANDLE schService = OpenServiceA(SchSCManager, DriverName, SERVICE_ALL_ACCESS);
  if (schService == NULL) {
    Say("failure: OpenService (0x%02x)\n", (unsigned)GetLastError());
    return 0;
  }
  int result = DeleteService(schService) ? 1 : 0;
  if (result)
    Say("DeleteService SUCCESS\n");
  else
    Say("failure: DeleteService (0x%02x)\n", (unsigned)GetLastError());
  CloseServiceHandle(schService);
  return result;
}

// Opens each of the driver's links once; the arguments take no part.
int TestDeviceOpen(const char* DriverName, DWORD LptOption) {
  (void)DriverName;
  (void)LptOption;
  int AnyFound = 0;
  char completeDeviceName[64];
  char DeviceNumber[8];
  memset(completeDeviceName, 0, sizeof completeDeviceName);
  for (int link = 1; link <= 3; link++) {
    strcpy(completeDeviceName, "\\\\.\\");
    strcat(completeDeviceName, "TAV");
    DeviceNumber[0] = (char)('0' + link);
    DeviceNumber[1] = 0;
    strcat(completeDeviceName, DeviceNumber);
    HANDLE hDevice = CreateFileA(completeDeviceName, GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hDevice != INVALID_HANDLE_VALUE) {
      Say("CreateFile '%s' SUCCESS\n", completeDeviceName);
      CloseHandle(hDevice);
      AnyFound = 1;
    }
  }
  if (!AnyFound) Say("Unable to open any links to driver\n");
  return AnyFound;
}

// --- Run plan ----------------------------------------------------------------------

// Fills Buffer (260 characters) by the lookup; says which lookup failed
// when it gives nothing or more than fits.
static int LookUpDirectory(UINT (WINAPI* lookup)(LPSTR, UINT), char* Buffer, const char* name) {
  UINT length = lookup(Buffer, MAX_PATH);
  if (length != 0 && length < MAX_PATH) return 1;
  DWORD code = length == 0 ? GetLastError() : (DWORD)ERROR_INSUFFICIENT_BUFFER;
  Say("failure: %s (0x%02x)\n", name, (unsigned)code);
  return 0;
}

int main(int argc, char** argv) {
  const char DriverName[] = "tavport";
  const char DriverFileName[] = "tavport.sys";
  const char LoadOrder[] = "Extended base";
  const DWORD Tag = 2;
  const char Dependencies[10] = "Parport\0\0";

  int Operation;
  int LptOption;
  int err;
  char WinDirBuffer[MAX_PATH];
  char SysDirBuffer[MAX_PATH];
  SC_HANDLE schSCManager;

  if (argc < 2) {
    usage();
    return EXIT_REFUSED;
  }
  if (SameWord(argv[1], "remove")) {
    Operation = OPERATION_REMOVE;
  } else if (SameWord(argv[1], "install")) {
    Operation = OPERATION_INSTALL;
  } else if (SameWord(argv[1], "install16")) {
    Operation = OPERATION_INSTALL16;
  } else if (SameWord(argv[1], "install32")) {
    Operation = OPERATION_INSTALL32;
  } else {
    usage();
    Say("'%s' is not 'remove' 'install' 'install16' or 'install32'", argv[1]);
    return EXIT_REFUSED;
  }

  LptOption = 0;
  if (argc == 3) {
    if (SameWord(argv[2], "lpt1")) {
      LptOption = 1;
    } else if (SameWord(argv[2], "lpt2")) {
      LptOption = 2;
    } else if (SameWord(argv[2], "lpt3")) {
      LptOption = 3;
    } else {
      usage();
      Say("'%s' is not a valid option", argv[2]);
      return EXIT_REFUSED;
    }
  }

  // A failed lookup would leave the buffers undefined and every copy and
  // the image path pointing nowhere: stop before anything is done.
  if (!LookUpDirectory(GetWindowsDirectoryA, WinDirBuffer, "GetWindowsDirectory") ||
      !LookUpDirectory(GetSystemDirectoryA, SysDirBuffer, "GetSystemDirectory"))
    return EXIT_REFUSED;

  schSCManager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);

  err = 1;
  if (Operation == OPERATION_INSTALL16 || Operation == OPERATION_INSTALL) {
    if (err) err = CopyDll16(WinDirBuffer, "tavapi16.dll");
    if (err) err = CopyDll32(WinDirBuffer, "tavbridge.dll");
  }
  if (Operation == OPERATION_INSTALL32 || Operation == OPERATION_INSTALL) {
    if (err) err = CopyDll32(WinDirBuffer, "tavapi32.dll");
  }
  if (!err) {
    Say("Error copying DLL's\n");
    if (schSCManager != NULL) CloseServiceHandle(schSCManager);
    return EXIT_REFUSED;
  }

  int done;
  if (Operation == OPERATION_REMOVE) {
    StopDriver(schSCManager, DriverName);
    done = RemoveDriver(schSCManager, DriverName);
  } else {
    err = CopyDriver(SysDirBuffer, DriverFileName);
    if (err)
      err = InstallDriver(schSCManager, DriverName, SysDirBuffer, DriverFileName, LoadOrder, Tag,
                          Dependencies, (DWORD)LptOption);
    if (err) err = StartDriver(schSCManager, DriverName);
    if (err) err = TestDeviceOpen(DriverName, (DWORD)LptOption);
    done = err;
  }

  if (schSCManager != NULL) CloseServiceHandle(schSCManager);
  return done ? EXIT_DONE : EXIT_STEP_FAILED;
}
