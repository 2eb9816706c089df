// The link to the kernel driver and the transport of every command.
#include "tavapi32.h"
#include "transport.h"

int Attached = 0;
HANDLE hLink = INVALID_HANDLE_VALUE;
int ShowMessages = 0;
BYTE RequestBuffer[REQUEST_BUFFER_SIZE];
BYTE ReplyBuffer[REPLY_BUFFER_SIZE + 1];
char FirmwareText[FIRMWARE_TEXT_SIZE];
BOOL LastExchangeOk = 0;
DWORD BytesReturned = 0;

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      if (Attached != 0) return FALSE;
      Attached = 1;
      return TRUE;
    case DLL_PROCESS_DETACH:
      TavClose();
      Attached = 0;
      return TRUE;
    default:
      return TRUE;
  }
}

extern "C" int WINAPI TavOpen(int link) {
  if (link < 1 || link > 2) return 1;
  // A link opened before is closed first: a driver that admits one open
  // per link would otherwise refuse every later open of it.
  if (hLink != INVALID_HANDLE_VALUE) {
    CloseHandle(hLink);
    hLink = INVALID_HANDLE_VALUE;
  }
  char name[] = "\\\\.\\TAV0";
  name[7] = (char)('0' + link);
  hLink = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
  return hLink == INVALID_HANDLE_VALUE ? 1 : 0;
}

extern "C" int WINAPI TavCommInit(int link, int) {
  ShowMessages = 1;
  if (TavOpen(link) != 0) return 1;
  return InitRequest();
}

extern "C" int WINAPI TavClose(void) {
  if (hLink == INVALID_HANDLE_VALUE) return 0;
  if (!CloseHandle(hLink)) return 1;
  hLink = INVALID_HANDLE_VALUE;
  return 0;
}

int InitRequest(void) {
  LastExchangeOk = DeviceIoControl(hLink, IOCTL_TAV_INITIALIZE, RequestBuffer,
                                   REQUEST_BUFFER_SIZE, ReplyBuffer, 0, &BytesReturned, NULL);
  if (!LastExchangeOk) return 1;
  static const char dashes[] = "----";
  for (unsigned i = 0; i < sizeof dashes; i++) FirmwareText[i] = dashes[i];
  return 0;
}

int SendRequest(int command, int payloadLength, int replySize) {
  RequestBuffer[0] = ':';
  RequestBuffer[1] = (BYTE)command;
  RequestBuffer[2] = (BYTE)payloadLength;
  LastExchangeOk = DeviceIoControl(hLink, IOCTL_TAV_EXCHANGE, RequestBuffer,
                                   (DWORD)(payloadLength + PAYLOAD_OFFSET), ReplyBuffer,
                                   (DWORD)(replySize + 10), &BytesReturned, NULL);
  if (!LastExchangeOk) {
    ReportError(-1);
    return 1;
  }
  return 0;
}

int ReplyStatus(void) {
  int status = LastExchangeOk ? (int)ReplyBuffer[1] : -1;
  if (status != 0) ReportError(status);
  return status;
}

int ReadFourBytes(int command, int channel, void* value) {
  if (value == NULL) return STATUS_REFUSED;
  RequestPayload[0] = (BYTE)channel;
  int status = Exchange(command, 1);
  if (status == 0) {
    BYTE* to = (BYTE*)value;
    for (int i = 0; i < 4; i++) to[i] = ReplyPayload[i];
  }
  return status;
}
