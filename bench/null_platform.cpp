// The Win32 calls that tavapi32 makes, doing as little as they can: no
// log, no failure injection, no instrument model. What is left of a
// command's cost is the library's own.
#include "null_platform.h"

#include <stdarg.h>
#include <stdio.h>

#include "winapi.h"

static char LinkObject;  // the one open link's handle points here
static unsigned long DeviceCalls;
static DWORD LastError;

unsigned long NullDeviceCalls(void) { return DeviceCalls; }

DWORD GetLastError(void) { return LastError; }
void SetLastError(DWORD error) { LastError = error; }

HANDLE CreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  return &LinkObject;
}

BOOL CloseHandle(HANDLE handle) { return handle == &LinkObject; }

// A reply with status 0 and an empty payload; the initialization request
// announces no output and gets none.
BOOL DeviceIoControl(HANDLE device, DWORD, LPVOID, DWORD, LPVOID out, DWORD outLength,
                     LPDWORD bytesReturned, LPOVERLAPPED) {
  DeviceCalls++;
  *bytesReturned = 0;
  if (device != &LinkObject) {
    LastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  if (outLength >= 3) {
    BYTE* reply = (BYTE*)out;
    reply[0] = ':';
    reply[1] = 0;
    reply[2] = 0;
    *bytesReturned = 3;
  }
  return TRUE;
}

int MessageBoxA(HWND, LPCSTR, LPCSTR, UINT) { return IDOK; }

int wsprintfA(LPSTR out, LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  int length = vsnprintf(out, 1025, format, args);
  va_end(args);
  return length;
}
