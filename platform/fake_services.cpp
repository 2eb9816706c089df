// Fake service control manager: a fixed table of services with their
// configuration and state, the error codes Windows gives, deletion that
// takes effect when the last handle closes, and each service's key in the
// fake registry. Starting the service "tavport" makes the links appear as
// the kit's driver does: by its Parameters\UseLpt.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "fake_system.h"

enum { SERVICES = 8 };
enum { REG_EXPAND_SZ_TYPE = 2, REG_MULTI_SZ_TYPE = 7 };

static FakeService Services[SERVICES];
static int StartedLinks;

void FakeResetServices(void) {
  memset(Services, 0, sizeof Services);
  StartedLinks = -1;
}

void FakeSetStartedLinks(int mask) { StartedLinks = mask; }

static FakeService* Find(const char* name) {
  if (name == 0) return 0;
  for (unsigned i = 0; i < SERVICES; i++)
    if (Services[i].Used && strcasecmp(Services[i].Name, name) == 0) return &Services[i];
  return 0;
}

const FakeService* FakeFindService(const char* name) { return Find(name); }

static void KeyPath(const FakeService* service, const char* below, char* out, unsigned size) {
  snprintf(out, size, "System\\CurrentControlSet\\Services\\%s%s", service->Name, below);
}

// The service's key, as the service control manager writes it.
static void WriteServiceKey(const FakeService* service) {
  char path[256];
  KeyPath(service, "", path, sizeof path);
  FakeRegSetValue(path, "Type", REG_DWORD, &service->ServiceType, 4);
  FakeRegSetValue(path, "Start", REG_DWORD, &service->StartType, 4);
  FakeRegSetValue(path, "ErrorControl", REG_DWORD, &service->ErrorControl, 4);
  FakeRegSetValue(path, "ImagePath", REG_EXPAND_SZ_TYPE, service->ImagePath,
                  (unsigned)strlen(service->ImagePath) + 1);
  FakeRegSetValue(path, "DisplayName", REG_SZ, service->DisplayName,
                  (unsigned)strlen(service->DisplayName) + 1);
  if (service->LoadOrderGroup[0] != 0)
    FakeRegSetValue(path, "Group", REG_SZ, service->LoadOrderGroup,
                    (unsigned)strlen(service->LoadOrderGroup) + 1);
  if (service->HasTag) FakeRegSetValue(path, "Tag", REG_DWORD, &service->Tag, 4);
  if (service->DependenciesLength > 2)
    FakeRegSetValue(path, "DependOnService", REG_MULTI_SZ_TYPE, service->Dependencies,
                    service->DependenciesLength);
}

static void Remove(FakeService* service) {
  char path[256];
  KeyPath(service, "", path, sizeof path);
  FakeRegDeleteTree(path);
  memset(service, 0, sizeof *service);
}

void FakeAddService(const char* name, bool running) {
  FakeService* service = Find(name);
  for (unsigned i = 0; service == 0 && i < SERVICES; i++)
    if (!Services[i].Used) service = &Services[i];
  if (service == 0) return;
  memset(service, 0, sizeof *service);
  service->Used = true;
  snprintf(service->Name, sizeof service->Name, "%s", name);
  snprintf(service->DisplayName, sizeof service->DisplayName, "%s", name);
  service->ServiceType = SERVICE_KERNEL_DRIVER;
  service->StartType = SERVICE_AUTO_START;
  service->ErrorControl = SERVICE_ERROR_NORMAL;
  snprintf(service->ImagePath, sizeof service->ImagePath,
           "C:\\windows\\system32\\drivers\\%s.sys", name);
  service->Running = running;
  WriteServiceKey(service);
}

// Narrow copies of the wide texts: the fake keeps one form.
static void Narrow(const WCHAR* from, char* to, unsigned size) {
  unsigned i = 0;
  for (; from != 0 && from[i] != 0 && i + 1 < size; i++)
    to[i] = from[i] < 0x80 ? (char)from[i] : '?';
  to[i] = 0;
}

