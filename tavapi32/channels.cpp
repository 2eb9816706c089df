// Channel, formula and reading commands.
#include "tavapi32.h"
#include "transport.h"

static const char LibraryVersion[] = "1.01";


extern "C" int WINAPI TavDefineChannel(int channel, const char* formula) {
  if (formula == NULL) return STATUS_REFUSED;
  int length = 0;
  while (length <= TAV_MAX_FORMULA && formula[length] != 0) length++;
  // A cut formula would define a different channel: refuse it whole.
  if (length > TAV_MAX_FORMULA) return STATUS_REFUSED;
  RequestPayload[0] = (BYTE)channel;
  if (length == 0) return Exchange(CMD_CLEAR_CHANNEL, 1);
  for (int i = 0; i <= length; i++) RequestPayload[1 + i] = (BYTE)formula[i];
  return Exchange(CMD_DEFINE_CHANNEL, length + 2);
}

extern "C" int WINAPI TavReadFormula(int channel, char** formula) {
  if (formula == NULL) return STATUS_REFUSED;
  RequestPayload[0] = (BYTE)channel;
  int status = Exchange(CMD_READ_FORMULA, 1);
  if (status == 0) *formula = (char*)ReplyPayload;
  return status;
}

extern "C" int WINAPI TavClearChannel(int channel) {
  RequestPayload[0] = (BYTE)channel;
  return Exchange(CMD_CLEAR_CHANNEL, 1);
}

// The one payload byte of these goes out as the last command left it.
extern "C" int WINAPI TavClearAllChannels(void) { return Exchange(CMD_CLEAR_ALL_CHANNELS, 1); }
extern "C" int WINAPI TavStartScan(void) { return Exchange(CMD_START_SCAN, 1); }
extern "C" int WINAPI TavStopScan(void) { return Exchange(CMD_STOP_SCAN, 1); }
extern "C" int WINAPI TavResetMM(void) { return Exchange(CMD_RESET_MM, 1); }

extern "C" int WINAPI TavReadChannel(int channel, void* value) {
  return ReadFourBytes(CMD_READ_CHANNEL, channel, value);
}

extern "C" int WINAPI TavReadLvdt(int channel, void* value) {
  return ReadFourBytes(CMD_READ_LVDT, channel, value);
}

extern "C" int WINAPI TavReadAnalog(int channel, void* value) {
  return ReadFourBytes(CMD_READ_ANALOG, channel, value);
}

// Copies `count` raw bytes into the payload; false when the call must be refused.
static bool PutRawData(int count, int limit, const void* source) {
  if (count < 0 || count > limit) return false;
  if (count > 0 && source == NULL) return false;
  const BYTE* from = (const BYTE*)source;
  for (int i = 0; i < count; i++) RequestPayload[i] = from[i];
  return true;
}

extern "C" int WINAPI TavReadDirect(int count, const void* source, unsigned char** reply) {
  if (reply == NULL || !PutRawData(count, TAV_MAX_DIRECT, source)) return STATUS_REFUSED;
  int status = Exchange(CMD_READ_DIRECT, count);
  *reply = ReplyPayload;
  return status;
}

extern "C" int WINAPI TavReadDirectCopy(int count, const void* source, void* destination) {
  if (count > 0 && destination == NULL) return STATUS_REFUSED;
  if (!PutRawData(count, TAV_MAX_DIRECT_COPY, source)) return STATUS_REFUSED;
  int status = Exchange(CMD_READ_DIRECT, count);
  BYTE* to = (BYTE*)destination;
  for (int i = 0; i < 2 * count; i++) to[i] = ReplyPayload[i];
  return status;
}

extern "C" int WINAPI TavMemory(int firstWord, int secondWord, unsigned char** reply) {
  if (reply == NULL) return STATUS_REFUSED;
  RequestPayload[0] = 0;
  RequestPayload[1] = (BYTE)secondWord;
  RequestPayload[2] = (BYTE)(secondWord >> 8);
  RequestPayload[3] = (BYTE)firstWord;
  RequestPayload[4] = (BYTE)(firstWord >> 8);
  int status = Exchange(CMD_MEMORY, 5);
  *reply = ReplyPayload;
  return status;
}

extern "C" int WINAPI TavDLL(char** version) {
  if (version != NULL) *version = (char*)LibraryVersion;
  return 0;
}

extern "C" int WINAPI TavFirmware(char** version) {
  if (version != NULL) *version = FirmwareText;
  return 0;
}
