// tavapi32.dll when the driver goes away under an open link: the service
// of the simulated tavport.sys is stopped while the library holds \\.\TAV1.
// The next command returns -1 (two "TAV-8 not communicating" boxes while
// messages are on, none while they are off), the caller's storage keeps
// its bytes, TavClose still succeeds, and once the driver runs again a new
// TavCommInit works.
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "boxhook.h"
#include "check.h"
#include "tavapi32.h"

// Stops (start = false) or starts the driver's service.
static bool ControlDriver(bool start) {
  SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
  if (manager == NULL) return false;
  SC_HANDLE service = OpenServiceW(manager, L"tavport", SERVICE_ALL_ACCESS);
  bool ok = false;
  if (service != NULL) {
    SERVICE_STATUS status;
    ok = start ? StartServiceW(service, 0, NULL) != 0
               : ControlService(service, SERVICE_CONTROL_STOP, &status) != 0;
    if (!ok) printf("service %s failed (%lu)\n", start ? "start" : "stop", GetLastError());
    // Wait until the service manager reports the state reached.
    DWORD wanted = start ? SERVICE_RUNNING : SERVICE_STOPPED;
    for (int i = 0; ok && i < 100; i++) {
      if (QueryServiceStatus(service, &status) && status.dwCurrentState == wanted) break;
      Sleep(50);
    }
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  return ok;
}

int main() {
  CHECK(BoxHookStart());
  const unsigned char untouched[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  unsigned char value[4];
  memcpy(value, untouched, 4);

  CHECK_INT(TavCommInit(1, 0), 0);
  CHECK_INT(TavSetFpIn(3), 0);  // the link works
  CHECK_INT(BoxCount, 0);

  CHECK(ControlDriver(false));
  CHECK_INT(TavReadChannel(1, value), -1);
  CHECK_BYTES(value, 4, untouched, 4);
  CHECK_INT(BoxCount, 2);
  for (int i = 0; i < BoxCount && i < BOX_MAX; i++) CHECK_TEXT(Boxes[i].Text, "TAV-8 not communicating");
  BoxHookClear();

  TavMsgBox(0);
  unsigned short setting = 0;
  CHECK_INT(TavGetFpIn(&setting), -1);
  CHECK_INT(BoxCount, 0);
  CHECK_INT(TavClose(), 0);
  CHECK_INT(TavClose(), 0);  // nothing left to close

  // The driver back: a new link works.
  CHECK(ControlDriver(true));
  CHECK_INT(TavCommInit(1, 0), 0);
  TavMsgBox(0);
  CHECK_INT(TavSetFpIn(5), 0);
  CHECK_INT(TavGetFpIn(&setting), 0);
  CHECK_INT(setting, 5);
  CHECK_INT(TavClose(), 0);
  CHECK_INT(BoxCount, 0);
  BoxHookStop();
  return FinishChecks();
}
