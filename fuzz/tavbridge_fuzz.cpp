// Fuzz target for tavbridge: a sequence of dispatch calls with fuzzed
// registers (the four function codes and any other), over 16-bit memory of
// fuzzed segments (selectors that translate, selectors that do not, buffers
// that run past a segment's limit), with the module's load, unload and
// registration in between; devices, replies, byte counts and failures of
// any platform call are fuzzed too.
//
// Checked at every call:
//   - AX is 0 or 1 and says what the platform calls did; CX is written by
//     the exchange only, to the low 16 bits of the device call's count;
//     no other register changes, and the carry only by the registration;
//   - at most one device call per dispatch, none when a translation fails
//     or the code is unknown, made on the link the bridge holds with
//     exactly the translated ES:SI / ES:DI and the lengths BX / CX;
//   - an open names "\\.\TAV" and the low byte of CX as a digit, and closes
//     the link held before; at most one device handle is open at any time
//     and none is left once the links are closed;
//   - the load opens and closes the probed links, and shows its box only
//     when it refuses to load.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fake.h"
#include "fuzz/require.h"
#include "fake_device.h"
#include "fake_ntvdm.h"
#include "simulator.h"

extern "C" BOOL WINAPI VDDInitialize(HINSTANCE module, DWORD reason, LPVOID reserved);
extern "C" void WINAPI VDDRegisterInit(void);
extern "C" void WINAPI VDDDispatch(void);


static const uint32_t EXCHANGE_CODE = 0x222004;
static const uint32_t INITIALIZE_CODE = 0x222008;
static const uint16_t FN_OPEN = 0, FN_CLOSE = 1, FN_INITIALIZE = 2, FN_EXCHANGE = 3;

// --- The model: what the target knows of the machine -------------------------

// The 16-bit segments defined so far (the fake holds FAKE_VDM_SEGMENTS).
struct SegmentModel {
  uint16_t Selector;
  uint32_t Limit;
  uint8_t* Bytes;
};
static SegmentModel Segments[FAKE_VDM_SEGMENTS];
static unsigned SegmentCount;

// The link the bridge holds (INVALID_HANDLE_VALUE when none).
static HANDLE Held;
// A byte count that the next successful device call will report.
static bool CountPending;
static DWORD PendingCount;

static const SegmentModel* FindSegment(uint16_t selector) {
  for (unsigned i = 0; i < SegmentCount; i++)
    if (Segments[i].Selector == selector) return &Segments[i];
  return NULL;
}

// The flat address of selector:offset for `size` bytes as the machine
// translates it, or NULL.
static uint8_t* Translate(uint16_t selector, uint16_t offset, uint16_t size) {
  const SegmentModel* segment = FindSegment(selector);
  if (segment == NULL || (uint32_t)offset + size > segment->Limit) return NULL;
  return segment->Bytes + offset;
}

// Open device handles of the fake, by value: the fake hands out
// 0x10000 + 4 * entry.
static unsigned OpenDevices(HANDLE* handles, unsigned room) {
  unsigned count = 0;
  for (unsigned i = 0; i < FAKE_HANDLES; i++) {
    HANDLE handle = (HANDLE)(uintptr_t)(0x10000 + 4 * i);
    if (FakeHandleKindOf(handle) != FAKE_DEVICE) continue;
    if (count < room) handles[count] = handle;
    count++;
  }
  return count;
}

// --- The log -------------------------------------------------------------------

static bool IsPlatformCall(const char* name) {
  return strcmp(name, "MGetVdmPointer") == 0 || strcmp(name, "CreateFileA") == 0 ||
         strcmp(name, "CloseHandle") == 0 || strcmp(name, "DeviceIoControl") == 0 ||
         strcmp(name, "MessageBoxA") == 0;
}

static unsigned CallsSince(unsigned start, const char* name) {
  unsigned count = 0;
  for (unsigned i = start; i < FakeCallCount(); i++)
    if (strcmp(FakeCallAt(i)->Name, name) == 0) count++;
  return count;
}

static const FakeCall* NthCallSince(unsigned start, const char* name, unsigned nth) {
  for (unsigned i = start; i < FakeCallCount(); i++)
    if (strcmp(FakeCallAt(i)->Name, name) == 0 && nth-- == 0) return FakeCallAt(i);
  return NULL;
}

