// tavbridge.dll: the virtual device driver that lets 16-bit programs in the
// virtual DOS machine reach the kernel driver's links.
//
// The 16-bit side puts a function code, lengths and buffer addresses into
// its registers and makes a dispatch call; the bridge makes the open, close
// or device control call for it, on the 16-bit program's own buffers, and
// answers in AX (0 success, 1 failure) and, after an exchange, in CX.
//
// No C runtime starts in this module: VDDInitialize is its entry point,
// globals need constant initialisers, and strcpy/strcat come from ntdll.
#include <string.h>

#include "ntvdm.h"
#include "winapi.h"

#define IOCTL_TAV_EXCHANGE 0x222004
#define IOCTL_TAV_INITIALIZE 0x222008

// Function codes, passed in DX.
#define VDD_FN_OPEN 0
#define VDD_FN_CLOSE 1
#define VDD_FN_INITIALIZE 2
#define VDD_FN_EXCHANGE 3

#define LINK_NAME_SIZE 32

// "\\.\TAV" followed by the character '0' + linkNumber (its low byte).
static void ComposeLinkName(char* name, unsigned linkNumber) {
  char digit[2];
  digit[0] = (char)(BYTE)('0' + linkNumber);
  digit[1] = 0;
  strcpy(name, "\\\\.\\TAV");
  strcat(name, digit);
}

static HANDLE OpenLink(const char* name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
}

// Entry point of the module. On load, refuses it unless at least one of the
// links 1 to 3 opens; every handle opened here is closed again at once.
extern "C" BOOL WINAPI VDDInitialize(HINSTANCE module, DWORD reason, LPVOID reserved) {
  (void)module;
  (void)reserved;
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  BOOL linkFound = FALSE;
  for (unsigned link = 1; link <= 3; link++) {
    char name[LINK_NAME_SIZE];
    ComposeLinkName(name, link);
    HANDLE hDevice = OpenLink(name);
    if (hDevice != INVALID_HANDLE_VALUE) {
      linkFound = TRUE;
      CloseHandle(hDevice);
    }
  }
  if (linkFound) return TRUE;
  MessageBoxA(NULL, "Unable to locate kernel driver", "TavBridge", MB_OK | MB_ICONEXCLAMATION);
  return FALSE;
}

// Registration by the 16-bit program: a clear carry reports success.
extern "C" void WINAPI VDDRegisterInit(void) { setCF(0); }

// One device control call on the caller's buffers ES:SI (BX bytes in) and
// ES:DI (CX bytes out). Returns the call's result; *count gets its byte count.
static BOOL DeviceRequest(HANDLE hDriver, DWORD code, DWORD* count) {
  ULONG selector = getES();
  USHORT inOffset = getSI();
  USHORT inLength = getBX();
  USHORT outOffset = getDI();
  USHORT outLength = getCX();
  PVOID in = MGetVdmPointer((selector << 16) | inOffset, inLength, TRUE);
  PVOID out = MGetVdmPointer((selector << 16) | outOffset, outLength, TRUE);
  // An address the machine cannot translate is not handed to the driver.
  if (in == NULL || out == NULL) return FALSE;
  return DeviceIoControl(hDriver, code, in, inLength, out, outLength, count, NULL);
}

// Serves one dispatch call of the 16-bit program.
extern "C" void WINAPI VDDDispatch(void) {
  // The one link of this virtual machine process, shared by every 16-bit
  // program in it that uses the bridge.
  static HANDLE hDriver = INVALID_HANDLE_VALUE;

  switch (getDX()) {
    case VDD_FN_OPEN: {
      char name[LINK_NAME_SIZE];
      ComposeLinkName(name, getCX());
      // A link still open is closed first; otherwise its handle would stay
      // open, out of reach, for the life of the virtual machine.
      if (hDriver != INVALID_HANDLE_VALUE) CloseHandle(hDriver);
      hDriver = OpenLink(name);
      setAX(hDriver == INVALID_HANDLE_VALUE ? 1 : 0);
      return;
    }
    case VDD_FN_CLOSE:
      if (hDriver != INVALID_HANDLE_VALUE) {
        CloseHandle(hDriver);
        hDriver = INVALID_HANDLE_VALUE;
      }
      setAX(0);
      return;
    case VDD_FN_INITIALIZE: {
      DWORD count = 0;
      setAX(DeviceRequest(hDriver, IOCTL_TAV_INITIALIZE, &count) ? 0 : 1);
      return;
    }
    case VDD_FN_EXCHANGE: {
      // Zero unless the call reports a count, so CX never carries stack contents.
      DWORD count = 0;
      setAX(DeviceRequest(hDriver, IOCTL_TAV_EXCHANGE, &count) ? 0 : 1);
      setCX((USHORT)count);
      return;
    }
    default:
      setAX(1);
      return;
  }
}
