// The simulator's control path: a device of its own, \\.\TAVSIM, beside
// the links \\.\TAV1 to \\.\TAV3, with control codes outside the kit's.
// Tests and tools use it to power the instrument on, script the next
// replies and read back every request the driver received. Shared by the
// simulated driver (tavport.cpp) and the Wine test programs.
//
// All codes are METHOD_BUFFERED, FILE_ANY_ACCESS, FILE_DEVICE_UNKNOWN:
//   IOCTL_TAVSIM_POWER_ON      in: none              out: none
//       empty formula table, settings at power on, no scripts, empty log
//   IOCTL_TAVSIM_QUEUE_SCRIPT  in: SimScript         out: none
//       queues the answer of the next exchange or initialization request
//       on any link (fails with ERROR_INVALID_PARAMETER when the queue is
//       full or the script is bad)
//   IOCTL_TAVSIM_CLEAR_SCRIPTS in: none              out: none
//   IOCTL_TAVSIM_FRAME_COUNT   in: none              out: uint32_t
//       requests received on the links since power on or the last clear
//   IOCTL_TAVSIM_READ_FRAME    in: uint32_t index    out: SimFrame
//       one request: link, control code, input length, output length
//       announced, the first SIM_FRAME_BYTES input bytes
//   IOCTL_TAVSIM_CLEAR_FRAMES  in: none              out: none
//   IOCTL_TAVSIM_LINKS         in: none              out: uint32_t
//       the links the driver created: bit n for \\.\TAVn
// The control device's own requests are not logged.
#ifndef TAV_SIMCONTROL_H
#define TAV_SIMCONTROL_H

#include "simulator.h"

#define TAVSIM_CONTROL_NAME "\\\\.\\TAVSIM"

#define TAVSIM_CODE(function) (0x00220000u | ((uint32_t)(function) << 2))  // unknown device, buffered
#define IOCTL_TAVSIM_POWER_ON TAVSIM_CODE(0x900)
#define IOCTL_TAVSIM_QUEUE_SCRIPT TAVSIM_CODE(0x901)
#define IOCTL_TAVSIM_CLEAR_SCRIPTS TAVSIM_CODE(0x902)
#define IOCTL_TAVSIM_FRAME_COUNT TAVSIM_CODE(0x903)
#define IOCTL_TAVSIM_READ_FRAME TAVSIM_CODE(0x904)
#define IOCTL_TAVSIM_CLEAR_FRAMES TAVSIM_CODE(0x905)
#define IOCTL_TAVSIM_LINKS TAVSIM_CODE(0x906)

// The wire structs are SimScript and SimFrame of simulator.h: fixed-width
// fields only, the same layout in the driver and the test programs.
static_assert(sizeof(SimScript) == 16 + SIM_REPLY_PAYLOAD_MAX + 1, "SimScript layout");
static_assert(sizeof(SimFrame) == 16 + SIM_FRAME_BYTES, "SimFrame layout");

#endif  // TAV_SIMCONTROL_H
