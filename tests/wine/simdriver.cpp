// simdriver: installs, starts, stops and removes the simulated tavport.sys
// as the kernel driver service "tavport", for the Wine tests and the demo
// (the kit's installer does this for a real installation).
//   simdriver install <driver file, Windows path> [UseLpt]
//   simdriver uselpt <n>   (takes effect at the next start)
//   simdriver start | stop | remove
// Prints one line per step; exit status 0 on success, 1 on failure.
// The W forms of the service calls: Wine 8's CreateServiceA corrupts the
// dependency list, and this tool passes none anyway.
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

static const wchar_t SERVICE_NAME[] = L"tavport";

static int Fail(const char* what) {
  printf("simdriver: %s failed (%lu)\n", what, GetLastError());
  return 1;
}

static int SetUseLpt(DWORD useLpt) {
  HKEY key;
  LONG error = RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                               L"System\\CurrentControlSet\\Services\\tavport\\Parameters", 0,
                               NULL, 0, KEY_WRITE, NULL, &key, NULL);
  if (error != ERROR_SUCCESS) {
    SetLastError((DWORD)error);
    return Fail("writing UseLpt");
  }
  error = RegSetValueExW(key, L"UseLpt", 0, REG_DWORD, (const BYTE*)&useLpt, sizeof useLpt);
  RegCloseKey(key);
  if (error != ERROR_SUCCESS) {
    SetLastError((DWORD)error);
    return Fail("writing UseLpt");
  }
  printf("simdriver: UseLpt = %lu\n", useLpt);
  return 0;
}

static int Install(SC_HANDLE manager, const char* file, int haveUseLpt, DWORD useLpt) {
  wchar_t path[MAX_PATH];
  if (MultiByteToWideChar(CP_ACP, 0, file, -1, path, MAX_PATH) == 0) return Fail("path");
  SC_HANDLE service = CreateServiceW(manager, SERVICE_NAME, SERVICE_NAME, SERVICE_ALL_ACCESS,
                                     SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                     SERVICE_ERROR_NORMAL, path, NULL, NULL, NULL, NULL, NULL);
  if (service == NULL) return Fail("CreateService");
  CloseServiceHandle(service);
  printf("simdriver: service tavport installed (%s)\n", file);
  return haveUseLpt ? SetUseLpt(useLpt) : 0;
}

static int Control(SC_HANDLE manager, const char* action) {
  SC_HANDLE service = OpenServiceW(manager, SERVICE_NAME, SERVICE_ALL_ACCESS);
  if (service == NULL) return Fail("OpenService");
  BOOL ok;
  SERVICE_STATUS status;
  if (strcmp(action, "start") == 0) {
    ok = StartServiceW(service, 0, NULL);
  } else if (strcmp(action, "stop") == 0) {
    ok = ControlService(service, SERVICE_CONTROL_STOP, &status);
  } else {
    ok = DeleteService(service);
  }
  DWORD error = GetLastError();
  CloseServiceHandle(service);
  SetLastError(error);
  if (!ok) return Fail(action);
  printf("simdriver: %s done\n", action);
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    printf("usage: simdriver install <driver file> [UseLpt] | uselpt <n> | start | stop | remove\n");
    return 1;
  }
  const char* action = argv[1];
  if (strcmp(action, "uselpt") == 0 && argc >= 3) return SetUseLpt((DWORD)strtoul(argv[2], NULL, 10));
  int install = strcmp(action, "install") == 0;
  if (!(install && argc >= 3) && strcmp(action, "start") != 0 && strcmp(action, "stop") != 0 &&
      strcmp(action, "remove") != 0) {
    printf("simdriver: unknown or incomplete command\n");
    return 1;
  }
  SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
  if (manager == NULL) return Fail("OpenSCManager");
  int result = install ? Install(manager, argv[2], argc >= 4, (DWORD)strtoul(argv[argc >= 4 ? 3 : 2], NULL, 10))
                       : Control(manager, action);
  CloseServiceHandle(manager);
  fflush(stdout);
  return result;
}
