// Client side of the simulated driver's control path (\\.\TAVSIM), for
// the Wine test programs: power the instrument on, script the next
// replies, read back the requests the driver received.
#ifndef TAV_WINE_SIMCTL_H
#define TAV_WINE_SIMCTL_H

#include <string.h>
#include <windows.h>

#include "simcontrol.h"

static HANDLE SimControl = INVALID_HANDLE_VALUE;

static inline BOOL SimCall(DWORD code, const void* in, DWORD inLength, void* out,
                           DWORD outLength) {
  DWORD written = 0;
  if (SimControl == INVALID_HANDLE_VALUE) {
    SimControl = CreateFileA(TAVSIM_CONTROL_NAME, GENERIC_READ | GENERIC_WRITE, 0, NULL,
                             OPEN_EXISTING, 0, NULL);
    if (SimControl == INVALID_HANDLE_VALUE) return FALSE;
  }
  return DeviceIoControl(SimControl, code, (void*)in, inLength, out, outLength, &written, NULL);
}

static inline BOOL SimReset(void) { return SimCall(IOCTL_TAVSIM_POWER_ON, NULL, 0, NULL, 0); }
static inline BOOL SimForgetFrames(void) {
  return SimCall(IOCTL_TAVSIM_CLEAR_FRAMES, NULL, 0, NULL, 0);
}

// Scripts the next reply: status, payload, and the byte count the driver
// reports (-1: the whole frame).
static inline BOOL SimReply(int status, const void* payload, unsigned payloadLength,
                            int byteCount = -1) {
  SimScript script;
  memset(&script, 0, sizeof script);
  script.Action = SIM_SCRIPT_REPLY;
  script.Status = (uint32_t)status;
  script.PayloadLength = payloadLength;
  script.ByteCount = byteCount;
  if (payloadLength > 0) memcpy(script.Payload, payload, payloadLength);
  return SimCall(IOCTL_TAVSIM_QUEUE_SCRIPT, &script, sizeof script, NULL, 0);
}

// Scripts a failed device control call for the next request.
static inline BOOL SimFailNext(void) {
  SimScript script;
  memset(&script, 0, sizeof script);
  script.Action = SIM_SCRIPT_FAIL;
  script.ByteCount = -1;
  return SimCall(IOCTL_TAVSIM_QUEUE_SCRIPT, &script, sizeof script, NULL, 0);
}

static inline uint32_t SimFrames(void) {
  uint32_t count = 0xFFFFFFFFu;
  if (!SimCall(IOCTL_TAVSIM_FRAME_COUNT, NULL, 0, &count, sizeof count)) return 0xFFFFFFFFu;
  return count;
}

static inline BOOL SimFrameAt(uint32_t index, SimFrame* frame) {
  memset(frame, 0, sizeof *frame);
  return SimCall(IOCTL_TAVSIM_READ_FRAME, &index, sizeof index, frame, sizeof *frame);
}

static inline uint32_t SimLinks(void) {
  uint32_t mask = 0;
  if (!SimCall(IOCTL_TAVSIM_LINKS, NULL, 0, &mask, sizeof mask)) return 0xFFFFFFFFu;
  return mask;
}

#endif  // TAV_WINE_SIMCTL_H
