// nolinks.sys: a kernel driver that loads and unloads but exposes no link
// at all, staged under the name tavport.sys to show what the installer
// does when the started driver answers on none of \\.\TAV1..3.
#include <ntddk.h>

static VOID NTAPI NoLinksUnload(PDRIVER_OBJECT) {}

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  driver->DriverUnload = NoLinksUnload;
  return STATUS_SUCCESS;
}