// A failed close leaves the fake's entry open; the bridge has let go of the
// handle either way, so the target drops the entry to keep counting.
static void DropFailedCloses(unsigned start) {
  for (unsigned i = start; i < FakeCallCount(); i++) {
    const FakeCall* call = FakeCallAt(i);
    if (strcmp(call->Name, "CloseHandle") == 0 && call->Failed)
      FakeCloseHandleEntry((const void*)(uintptr_t)call->Args[0]);
  }
}

// --- Fuzzed machine ---------------------------------------------------------------

static uint16_t FuzzSelector(FuzzedDataProvider& in) {
  static const uint16_t selectors[] = {0x0047, 0x004F, 0x0057, 0x005F, 0x0000, 0xFFFF};
  if (in.ConsumeIntegralInRange<int>(0, 3) != 0) return in.PickValueInArray(selectors);
  return in.ConsumeIntegral<uint16_t>();
}

// A 16-bit word: often a value at or beside an edge, sometimes any.
static uint16_t FuzzWord(FuzzedDataProvider& in) {
  static const uint16_t edges[] = {0,      1,      2,      3,      4,     5,     3 + 267, 300,
                                   0x0100, 0x0400, 0x7FFF, 0x8000, 0xFFF0, 0xFFFE, 0xFFFF, 270};
  switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
      return in.PickValueInArray(edges);
    case 1:
      return in.ConsumeIntegralInRange<uint16_t>(0, 600);
    default:
      return in.ConsumeIntegral<uint16_t>();
  }
}

static void DefineSegment(FuzzedDataProvider& in) {
  uint16_t selector = FuzzSelector(in);
  static const uint32_t limits[] = {1, 3, 256, 300, 0x1000, 0xFFFF, 0x10000};
  uint32_t limit = in.ConsumeBool() ? in.PickValueInArray(limits)
                                    : in.ConsumeIntegralInRange<uint32_t>(0, 0x10001);
  uint8_t* bytes = FakeVdmDefineSegment(selector, limit, in.ConsumeIntegral<uint8_t>());
  if (limit == 0 || limit > FAKE_VDM_SEGMENT_SIZE) {
    REQUIRE(bytes == NULL);
    return;
  }
  for (unsigned i = 0; i < SegmentCount; i++) {
    if (Segments[i].Selector != selector) continue;
    REQUIRE(bytes == Segments[i].Bytes);
    Segments[i].Limit = limit;
    return;
  }
  if (SegmentCount == FAKE_VDM_SEGMENTS) {
    REQUIRE(bytes == NULL);
    return;
  }
  REQUIRE(bytes != NULL);
  Segments[SegmentCount].Selector = selector;
  Segments[SegmentCount].Limit = limit;
  Segments[SegmentCount].Bytes = bytes;
  SegmentCount++;
}

// Writes fuzzed bytes (a request frame, often) into a defined segment.
static void WriteMemory(FuzzedDataProvider& in) {
  if (SegmentCount == 0) return;
  const SegmentModel* segment =
      &Segments[in.ConsumeIntegralInRange<unsigned>(0, SegmentCount - 1)];
  uint32_t offset = in.ConsumeIntegralInRange<uint32_t>(0, segment->Limit - 1);
  size_t room = segment->Limit - offset;
  std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 300));
  if (in.ConsumeBool() && room >= 3) {
    // A frame's start mark and a plausible command code first.
    segment->Bytes[offset] = ':';
    segment->Bytes[offset + 1] = in.ConsumeIntegralInRange<uint8_t>(0, 40);
    offset += 2;
    room -= 2;
  }
  size_t length = bytes.size() < room ? bytes.size() : room;
  if (length != 0) memcpy(segment->Bytes + offset, bytes.data(), length);
}

