// Module state and internal routines of tavapi32, shared by its files.
#ifndef TAVAPI32_TRANSPORT_H
#define TAVAPI32_TRANSPORT_H

#include "winapi.h"

#define IOCTL_TAV_EXCHANGE 0x222004u
#define IOCTL_TAV_INITIALIZE 0x222008u

#define REQUEST_BUFFER_SIZE 260
#define REPLY_BUFFER_SIZE 270
#define PAYLOAD_OFFSET 3
#define REPLY_CAPACITY 260  // every command announces 260 + 10 bytes of reply room
#define FIRMWARE_TEXT_SIZE 40

// Command codes: channels, formulas and readings.
#define CMD_MEMORY 1
#define CMD_READ_DIRECT 2
#define CMD_DEFINE_CHANNEL 3
#define CMD_READ_CHANNEL 4
#define CMD_CLEAR_ALL_CHANNELS 5
#define CMD_CLEAR_CHANNEL 6
#define CMD_START_SCAN 7
#define CMD_STOP_SCAN 8
#define CMD_RESET_MM 9
#define CMD_READ_LVDT 11
#define CMD_READ_ANALOG 12
#define CMD_READ_FORMULA 13
// Command codes: calibration and acquisition settings.
#define CMD_SET_SCAN_TIME 10
#define CMD_SET_TFSV 21
#define CMD_READ_TFSV 22
#define CMD_SET_AFSV 23
#define CMD_READ_AFSV 24
#define CMD_SET_TZERO 32
#define CMD_READ_TZERO 33
#define CMD_SET_AZERO 42
#define CMD_READ_AZERO 43
#define CMD_SET_CZERO 52
#define CMD_READ_CZERO 53
#define CMD_SET_CSCALE 54
#define CMD_READ_CSCALE 55
#define CMD_SET_FP_IN 80
#define CMD_SET_FP_OUT 81
#define CMD_SET_MUX_TIME 82
#define CMD_SET_FP_PREC 83
#define CMD_GET_FP_IN 84
#define CMD_GET_FP_OUT 85
#define CMD_GET_FP_PREC 87
#define CMD_SET_ADC_AVG 90
#define CMD_SET_RUN_AVG 91

// Status of a call refused before anything was sent (see tavapi32.h).
#define STATUS_REFUSED (-1)

extern int Attached;
extern HANDLE hLink;
extern int ShowMessages;
extern BYTE RequestBuffer[REQUEST_BUFFER_SIZE];
// One byte more than the driver is ever given: it stays 0, so a reply
// payload read as text always ends inside the buffer.
extern BYTE ReplyBuffer[REPLY_BUFFER_SIZE + 1];
extern char FirmwareText[FIRMWARE_TEXT_SIZE];
extern BOOL LastExchangeOk;
extern DWORD BytesReturned;

// The request and reply payload regions.
#define RequestPayload (RequestBuffer + PAYLOAD_OFFSET)
#define ReplyPayload (ReplyBuffer + PAYLOAD_OFFSET)

int SendRequest(int command, int payloadLength, int replySize);
int ReplyStatus(void);
int InitRequest(void);
void ReportError(int status);

// One exchange: send the frame whose payload is already written, then
// derive the status.
static inline int Exchange(int command, int payloadLength) {
  SendRequest(command, payloadLength, REPLY_CAPACITY);
  return ReplyStatus();
}

// Sends one channel byte; on status 0 copies reply payload bytes 0 to 3
// to `value`, byte for byte. Shared by the channel readings and the
// calibration readings.
int ReadFourBytes(int command, int channel, void* value);

#endif  // TAVAPI32_TRANSPORT_H