// A name list (names each NUL-ended, then an empty name) into `to`;
// returns its length in bytes with the final empty name, 0 for NULL.
template <typename Char>
static unsigned CopyNameList(const Char* from, char* to, unsigned size) {
  if (from == 0) return 0;
  unsigned i = 0;
  while (i + 2 < size) {
    to[i] = from[i] < 0x80 ? (char)from[i] : '?';
    if (from[i] == 0 && (i == 0 || from[i - 1] == 0)) return i + 1;
    i++;
  }
  to[i] = 0;
  to[i + 1] = 0;
  return i + 2;
}

static bool IsManager(SC_HANDLE handle) { return FakeHandleKindOf(handle) == FAKE_SC_MANAGER; }

static FakeService* ServiceOf(SC_HANDLE handle) {
  if (FakeHandleKindOf(handle) != FAKE_SERVICE) return 0;
  return Find(FakeHandleName(handle));
}

static SC_HANDLE OpenServiceHandle(FakeService* service) {
  SC_HANDLE handle = (SC_HANDLE)FakeOpenHandle(FAKE_SERVICE, 0, service->Name);
  if (handle != 0) service->OpenHandles++;
  return handle;
}

SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access) {
  FakeCall* call = FakeLogCall("OpenSCManagerA");
  FakeCopyText(call->Text, machine);
  FakeCopyText(call->Text2, database);
  call->TextNull = machine == 0;
  call->Text2Null = database == 0;
  call->Args[0] = access;
  DWORD error;
  if (FakeInjectedFailure("OpenSCManagerA", &error)) {
    call->Failed = true;
    return 0;
  }
  return (SC_HANDLE)FakeOpenHandle(FAKE_SC_MANAGER, 0, "ServicesActive");
}

// Both forms of the creation call log under their own name and share
// this: the texts are already narrow here.
static SC_HANDLE CreateService(FakeCall* call, SC_HANDLE manager, const char* name,
                               const char* displayName, DWORD access, DWORD serviceType,
                               DWORD startType, DWORD errorControl, const char* imagePath,
                               const char* loadOrderGroup, LPDWORD tagId,
                               const char* dependencies, unsigned dependenciesLength,
                               bool hasCredentials) {
  FakeCopyText(call->Text, name);
  FakeCopyText(call->Text2, imagePath);
  call->Args[0] = (uintptr_t)manager;
  call->Args[1] = access;
  call->Args[2] = serviceType;
  call->Args[3] = startType;
  call->Args[4] = errorControl;
  call->Args[5] = tagId != 0;
  call->Args[6] = tagId != 0 ? *tagId : 0;
  call->Args[7] = hasCredentials;
  call->DataLength = dependenciesLength;
  memcpy(call->Data, dependencies, dependenciesLength);

  DWORD error;
  if (FakeInjectedFailure(call->Name, &error)) {
    call->Failed = true;
    return 0;
  }
  DWORD failure = 0;
  FakeService* existing = Find(name);
  FakeService* service = 0;
  for (unsigned i = 0; i < SERVICES && service == 0; i++)
    if (!Services[i].Used) service = &Services[i];
  if (!IsManager(manager))
    failure = ERROR_INVALID_HANDLE;
  else if (name[0] == 0 || imagePath[0] == 0)
    failure = ERROR_INVALID_NAME;
  else if (existing != 0)
    failure = existing->MarkedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS;
  else if (service == 0)
    failure = ERROR_NOT_ENOUGH_MEMORY;
  if (failure != 0) {
    SetLastError(failure);
    call->Failed = true;
    return 0;
  }

  service->Used = true;
  snprintf(service->Name, sizeof service->Name, "%s", name);
  snprintf(service->DisplayName, sizeof service->DisplayName, "%s",
           displayName[0] ? displayName : name);
  service->ServiceType = serviceType;
  service->StartType = startType;
  service->ErrorControl = errorControl;
  snprintf(service->ImagePath, sizeof service->ImagePath, "%s", imagePath);
  snprintf(service->LoadOrderGroup, sizeof service->LoadOrderGroup, "%s", loadOrderGroup);
  memcpy(service->Dependencies, dependencies, dependenciesLength);
  service->DependenciesLength = dependenciesLength;
  if (tagId != 0) {
    // As Windows does: the next free tag within the group.
    DWORD tag = 0;
    for (unsigned i = 0; i < SERVICES; i++)
      if (Services[i].Used && Services[i].HasTag &&
          strcasecmp(Services[i].LoadOrderGroup, service->LoadOrderGroup) == 0 &&
          Services[i].Tag > tag)
        tag = Services[i].Tag;
    service->Tag = tag + 1;
    service->HasTag = true;
    *tagId = service->Tag;
  }
  WriteServiceKey(service);
  SC_HANDLE handle = OpenServiceHandle(service);
  if (handle == 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    call->Failed = true;
  }
  return handle;
}

SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR displayName, DWORD access,
                         DWORD serviceType, DWORD startType, DWORD errorControl,
                         LPCSTR imagePath, LPCSTR loadOrderGroup, LPDWORD tagId,
                         LPCSTR dependencies, LPCSTR account, LPCSTR password) {
  FakeCall* call = FakeLogCall("CreateServiceA");
  char list[FAKE_DEPENDENCIES];
  unsigned listLength = CopyNameList(dependencies, list, sizeof list);
  return CreateService(call, manager, name ? name : "", displayName ? displayName : "", access,
                       serviceType, startType, errorControl, imagePath ? imagePath : "",
                       loadOrderGroup ? loadOrderGroup : "", tagId, list, listLength,
                       account != 0 || password != 0);
}

SC_HANDLE CreateServiceW(SC_HANDLE manager, LPCWSTR name, LPCWSTR displayName, DWORD access,
                         DWORD serviceType, DWORD startType, DWORD errorControl,
                         LPCWSTR imagePath, LPCWSTR loadOrderGroup, LPDWORD tagId,
                         LPCWSTR dependencies, LPCWSTR account, LPCWSTR password) {
  FakeCall* call = FakeLogCall("CreateServiceW");
  char narrowName[64], narrowDisplay[64], narrowImage[FAKE_SERVICE_TEXT], narrowGroup[64];
  Narrow(name, narrowName, sizeof narrowName);
  Narrow(displayName, narrowDisplay, sizeof narrowDisplay);
  Narrow(imagePath, narrowImage, sizeof narrowImage);
  Narrow(loadOrderGroup, narrowGroup, sizeof narrowGroup);
  char list[FAKE_DEPENDENCIES];
  unsigned listLength = CopyNameList(dependencies, list, sizeof list);
  return CreateService(call, manager, narrowName, narrowDisplay, access, serviceType, startType,
                       errorControl, narrowImage, narrowGroup, tagId, list, listLength,
                       account != 0 || password != 0);
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access) {
  FakeCall* call = FakeLogCall("OpenServiceA");
  FakeCopyText(call->Text, name);
  call->Args[0] = (uintptr_t)manager;
  call->Args[1] = access;
  DWORD error;
  if (FakeInjectedFailure("OpenServiceA", &error)) {
    call->Failed = true;
    return 0;
  }
  FakeService* service = Find(name);
  DWORD failure = !IsManager(manager) ? ERROR_INVALID_HANDLE
                  : service == 0      ? ERROR_SERVICE_DOES_NOT_EXIST
                                      : 0;
  SC_HANDLE handle = failure ? 0 : OpenServiceHandle(service);
  if (failure == 0 && handle == 0) failure = ERROR_NOT_ENOUGH_MEMORY;
  if (failure != 0) {
    SetLastError(failure);
    call->Failed = true;
  }
  return handle;
}

// The links the kit's driver exposes once started.
static unsigned LinksOnStart(const FakeService* service) {
  if (StartedLinks >= 0) return (unsigned)StartedLinks;
  char path[256];
  KeyPath(service, "\\Parameters", path, sizeof path);
  DWORD useLpt = FakeRegDword(path, "UseLpt", 0);
  return useLpt >= 1 && useLpt <= 3 ? 1u << useLpt : 0xEu;
}

