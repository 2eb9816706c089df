// The fake virtual DOS machine: the NTVDM services over simulated registers
// and 16-bit memory, so the bridge runs on the host.
#include <string.h>

#include "../tavbridge/ntvdm.h"
#include "fake.h"
#include "fake_ntvdm.h"

struct Segment {
  uint16_t Selector;
  uint32_t Limit;  // 0: the entry is free
  uint8_t Bytes[FAKE_VDM_SEGMENT_SIZE];
};

static FakeVdmRegisters Registers;
static Segment Segments[FAKE_VDM_SEGMENTS];

void FakeVdmReset(void) {
  // Values no protocol step would produce, so any unexpected write shows.
  Registers.AX = 0xA1A1;
  Registers.BX = 0xB2B2;
  Registers.CX = 0xC3C3;
  Registers.DX = 0xD4D4;
  Registers.SI = 0x5E5E;
  Registers.DI = 0xD1D1;
  Registers.ES = 0xE5E5;
  Registers.CF = 1;
  for (unsigned i = 0; i < FAKE_VDM_SEGMENTS; i++) Segments[i].Limit = 0;
}

FakeVdmRegisters* FakeVdmRegs(void) { return &Registers; }

uint8_t* FakeVdmDefineSegment(uint16_t selector, uint32_t limit, uint8_t fill) {
  if (limit == 0 || limit > FAKE_VDM_SEGMENT_SIZE) return 0;
  for (unsigned i = 0; i < FAKE_VDM_SEGMENTS; i++) {
    Segment* segment = &Segments[i];
    if (segment->Limit != 0 && segment->Selector != selector) continue;
    segment->Selector = selector;
    segment->Limit = limit;
    memset(segment->Bytes, fill, sizeof segment->Bytes);
    return segment->Bytes;
  }
  return 0;
}

static USHORT Get(const char* name, uint16_t value) {
  FakeLogCall(name);
  return value;
}

static void Set(const char* name, uint16_t* reg, uint16_t value) {
  FakeCall* call = FakeLogCall(name);
  call->Args[0] = value;
  *reg = value;
}

extern "C" {

USHORT WINAPI getBX(void) { return Get("getBX", Registers.BX); }
USHORT WINAPI getCX(void) { return Get("getCX", Registers.CX); }
USHORT WINAPI getDX(void) { return Get("getDX", Registers.DX); }
USHORT WINAPI getSI(void) { return Get("getSI", Registers.SI); }
USHORT WINAPI getDI(void) { return Get("getDI", Registers.DI); }
USHORT WINAPI getES(void) { return Get("getES", Registers.ES); }
void WINAPI setAX(USHORT value) { Set("setAX", &Registers.AX, value); }
void WINAPI setCX(USHORT value) { Set("setCX", &Registers.CX, value); }

void WINAPI setCF(ULONG value) {
  FakeCall* call = FakeLogCall("setCF");
  call->Args[0] = value;
  Registers.CF = value != 0;
}

PVOID WINAPI MGetVdmPointer(ULONG address, ULONG size, BOOL protectedMode) {
  FakeCall* call = FakeLogCall("MGetVdmPointer");
  call->Args[0] = address;
  call->Args[1] = size;
  call->Args[2] = (uint64_t)protectedMode;
  DWORD error;
  call->Failed = true;
  if (FakeInjectedFailure("MGetVdmPointer", &error)) return 0;
  if (!protectedMode) return 0;  // real-mode segments are not simulated
  uint16_t selector = (uint16_t)(address >> 16);
  uint32_t offset = address & 0xFFFF;
  for (unsigned i = 0; i < FAKE_VDM_SEGMENTS; i++) {
    Segment* segment = &Segments[i];
    if (segment->Limit == 0 || segment->Selector != selector) continue;
    if ((uint64_t)offset + size > segment->Limit) return 0;
    call->Failed = false;
    return segment->Bytes + offset;
  }
  return 0;
}

}  // extern "C"
