// Calibration values and acquisition settings.
#include "tavapi32.h"
#include "transport.h"

// A calibration value: channel and 4 value bytes out, nothing back.
static int SetValue(int command, int channel, const void* value) {
  if (value == NULL) return STATUS_REFUSED;
  const BYTE* from = (const BYTE*)value;
  RequestPayload[0] = (BYTE)channel;
  for (int i = 0; i < 4; i++) RequestPayload[1 + i] = from[i];
  return Exchange(command, 5);
}


// A 16-bit setting, low byte first.
static int SetWord(int command, int value) {
  RequestPayload[0] = (BYTE)value;
  RequestPayload[1] = (BYTE)(value >> 8);
  return Exchange(command, 2);
}

static int SetByte(int command, int value) {
  RequestPayload[0] = (BYTE)value;
  return Exchange(command, 1);
}

// A byte setting read back: the unwritten payload goes out as it stands,
// and reply byte 0 is stored whatever the status.
static int GetByte(int command, int payloadLength, unsigned short* value) {
  if (value == NULL) return STATUS_REFUSED;
  int status = Exchange(command, payloadLength);
  *value = ReplyPayload[0];
  return status;
}

extern "C" int WINAPI TavSetTfsv(int channel, const void* value) { return SetValue(CMD_SET_TFSV, channel, value); }
extern "C" int WINAPI TavReadTfsv(int channel, void* value) { return ReadFourBytes(CMD_READ_TFSV, channel, value); }
extern "C" int WINAPI TavSetAfsv(int channel, const void* value) { return SetValue(CMD_SET_AFSV, channel, value); }
extern "C" int WINAPI TavReadAfsv(int channel, void* value) { return ReadFourBytes(CMD_READ_AFSV, channel, value); }
extern "C" int WINAPI TavSetTzero(int channel, const void* value) { return SetValue(CMD_SET_TZERO, channel, value); }
extern "C" int WINAPI TavReadTzero(int channel, void* value) { return ReadFourBytes(CMD_READ_TZERO, channel, value); }
extern "C" int WINAPI TavSetAzero(int channel, const void* value) { return SetValue(CMD_SET_AZERO, channel, value); }
extern "C" int WINAPI TavReadAzero(int channel, void* value) { return ReadFourBytes(CMD_READ_AZERO, channel, value); }
extern "C" int WINAPI TavSetCzero(int channel, const void* value) { return SetValue(CMD_SET_CZERO, channel, value); }
extern "C" int WINAPI TavReadCzero(int channel, void* value) { return ReadFourBytes(CMD_READ_CZERO, channel, value); }
extern "C" int WINAPI TavSetCscale(int channel, const void* value) { return SetValue(CMD_SET_CSCALE, channel, value); }
extern "C" int WINAPI TavReadCscale(int channel, void* value) { return ReadFourBytes(CMD_READ_CSCALE, channel, value); }

extern "C" int WINAPI TavSetScanTime(int value) { return SetWord(CMD_SET_SCAN_TIME, value); }
extern "C" int WINAPI TavSetAdcAvg(int value) { return SetWord(CMD_SET_ADC_AVG, value); }
extern "C" int WINAPI TavSetRunAvg(int value) { return SetWord(CMD_SET_RUN_AVG, value); }

// The multiplexer time is signed: the payload holds it sign-extended to 32
// bits, of which the frame carries the low two bytes; the other two stay
// in the request buffer for the next initialization request.
extern "C" int WINAPI TavSet_muxTime(int value) {
  int extended = (short)value;
  for (int i = 0; i < 4; i++) RequestPayload[i] = (BYTE)(extended >> (8 * i));
  return Exchange(CMD_SET_MUX_TIME, 2);
}

extern "C" int WINAPI TavSetFpIn(int value) { return SetByte(CMD_SET_FP_IN, value); }
extern "C" int WINAPI TavSetFpOut(int value) { return SetByte(CMD_SET_FP_OUT, value); }
extern "C" int WINAPI TavSetFpPrec(int value) { return SetByte(CMD_SET_FP_PREC, value); }

extern "C" int WINAPI TavGetFpIn(unsigned short* value) { return GetByte(CMD_GET_FP_IN, 1, value); }
extern "C" int WINAPI TavGetFpOut(unsigned short* value) { return GetByte(CMD_GET_FP_OUT, 1, value); }
extern "C" int WINAPI TavGetFpPrec(unsigned short* value) { return GetByte(CMD_GET_FP_PREC, 2, value); }