// What the device does at the next device call; and now and then a failure
// of one of the next platform calls.
static void FuzzDevice(FuzzedDataProvider& in) {
  int mode = in.ConsumeIntegralInRange<int>(0, 4);
  if (mode == 1 || mode == 2) {
    SimScript script;
    memset(&script, 0, sizeof script);
    script.Action = SIM_SCRIPT_REPLY;
    script.Status = in.ConsumeIntegral<uint8_t>();
    script.PayloadLength = in.ConsumeIntegralInRange<uint32_t>(0, SIM_REPLY_PAYLOAD_MAX);
    script.ByteCount = in.ConsumeBool() ? -1 : in.ConsumeIntegralInRange<int32_t>(0, 280);
    REQUIRE(SimQueueScript(&script) == 1);
  } else if (mode == 3) {
    SimScript script;
    memset(&script, 0, sizeof script);
    script.Action = SIM_SCRIPT_FAIL;
    REQUIRE(SimQueueScript(&script) == 1);
  } else if (mode == 4) {
    static const DWORD counts[] = {0, 1, 3, 270, 0xFFFF, 0x10000, 0x10003, 0xFFFFFFFF};
    PendingCount = in.ConsumeBool() ? in.PickValueInArray(counts) : in.ConsumeIntegral<DWORD>();
    CountPending = true;
    FakeReportByteCount(PendingCount);
  }
  unsigned failAhead = in.ConsumeIntegralInRange<unsigned>(0, 12);
  if (failAhead >= 1 && failAhead <= 4)
    FakeFailNthPlatformCall(FakePlatformCallCount() + failAhead, ERROR_GEN_FAILURE);
}

// --- The calls ------------------------------------------------------------------

static bool SameExcept(const FakeVdmRegisters& a, const FakeVdmRegisters& b, bool cx) {
  return a.BX == b.BX && (cx || a.CX == b.CX) && a.DX == b.DX && a.SI == b.SI && a.DI == b.DI &&
         a.ES == b.ES && a.CF == b.CF;
}

static void CheckHandles(void) {
  HANDLE open[2];
  unsigned count = OpenDevices(open, 2);
  REQUIRE(count <= 1);
  REQUIRE(count == (Held != INVALID_HANDLE_VALUE ? 1u : 0u));
  if (count == 1) REQUIRE(open[0] == Held);
}

// A device call of the initialization or the exchange.
static void CheckTransfer(unsigned start, uint16_t function, const FakeVdmRegisters& before,
                          const FakeVdmRegisters& after) {
  const FakeCall* inTranslation = NthCallSince(start, "MGetVdmPointer", 0);
  const FakeCall* outTranslation = NthCallSince(start, "MGetVdmPointer", 1);
  REQUIRE(inTranslation != NULL && outTranslation != NULL);
  REQUIRE(CallsSince(start, "MGetVdmPointer") == 2);
  uint32_t selector = (uint32_t)before.ES << 16;
  REQUIRE(inTranslation->Args[0] == (selector | before.SI) && inTranslation->Args[1] == before.BX &&
          inTranslation->Args[2] == TRUE);
  REQUIRE(outTranslation->Args[0] == (selector | before.DI) &&
          outTranslation->Args[1] == before.CX && outTranslation->Args[2] == TRUE);
  uint8_t* in = Translate(before.ES, before.SI, before.BX);
  uint8_t* out = Translate(before.ES, before.DI, before.CX);
  // A translation fails where the memory says so, or where it was made to.
  if (in == NULL) REQUIRE(inTranslation->Failed);
  if (out == NULL) REQUIRE(outTranslation->Failed);
  bool translated = !inTranslation->Failed && !outTranslation->Failed;

  unsigned deviceCalls = CallsSince(start, "DeviceIoControl");
  REQUIRE(deviceCalls == (translated ? 1u : 0u));
  const FakeCall* call = NthCallSince(start, "DeviceIoControl", 0);
  bool succeeded = call != NULL && !call->Failed;
  REQUIRE(after.AX == (succeeded ? 0 : 1));
  if (call != NULL) {
    REQUIRE(call->Args[0] == (uintptr_t)Held);
    REQUIRE(call->Args[1] == (function == FN_EXCHANGE ? EXCHANGE_CODE : INITIALIZE_CODE));
    REQUIRE(call->Args[2] == before.BX && call->Args[3] == before.CX);
    REQUIRE(call->Args[4] == (uintptr_t)in && call->Args[5] == (uintptr_t)out);
    REQUIRE(call->Args[6] != 0 && call->Args[7] == 0);
    if (Held == INVALID_HANDLE_VALUE) REQUIRE(call->Failed);
  }

  if (function == FN_INITIALIZE) {
    REQUIRE(CallsSince(start, "setCX") == 0 && after.CX == before.CX);
  } else {
    REQUIRE(CallsSince(start, "setCX") == 1);
    if (!succeeded)
      REQUIRE(after.CX == 0);
    else if (CountPending)
      REQUIRE(after.CX == (uint16_t)PendingCount);
    else
      REQUIRE(after.CX <= before.CX);  // the driver's count of what it wrote
  }
  if (succeeded) CountPending = false;
}

