// Control of the fake virtual DOS machine, for tests of the bridge.
//
// The fake provides the NTVDM services that tavbridge imports (declared in
// tavbridge/ntvdm.h): the registers of one 16-bit program and a few
// segments of 16-bit memory, addressed by selector. Every service call is
// logged in the fake's call log under its own name ("getBX", "setAX",
// "MGetVdmPointer" ...): setters with the value in Args[0];
// MGetVdmPointer with address, size and mode in Args[0..2], Failed when it
// gave NULL. Only MGetVdmPointer counts as a platform call and can be made
// to fail with FakeFailCall("MGetVdmPointer", ...).
#ifndef TAV_FAKE_NTVDM_H
#define TAV_FAKE_NTVDM_H

#include <stdint.h>

enum {
  FAKE_VDM_SEGMENTS = 4,
  FAKE_VDM_SEGMENT_SIZE = 0x10000,
};

struct FakeVdmRegisters {
  uint16_t AX, BX, CX, DX, SI, DI, ES;
  uint16_t CF;  // carry flag, 0 or 1
};

// Registers filled with distinct values (carry set), no segments defined.
void FakeVdmReset(void);

// The 16-bit program's registers, to set before a call and read after it.
FakeVdmRegisters* FakeVdmRegs(void);

// Defines a segment of `limit` bytes (1 to 0x10000) under `selector`,
// filled with `fill`; returns its memory. NULL when the table is full.
// Addresses translate only with a defined selector, in protected mode, and
// when the whole length lies within the limit; otherwise MGetVdmPointer
// gives NULL.
uint8_t* FakeVdmDefineSegment(uint16_t selector, uint32_t limit, uint8_t fill);

#endif  // TAV_FAKE_NTVDM_H
