// The simulated TAV-8 and its kernel driver link, as one portable model.
//
// tavport.sys, the real kernel driver, lies outside the kit. This model
// stands in for it and for the instrument behind it: the simulated driver
// (tavport.cpp, built as tavport.sys for Wine) and the host build's fake
// platform both hand every device control request to SimDeviceControl.
//
// The model is freestanding: it uses no C library, allocates nothing and
// keeps all its state in fixed-size tables, so it runs inside a driver.
#ifndef TAV_SIMULATOR_H
#define TAV_SIMULATOR_H

#include <stdint.h>

#define IOCTL_TAV_EXCHANGE 0x222004u
#define IOCTL_TAV_INITIALIZE 0x222008u

// ReplyFrame written by the model: byte 0 the start mark ':', byte 1 the
// status, byte 2 the payload length (low 8 bits), then the payload.
#define SIM_START_MARK 0x3A
#define SIM_REPLY_PAYLOAD_MAX 267
#define SIM_REPLY_FRAME_MAX (3 + SIM_REPLY_PAYLOAD_MAX)

// How a device control request ended.
enum SimOutcome {
  SIM_DONE = 0,          // completed; *written bytes are in the output
  SIM_UNKNOWN_CODE,      // not a control code of the driver
  SIM_OUTPUT_TOO_SMALL,  // the reply does not fit the output buffer
  SIM_DEVICE_FAILED      // the exchange failed (scripted)
};

// One request on link `link` (1 to 3). Reads at most inLength bytes of
// `in` and writes at most outLength bytes of `out`, whatever they hold.
int SimDeviceControl(unsigned link, uint32_t code, const uint8_t* in, uint32_t inLength,
                     uint8_t* out, uint32_t outLength, uint32_t* written);

// The instrument at power on: empty formula table, not scanning, default
// settings, no scripted replies, empty frame log.
void SimPowerOn(void);

// --- Control path: scripted replies and the frame log -------------------

enum SimScriptAction {
  SIM_SCRIPT_REPLY = 1,  // answer the next exchange with Status and Payload
  SIM_SCRIPT_FAIL = 2    // fail the next exchange's device control call
};

// A scripted answer for the next IOCTL_TAV_EXCHANGE or IOCTL_TAV_INITIALIZE.
// ByteCount < 0 reports the whole frame (3 + PayloadLength bytes);
// ByteCount >= 0 reports exactly that many bytes (a short reply), of which
// only those that fit the output are written.
typedef struct SimScript {
  uint32_t Action;
  uint32_t Status;
  uint32_t PayloadLength;
  int32_t ByteCount;
  uint8_t Payload[SIM_REPLY_PAYLOAD_MAX + 1];
} SimScript;

#define SIM_SCRIPT_QUEUE 16

// Queues a scripted answer; 0 when the queue is full or the script is bad.
int SimQueueScript(const SimScript* script);
void SimClearScripts(void);

#define SIM_FRAME_LOG 64
#define SIM_FRAME_BYTES 300

// One request as the driver received it. In holds the first
// SIM_FRAME_BYTES input bytes; InLength is the full length sent.
typedef struct SimFrame {
  uint32_t Link;
  uint32_t Code;
  uint32_t InLength;
  uint32_t OutLength;
  uint8_t In[SIM_FRAME_BYTES];
} SimFrame;

// Frames since power on or the last clear, oldest first; the log keeps
// the last SIM_FRAME_LOG of them.
uint32_t SimFrameCount(void);
int SimReadFrame(uint32_t index, SimFrame* frame);
void SimClearFrames(void);

// --- The instrument (instrument.cpp) ------------------------------------

// Answers one RequestFrame: sets *status and fills `payload` (room for
// SIM_REPLY_PAYLOAD_MAX bytes); returns the payload length.
uint32_t InstrumentAnswer(const uint8_t* request, uint32_t requestLength, uint8_t* status,
                          uint8_t* payload);
// Takes the initialization request; returns its status.
uint8_t InstrumentInitialize(const uint8_t* request, uint32_t requestLength);
void InstrumentPowerOn(void);

#endif  // TAV_SIMULATOR_H