static void Dispatch(FuzzedDataProvider& in) {
  FakeVdmRegisters* regs = FakeVdmRegs();
  static const uint16_t functions[] = {FN_OPEN, FN_CLOSE, FN_INITIALIZE, FN_EXCHANGE,
                                       FN_EXCHANGE, 4, 0xFFFF, 0x0100};
  regs->DX = in.ConsumeIntegralInRange<int>(0, 7) != 0 ? in.PickValueInArray(functions)
                                                      : in.ConsumeIntegral<uint16_t>();
  regs->ES = FuzzSelector(in);
  regs->SI = FuzzWord(in);
  regs->BX = FuzzWord(in);
  regs->DI = FuzzWord(in);
  regs->CX = FuzzWord(in);
  regs->AX = in.ConsumeIntegral<uint16_t>();
  regs->CF = in.ConsumeBool();
  if (regs->DX == FN_OPEN && in.ConsumeBool()) regs->CX = in.ConsumeIntegralInRange<uint16_t>(0, 10);
  FuzzDevice(in);

  FakeVdmRegisters before = *regs;
  unsigned start = FakeCallCount();
  VDDDispatch();
  FakeVdmRegisters after = *regs;

  REQUIRE(after.AX == 0 || after.AX == 1);
  REQUIRE(CallsSince(start, "setAX") == 1);
  REQUIRE(CallsSince(start, "setCF") == 0);
  REQUIRE(CallsSince(start, "MessageBoxA") == 0);
  REQUIRE(CallsSince(start, "DeviceIoControl") <= 1);
  REQUIRE(SameExcept(before, after, before.DX == FN_EXCHANGE));

  switch (before.DX) {
    case FN_OPEN: {
      const FakeCall* close = NthCallSince(start, "CloseHandle", 0);
      REQUIRE(CallsSince(start, "CloseHandle") == (Held != INVALID_HANDLE_VALUE ? 1u : 0u));
      if (close != NULL) REQUIRE(close->Args[0] == (uintptr_t)Held);
      REQUIRE(CallsSince(start, "CreateFileA") == 1 && CallsSince(start, "MGetVdmPointer") == 0 &&
              CallsSince(start, "DeviceIoControl") == 0);
      const FakeCall* open = NthCallSince(start, "CreateFileA", 0);
      char name[16];
      snprintf(name, sizeof name, "\\\\.\\TAV%c", (char)(uint8_t)('0' + before.CX));
      REQUIRE(strcmp(open->Text, name) == 0);
      REQUIRE(open->Args[0] == (GENERIC_READ | GENERIC_WRITE) && open->Args[1] == 0 &&
              open->Args[3] == OPEN_EXISTING);
      REQUIRE(after.AX == (open->Failed ? 1 : 0));
      REQUIRE(CallsSince(start, "setCX") == 0);
      DropFailedCloses(start);
      Held = INVALID_HANDLE_VALUE;
      if (!open->Failed) {
        HANDLE handles[2];
        REQUIRE(OpenDevices(handles, 2) == 1);
        Held = handles[0];
      }
      break;
    }
    case FN_CLOSE: {
      REQUIRE(after.AX == 0);
      REQUIRE(CallsSince(start, "CloseHandle") == (Held != INVALID_HANDLE_VALUE ? 1u : 0u));
      const FakeCall* close = NthCallSince(start, "CloseHandle", 0);
      if (close != NULL) REQUIRE(close->Args[0] == (uintptr_t)Held);
      REQUIRE(CallsSince(start, "CreateFileA") == 0 && CallsSince(start, "MGetVdmPointer") == 0 &&
              CallsSince(start, "DeviceIoControl") == 0 && CallsSince(start, "setCX") == 0);
      DropFailedCloses(start);
      Held = INVALID_HANDLE_VALUE;
      break;
    }
    case FN_INITIALIZE:
    case FN_EXCHANGE:
      REQUIRE(CallsSince(start, "CreateFileA") == 0 && CallsSince(start, "CloseHandle") == 0);
      CheckTransfer(start, before.DX, before, after);
      break;
    default:
      // An unknown code: a refusal and nothing else.
      REQUIRE(after.AX == 1);
      for (unsigned i = start; i < FakeCallCount(); i++)
        REQUIRE(!IsPlatformCall(FakeCallAt(i)->Name));
      REQUIRE(CallsSince(start, "setCX") == 0);
      break;
  }
  CheckHandles();
}

