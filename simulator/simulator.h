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
//
// Statuses of the model. 10 to 23 are the instrument's own codes (their
// texts are the library's); 1 to 5 are the model's answers to requests it
// cannot carry out and have no text of their own.
#define SIM_STATUS_OK 0
#define SIM_STATUS_BAD_FRAME 1        // no start mark, or the length byte runs past the bytes sent
#define SIM_STATUS_UNKNOWN_COMMAND 2  // a command code the instrument does not know
#define SIM_STATUS_SHORT_PAYLOAD 3    // fewer payload bytes than the command needs
#define SIM_STATUS_NOT_SCANNING 4     // a reading while the scan is stopped
#define SIM_STATUS_NO_FORMULA 5       // a channel reading of a channel with no formula
#define SIM_STATUS_BAD_VALUE 6        // a memory request beyond the memory or the reply
#define SIM_STATUS_BAD_CHANNEL 10
#define SIM_STATUS_BAD_FORMULA 12          // a term or operator missing or out of place
#define SIM_STATUS_UNTERMINATED_FORMULA 13 // the text has no terminating zero in the payload
#define SIM_STATUS_TABLE_FULL 14
#define SIM_STATUS_BAD_PROBE 15
#define SIM_STATUS_UNBALANCED_FORMULA 16   // a bracket not closed, or closed twice
#define SIM_STATUS_BAD_NUMBER 17
#define SIM_STATUS_BAD_SYMBOL 18
#define SIM_STATUS_TOO_COMPLEX 19
#define SIM_STATUS_CIRCULAR 20
#define SIM_STATUS_MEMORY_FULL 21
#define SIM_STATUS_EMPTY_FORMULA 22
#define SIM_STATUS_BAD_SET 23

// Sizes of the model.
#define SIM_CHANNELS 32          // channel numbers 1 to 32
#define SIM_PROBES 8             // probes, LVDT and analog inputs 1 to 8
#define SIM_FORMULA_SLOTS 16     // channels that can hold a formula at once
#define SIM_FORMULA_MEMORY 512   // characters of formula text in all
#define SIM_FORMULA_TERMS 8      // terms in one formula
#define SIM_MEMORY_SIZE 4096     // bytes of the memory that CMD_MEMORY reads

// Deterministic readings. The sweep counts the readings answered since
// the scan started (the first reading is sweep 1). Values are 32-bit
// little-endian integers: micrometres for probes, LVDTs and channels,
// millivolts for analog inputs.
#define SIM_PROBE_VALUE(probe, sweep) (1000 * (int32_t)(probe) + (int32_t)(sweep))
#define SIM_ANALOG_VALUE(input, sweep) (100 * (int32_t)(input) + (int32_t)(sweep))

// Answers one RequestFrame: sets *status and fills `payload` (room for
// SIM_REPLY_PAYLOAD_MAX bytes); returns the payload length.
uint32_t InstrumentAnswer(const uint8_t* request, uint32_t requestLength, uint8_t* status,
                          uint8_t* payload);
// Takes the initialization request; returns its status.
uint8_t InstrumentInitialize(const uint8_t* request, uint32_t requestLength);
void InstrumentPowerOn(void);
// The 16-bit settings as last set (they cannot be read over the link).
uint32_t InstrumentScanTime(void);
uint32_t InstrumentMuxTime(void);
uint32_t InstrumentAdcAvg(void);
uint32_t InstrumentRunAvg(void);

#endif  // TAV_SIMULATOR_H
