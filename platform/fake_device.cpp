// Fake file and device I/O: the links \\.\TAVn, backed by the simulated
// instrument.
#include <string.h>

#include "fake.h"
#include "fake_device.h"
#include "simulator.h"

static unsigned LinkMask;
static bool CountOverridden;
static DWORD OverriddenCount;

void FakeResetDevices(void) {
  LinkMask = 0xE;
  CountOverridden = false;
}

void FakeReportByteCount(DWORD count) {
  CountOverridden = true;
  OverriddenCount = count;
}

void FakeSetLinks(unsigned mask) { LinkMask = mask; }

// The link number of "\\.\TAVn", or -1 for any other name.
static int LinkOf(const char* name) {
  static const char prefix[] = "\\\\.\\TAV";
  if (name == 0 || strncmp(name, prefix, sizeof prefix - 1) != 0) return -1;
  const char* digit = name + sizeof prefix - 1;
  if (digit[0] < '0' || digit[0] > '9' || digit[1] != 0) return -1;
  return digit[0] - '0';
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
  FakeCall* call = FakeLogCall("CreateFileA");
  FakeCopyText(call->Text, name);
  call->TextNull = name == 0;
  call->Args[0] = access;
  call->Args[1] = shareMode;
  call->Args[2] = (uintptr_t)security;
  call->Args[3] = disposition;
  call->Args[4] = flags;
  call->Args[5] = (uintptr_t)templateFile;
  DWORD error;
  if (FakeInjectedFailure("CreateFileA", &error)) {
    call->Failed = true;
    return INVALID_HANDLE_VALUE;
  }
  int link = LinkOf(name);
  if (link < 0 || (LinkMask & (1u << link)) == 0 || disposition != OPEN_EXISTING) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    call->Failed = true;
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = FakeOpenHandle(FAKE_DEVICE, link, name);
  if (handle == 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    call->Failed = true;
    return INVALID_HANDLE_VALUE;
  }
  return handle;
}

BOOL CloseHandle(HANDLE handle) {
  FakeCall* call = FakeLogCall("CloseHandle");
  call->Args[0] = (uintptr_t)handle;
  DWORD error;
  if (FakeInjectedFailure("CloseHandle", &error)) {
    call->Failed = true;
    return FALSE;
  }
  if (FakeHandleKindOf(handle) != FAKE_DEVICE) {
    SetLastError(ERROR_INVALID_HANDLE);
    call->Failed = true;
    return FALSE;
  }
  FakeCloseHandleEntry(handle);
  return TRUE;
}

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inLength, LPVOID out,
                     DWORD outLength, LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
  FakeCall* call = FakeLogCall("DeviceIoControl");
  call->Args[0] = (uintptr_t)device;
  call->Args[1] = code;
  call->Args[2] = inLength;
  call->Args[3] = outLength;
  call->Args[4] = (uintptr_t)in;
  call->Args[5] = (uintptr_t)out;
  call->Args[6] = (uintptr_t)bytesReturned;
  call->Args[7] = (uintptr_t)overlapped;
  call->DataLength = inLength;
  if (in != 0) memcpy(call->Data, in, inLength < (DWORD)FAKE_DATA ? inLength : (DWORD)FAKE_DATA);
  if (bytesReturned) *bytesReturned = 0;

  DWORD error;
  if (FakeInjectedFailure("DeviceIoControl", &error)) {
    call->Failed = true;
    return FALSE;
  }
  if (FakeHandleKindOf(device) != FAKE_DEVICE) {
    SetLastError(ERROR_INVALID_HANDLE);
    call->Failed = true;
    return FALSE;
  }
  uint32_t written = 0;
  int outcome = SimDeviceControl((unsigned)FakeHandleRef(device), code, (const uint8_t*)in,
                                 inLength, (uint8_t*)out, outLength, &written);
  static const DWORD errors[] = {ERROR_SUCCESS, ERROR_INVALID_FUNCTION,
                                 ERROR_INSUFFICIENT_BUFFER, ERROR_GEN_FAILURE};
  if (outcome != SIM_DONE) {
    SetLastError(errors[outcome]);
    call->Failed = true;
    return FALSE;
  }
  if (CountOverridden) {
    CountOverridden = false;
    written = OverriddenCount;
  }
  if (bytesReturned) *bytesReturned = written;
  return TRUE;
}