// The module's load: probes links 1 to 3, keeps none open.
static void Load(FuzzedDataProvider& in) {
  static const DWORD reasons[] = {DLL_PROCESS_ATTACH, DLL_PROCESS_ATTACH, DLL_THREAD_ATTACH,
                                  DLL_THREAD_DETACH, DLL_PROCESS_DETACH};
  DWORD reason = in.PickValueInArray(reasons);
  FuzzDevice(in);
  FakeVdmRegisters before = *FakeVdmRegs();
  unsigned start = FakeCallCount();
  BOOL loaded = VDDInitialize(NULL, reason, NULL);
  REQUIRE(memcmp(&before, FakeVdmRegs(), sizeof before) == 0);
  REQUIRE(CallsSince(start, "DeviceIoControl") == 0 && CallsSince(start, "MGetVdmPointer") == 0);
  if (reason != DLL_PROCESS_ATTACH) {
    REQUIRE(loaded == TRUE && FakeCallCount() == start);
    return;
  }
  REQUIRE(CallsSince(start, "CreateFileA") == 3);
  unsigned opened = 0;
  for (unsigned link = 1; link <= 3; link++) {
    const FakeCall* open = NthCallSince(start, "CreateFileA", link - 1);
    char name[16];
    snprintf(name, sizeof name, "\\\\.\\TAV%u", link);
    REQUIRE(strcmp(open->Text, name) == 0);
    if (!open->Failed) opened++;
  }
  REQUIRE(CallsSince(start, "CloseHandle") == opened);
  for (unsigned i = 0; i < opened; i++)
    REQUIRE(NthCallSince(start, "CloseHandle", i)->Args[0] != (uintptr_t)Held);
  REQUIRE(loaded == (opened > 0 ? TRUE : FALSE));
  REQUIRE(CallsSince(start, "MessageBoxA") == (loaded ? 0u : 1u));
  if (!loaded) {
    const FakeCall* box = NthCallSince(start, "MessageBoxA", 0);
    REQUIRE(strcmp(box->Text, "Unable to locate kernel driver") == 0 &&
            strcmp(box->Text2, "TavBridge") == 0);
  }
  DropFailedCloses(start);
  CheckHandles();
}

static void RegisterInit(void) {
  FakeVdmRegisters before = *FakeVdmRegs();
  unsigned start = FakeCallCount();
  VDDRegisterInit();
  FakeVdmRegisters after = *FakeVdmRegs();
  REQUIRE(after.CF == 0);
  after.CF = before.CF;
  REQUIRE(memcmp(&before, &after, sizeof before) == 0);
  REQUIRE(FakeCallCount() == start + 1);
}

// A fresh virtual machine: the bridge's link closed through the dispatch,
// as a 16-bit program would close it, then a fresh machine under it.
static void FreshMachine(void) {
  FakeFailNthPlatformCall(0, 0);
  FakeVdmReset();
  FakeVdmRegs()->DX = FN_CLOSE;
  VDDDispatch();
  FakeReset();
  FakeVdmReset();
  SegmentCount = 0;
  Held = INVALID_HANDLE_VALUE;
  CountPending = false;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FreshMachine();
  FuzzedDataProvider in(data, size);
  // A step logs at most a dozen calls; stop before the log is full.
  while (in.remaining_bytes() > 0 && FakeCallCount() + 16 < FAKE_LOG_SIZE) {
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
      case 0:
        DefineSegment(in);
        break;
      case 1:
        WriteMemory(in);
        break;
      case 2:
        FakeSetLinks(in.ConsumeIntegral<uint16_t>() & 0x3FF);
        break;
      case 3:
        Load(in);
        break;
      case 4:
        RegisterInit();
        break;
      default:
        Dispatch(in);
        break;
    }
    FakeFailNthPlatformCall(0, 0);
    SimClearScripts();
  }
  // Closing leaves no device handle open.
  unsigned start = FakeCallCount();
  FakeVdmRegs()->DX = FN_CLOSE;
  VDDDispatch();
  DropFailedCloses(start);
  REQUIRE(FakeOpenHandleCount(FAKE_DEVICE) == 0);
  return 0;
}
