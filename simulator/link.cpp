// The driver's side of a link: control codes, scripted replies, the frame
// log, and the framing of the instrument's answer.
#include "simulator.h"

static SimScript Scripts[SIM_SCRIPT_QUEUE];
static uint32_t ScriptHead;
static uint32_t ScriptCount;

static SimFrame Frames[SIM_FRAME_LOG];
static uint32_t FrameTotal;

static void CopyBytes(uint8_t* to, const uint8_t* from, uint32_t count) {
  for (uint32_t i = 0; i < count; i++) to[i] = from[i];
}

static void LogFrame(unsigned link, uint32_t code, const uint8_t* in, uint32_t inLength,
                     uint32_t outLength) {
  SimFrame* frame = &Frames[FrameTotal % SIM_FRAME_LOG];
  frame->Link = link;
  frame->Code = code;
  frame->InLength = inLength;
  frame->OutLength = outLength;
  uint32_t kept = inLength < SIM_FRAME_BYTES ? inLength : SIM_FRAME_BYTES;
  if (in == 0) kept = 0;
  CopyBytes(frame->In, in, kept);
  for (uint32_t i = kept; i < SIM_FRAME_BYTES; i++) frame->In[i] = 0;
  FrameTotal++;
}

static const SimScript* NextScript(void) {
  if (ScriptCount == 0) return 0;
  const SimScript* script = &Scripts[ScriptHead];
  ScriptHead = (ScriptHead + 1) % SIM_SCRIPT_QUEUE;
  ScriptCount--;
  return script;
}

// Writes a ReplyFrame of `count` bytes into `out`, or says it does not fit.
static int PutReply(uint8_t status, const uint8_t* payload, uint32_t payloadLength,
                    int32_t byteCount, uint8_t* out, uint32_t outLength, uint32_t* written) {
  uint32_t frameLength = 3 + payloadLength;
  uint32_t count = byteCount < 0 ? frameLength : (uint32_t)byteCount;
  if (count > frameLength) count = frameLength;
  if (count > outLength) return SIM_OUTPUT_TOO_SMALL;
  uint8_t head[3] = {SIM_START_MARK, status, (uint8_t)payloadLength};
  for (uint32_t i = 0; i < count; i++) out[i] = i < 3 ? head[i] : payload[i - 3];
  *written = count;
  return SIM_DONE;
}

int SimDeviceControl(unsigned link, uint32_t code, const uint8_t* in, uint32_t inLength,
                     uint8_t* out, uint32_t outLength, uint32_t* written) {
  *written = 0;
  if (code != IOCTL_TAV_EXCHANGE && code != IOCTL_TAV_INITIALIZE) return SIM_UNKNOWN_CODE;
  if (in == 0) inLength = 0;
  if (out == 0) outLength = 0;
  LogFrame(link, code, in, inLength, outLength);

  const SimScript* script = NextScript();
  if (script != 0) {
    if (script->Action == SIM_SCRIPT_FAIL) return SIM_DEVICE_FAILED;
    return PutReply((uint8_t)script->Status, script->Payload, script->PayloadLength,
                    script->ByteCount, out, outLength, written);
  }

  if (code == IOCTL_TAV_INITIALIZE) {
    // The initialization request has no reply frame; its status decides.
    return InstrumentInitialize(in, inLength) == 0 ? SIM_DONE : SIM_DEVICE_FAILED;
  }
  static uint8_t payload[SIM_REPLY_PAYLOAD_MAX];
  uint8_t status = 0;
  uint32_t payloadLength = InstrumentAnswer(in, inLength, &status, payload);
  if (payloadLength > SIM_REPLY_PAYLOAD_MAX) payloadLength = SIM_REPLY_PAYLOAD_MAX;
  return PutReply(status, payload, payloadLength, -1, out, outLength, written);
}

void SimPowerOn(void) {
  SimClearScripts();
  SimClearFrames();
  InstrumentPowerOn();
}

int SimQueueScript(const SimScript* script) {
  if (ScriptCount == SIM_SCRIPT_QUEUE) return 0;
  if (script->Action != SIM_SCRIPT_REPLY && script->Action != SIM_SCRIPT_FAIL) return 0;
  if (script->PayloadLength > SIM_REPLY_PAYLOAD_MAX) return 0;
  Scripts[(ScriptHead + ScriptCount) % SIM_SCRIPT_QUEUE] = *script;
  ScriptCount++;
  return 1;
}

void SimClearScripts(void) {
  ScriptHead = 0;
  ScriptCount = 0;
}

uint32_t SimFrameCount(void) { return FrameTotal; }

int SimReadFrame(uint32_t index, SimFrame* frame) {
  if (index >= FrameTotal) return 0;
  if (FrameTotal - index > SIM_FRAME_LOG) return 0;  // overwritten
  *frame = Frames[index % SIM_FRAME_LOG];
  return 1;
}

void SimClearFrames(void) { FrameTotal = 0; }