static bool IsKitDriver(const FakeService* service) {
  return strcasecmp(service->Name, "tavport") == 0;
}

BOOL StartServiceA(SC_HANDLE handle, DWORD argc, LPCSTR* argv) {
  FakeCall* call = FakeLogCall("StartServiceA");
  call->Args[0] = (uintptr_t)handle;
  call->Args[1] = argc;
  call->Args[2] = (uintptr_t)argv;
  DWORD error;
  if (FakeInjectedFailure("StartServiceA", &error)) {
    call->Failed = true;
    return FALSE;
  }
  FakeService* service = ServiceOf(handle);
  DWORD failure = service == 0                ? ERROR_INVALID_HANDLE
                  : service->MarkedForDelete  ? ERROR_SERVICE_MARKED_FOR_DELETE
                  : service->Running          ? ERROR_SERVICE_ALREADY_RUNNING
                                              : 0;
  if (failure != 0) {
    SetLastError(failure);
    call->Failed = true;
    return FALSE;
  }
  service->Running = true;
  if (IsKitDriver(service)) FakeSetLinks(LinksOnStart(service));
  return TRUE;
}

static void RemoveWhenDone(FakeService* service) {
  if (service->MarkedForDelete && service->OpenHandles == 0 && !service->Running)
    Remove(service);
}

BOOL ControlService(SC_HANDLE handle, DWORD control, LPSERVICE_STATUS status) {
  FakeCall* call = FakeLogCall("ControlService");
  call->Args[0] = (uintptr_t)handle;
  call->Args[1] = control;
  call->Args[2] = (uintptr_t)status;
  DWORD error;
  if (FakeInjectedFailure("ControlService", &error)) {
    call->Failed = true;
    return FALSE;
  }
  FakeService* service = ServiceOf(handle);
  DWORD failure = service == 0                      ? ERROR_INVALID_HANDLE
                  : control != SERVICE_CONTROL_STOP ? ERROR_INVALID_SERVICE_CONTROL
                  : !service->Running               ? ERROR_SERVICE_NOT_ACTIVE
                                                    : 0;
  if (failure != 0) {
    SetLastError(failure);
    call->Failed = true;
    return FALSE;
  }
  service->Running = false;
  if (IsKitDriver(service)) FakeSetLinks(0);
  if (status != 0) {
    memset(status, 0, sizeof *status);
    status->dwServiceType = service->ServiceType;
    status->dwCurrentState = SERVICE_STOPPED;
  }
  return TRUE;
}

BOOL DeleteService(SC_HANDLE handle) {
  FakeCall* call = FakeLogCall("DeleteService");
  call->Args[0] = (uintptr_t)handle;
  DWORD error;
  if (FakeInjectedFailure("DeleteService", &error)) {
    call->Failed = true;
    return FALSE;
  }
  FakeService* service = ServiceOf(handle);
  DWORD failure = service == 0                ? ERROR_INVALID_HANDLE
                  : service->MarkedForDelete  ? ERROR_SERVICE_MARKED_FOR_DELETE
                                              : 0;
  if (failure != 0) {
    SetLastError(failure);
    call->Failed = true;
    return FALSE;
  }
  service->MarkedForDelete = true;
  return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
  FakeCall* call = FakeLogCall("CloseServiceHandle");
  call->Args[0] = (uintptr_t)handle;
  DWORD error;
  if (FakeInjectedFailure("CloseServiceHandle", &error)) {
    call->Failed = true;
    return FALSE;
  }
  int kind = FakeHandleKindOf(handle);
  if (kind != FAKE_SC_MANAGER && kind != FAKE_SERVICE) {
    SetLastError(ERROR_INVALID_HANDLE);
    call->Failed = true;
    return FALSE;
  }
  FakeService* service = kind == FAKE_SERVICE ? ServiceOf(handle) : 0;
  FakeCloseHandleEntry(handle);
  if (service != 0) {
    service->OpenHandles--;
    RemoveWhenDone(service);
  }
  return TRUE;
}
