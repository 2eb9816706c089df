// The bridge's load-time probe, registration and register protocol, over
// the fake devices and the fake virtual DOS machine.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "fake.h"
#include "fake_device.h"
#include "fake_ntvdm.h"
#include "simulator.h"
#include "winapi.h"

extern "C" BOOL WINAPI VDDInitialize(HINSTANCE module, DWORD reason, LPVOID reserved);
extern "C" void WINAPI VDDRegisterInit(void);
extern "C" void WINAPI VDDDispatch(void);

namespace {

const uint16_t kSelector = 0x0047;
const uint16_t kOpen = 0, kClose = 1, kInitialize = 2, kExchange = 3;
const DWORD kExchangeCode = 0x222004, kInitializeCode = 0x222008;
const uint64_t kNoHandle = (uint64_t)(uintptr_t)INVALID_HANDLE_VALUE;

// The NTVDM service calls in the log from entry `from` on, in order
// ("getDX setAX" ...).
std::string ServiceCalls(unsigned from) {
  static const char* const names[] = {"getBX", "getCX", "getDX", "getSI", "getDI",
                                      "getES", "setAX", "setCX", "setCF", "MGetVdmPointer"};
  std::string calls;
  for (unsigned i = from; i < FakeCallCount(); i++) {
    const char* name = FakeCallAt(i)->Name;
    for (const char* service : names) {
      if (strcmp(name, service) != 0) continue;
      if (!calls.empty()) calls += ' ';
      calls += name;
    }
  }
  return calls;
}

// The platform calls in the log from entry `from` on, in order, NTVDM
// services left out.
std::string PlatformCalls(unsigned from) {
  std::string calls;
  for (unsigned i = from; i < FakeCallCount(); i++) {
    const FakeCall* call = FakeCallAt(i);
    if (strcmp(call->Name, "CreateFileA") != 0 && strcmp(call->Name, "CloseHandle") != 0 &&
        strcmp(call->Name, "DeviceIoControl") != 0 && strcmp(call->Name, "MessageBoxA") != 0)
      continue;
    if (!calls.empty()) calls += ' ';
    calls += call->Name;
  }
  return calls;
}

bool SameRegisters(const FakeVdmRegisters& a, const FakeVdmRegisters& b) {
  return a.AX == b.AX && a.BX == b.BX && a.CX == b.CX && a.DX == b.DX && a.SI == b.SI &&
         a.DI == b.DI && a.ES == b.ES && a.CF == b.CF;
}

class Bridge : public ::testing::Test {
 protected:
  void SetUp() override {
    // The link handle of the bridge outlives a test: a close through the
    // dispatch, as the 16-bit side would make it, leaves no link open.
    FakeVdmReset();
    Regs()->DX = kClose;
    VDDDispatch();
    FakeReset();
    FakeVdmReset();
    memory = FakeVdmDefineSegment(kSelector, FAKE_VDM_SEGMENT_SIZE, 0xEE);
    ASSERT_NE(memory, nullptr);
  }

  static FakeVdmRegisters* Regs() { return FakeVdmRegs(); }

  // A dispatch call with DX = function and CX = cx; returns AX.
  uint16_t Dispatch(uint16_t function, uint16_t cx) {
    Regs()->DX = function;
    Regs()->CX = cx;
    VDDDispatch();
    return Regs()->AX;
  }

  // Places `request` at SI and lets the output area at DI take outLength
  // bytes; then dispatches `function`. Returns AX.
  uint16_t Transfer(uint16_t function, const std::vector<uint8_t>& request, uint16_t outLength,
                    uint16_t si = 0x0100, uint16_t di = 0x0400) {
    if (!request.empty()) memcpy(memory + si, request.data(), request.size());
    Regs()->ES = kSelector;
    Regs()->SI = si;
    Regs()->BX = (uint16_t)request.size();
    Regs()->DI = di;
    return Dispatch(function, outLength);
  }

  // Opens link n; the calls that follow are counted from here on.
  void OpenLink(uint16_t link) {
    ASSERT_EQ(Dispatch(kOpen, link), 0);
    mark = FakeCallCount();
  }

  // Calls made since the mark.
  unsigned Calls(const char* name) const {
    unsigned count = 0;
    for (unsigned i = mark; i < FakeCallCount(); i++)
      if (strcmp(FakeCallAt(i)->Name, name) == 0) count++;
    return count;
  }
  std::string ServiceCalls() const { return ::ServiceCalls(mark); }
  std::string PlatformCalls() const { return ::PlatformCalls(mark); }

  // The handle a device control call was made on.
  static uint64_t HandleOfLastControl() {
    const FakeCall* call = FakeLastCall("DeviceIoControl");
    return call ? call->Args[0] : 0;
  }

  uint8_t* memory = nullptr;
  unsigned mark = 0;  // log entries before it are the set-up's
};

// --- Load-time probe ------------------------------------------------------

struct ProbeCase {
  unsigned links;
  BOOL loaded;
};

class BridgeProbe : public Bridge, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(BridgeProbe, TriesAllThreeLinksAndKeepsNoHandle) {
  FakeSetLinks(GetParam().links);
  EXPECT_EQ(VDDInitialize(nullptr, DLL_PROCESS_ATTACH, nullptr), GetParam().loaded);

  ASSERT_EQ(Calls("CreateFileA"), 3u);
  for (unsigned i = 0; i < 3; i++) {
    const FakeCall* open = FakeNthCall("CreateFileA", i);
    EXPECT_EQ(std::string(open->Text), std::string("\\\\.\\TAV") + char('1' + i));
    EXPECT_EQ(open->Args[0], (uint64_t)(GENERIC_READ | GENERIC_WRITE));
    EXPECT_EQ(open->Args[1], 0u);  // no sharing
    EXPECT_EQ(open->Args[2], 0u);  // no security attributes
    EXPECT_EQ(open->Args[3], (uint64_t)OPEN_EXISTING);
    EXPECT_EQ(open->Args[4], 0u);  // no flags
    EXPECT_EQ(open->Args[5], 0u);  // no template
  }
  unsigned present = __builtin_popcount(GetParam().links & 0xE);
  EXPECT_EQ(Calls("CloseHandle"), present);
  EXPECT_EQ(FakeOpenHandleCount(FAKE_DEVICE), 0u);
  EXPECT_EQ(ServiceCalls(), "");

  if (GetParam().loaded) {
    EXPECT_EQ(FakeBoxCount(), 0u);
  } else {
    ASSERT_EQ(FakeBoxCount(), 1u);
    const FakeCall* box = FakeBoxAt(0);
    EXPECT_STREQ(box->Text, "Unable to locate kernel driver");
    EXPECT_STREQ(box->Text2, "TavBridge");
    EXPECT_EQ(box->Args[0], 0u);     // no owner window
    EXPECT_EQ(box->Args[1], 0x30u);  // MB_OK | MB_ICONEXCLAMATION
    // The box comes after all three tries.
    EXPECT_EQ(PlatformCalls(), "CreateFileA CreateFileA CreateFileA MessageBoxA");
  }
}

INSTANTIATE_TEST_SUITE_P(Links, BridgeProbe,
                         ::testing::Values(ProbeCase{0xE, TRUE},   // links 1 to 3
                                           ProbeCase{0x8, TRUE},   // only link 3
                                           ProbeCase{0x2, TRUE},   // only link 1
                                           ProbeCase{0x11, FALSE},  // only links 0 and 4
                                           ProbeCase{0x0, FALSE}));

TEST_F(Bridge, LoadLeavesNoLinkOpenForTheDispatch) {
  ASSERT_TRUE(VDDInitialize(nullptr, DLL_PROCESS_ATTACH, nullptr));
  EXPECT_EQ(Transfer(kExchange, {':', 4, 1, 3}, 270), 1);
  EXPECT_EQ(HandleOfLastControl(), kNoHandle);
}

TEST_F(Bridge, OtherReasonsDoNothingEvenWithALinkOpen) {
  FakeSetLinks(0);
  for (DWORD reason : {DLL_PROCESS_DETACH, DLL_THREAD_ATTACH, DLL_THREAD_DETACH}) {
    EXPECT_TRUE(VDDInitialize(nullptr, reason, nullptr)) << reason;
  }
  EXPECT_EQ(FakeCallCount(), mark);

  FakeSetLinks(0xE);
  OpenLink(2);
  EXPECT_TRUE(VDDInitialize(nullptr, DLL_PROCESS_DETACH, nullptr));
  EXPECT_EQ(FakeCallCount(), mark);
  EXPECT_EQ(FakeOpenHandleCount(FAKE_DEVICE), 1u);
}

// --- Registration ---------------------------------------------------------

TEST_F(Bridge, RegistrationClearsOnlyTheCarry) {
  FakeVdmRegisters before = *Regs();
  VDDRegisterInit();
  EXPECT_EQ(ServiceCalls(), "setCF");
  EXPECT_EQ(FakeLastCall("setCF")->Args[0], 0u);
  before.CF = 0;
  EXPECT_TRUE(SameRegisters(*Regs(), before));
  EXPECT_EQ(PlatformCalls(), "");
}

// --- Function codes outside 0 to 3 ---------------------------------------

class BridgeUnknownFunction : public Bridge, public ::testing::WithParamInterface<uint16_t> {};

TEST_P(BridgeUnknownFunction, AnswersFailureAndTouchesNothingElse) {
  OpenLink(1);
  Regs()->DX = GetParam();
  FakeVdmRegisters before = *Regs();
  VDDDispatch();
  EXPECT_EQ(Regs()->AX, 1);
  before.AX = 1;
  EXPECT_TRUE(SameRegisters(*Regs(), before));
  EXPECT_EQ(ServiceCalls(), "getDX setAX");
  EXPECT_EQ(PlatformCalls(), "");
  // The link stays open and in use.
  EXPECT_EQ(FakeOpenHandleCount(FAKE_DEVICE), 1u);
  EXPECT_EQ(Transfer(kExchange, {':', 4, 1, 3}, 270), 0);
}

INSTANTIATE_TEST_SUITE_P(Codes, BridgeUnknownFunction,
                         ::testing::Values(4, 0xFFFF, 0x0100, 0x0101, 0x0103, 0x8000, 0x7FFF));

// --- Open -----------------------------------------------------------------

struct OpenCase {
  uint16_t cx;
  const char* name;  // the device name opened
  uint16_t ax;
};

class BridgeOpen : public Bridge, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(BridgeOpen, OpensZeroPlusTheLowByteOfCx) {
  Regs()->DX = kOpen;
  Regs()->CX = GetParam().cx;
  FakeVdmRegisters before = *Regs();
  EXPECT_EQ(Dispatch(kOpen, GetParam().cx), GetParam().ax);
  before.AX = GetParam().ax;
  EXPECT_TRUE(SameRegisters(*Regs(), before));
  EXPECT_EQ(ServiceCalls(), "getDX getCX setAX");

  ASSERT_EQ(Calls("CreateFileA"), 1u);
  const FakeCall* open = FakeLastCall("CreateFileA");
  EXPECT_EQ(std::string(open->Text), std::string(GetParam().name));
  EXPECT_EQ(open->Args[0], (uint64_t)(GENERIC_READ | GENERIC_WRITE));
  EXPECT_EQ(open->Args[1], 0u);
  EXPECT_EQ(open->Args[2], 0u);
  EXPECT_EQ(open->Args[3], (uint64_t)OPEN_EXISTING);
  EXPECT_EQ(open->Args[4], 0u);
  EXPECT_EQ(open->Args[5], 0u);
  EXPECT_EQ(FakeOpenHandleCount(FAKE_DEVICE), GetParam().ax == 0 ? 1u : 0u);

  // What the open left behind is what the next exchange uses.
  Transfer(kExchange, {':', 4, 1, 3}, 270);
  if (GetParam().ax == 0)
    EXPECT_STREQ(FakeHandleName((const void*)(uintptr_t)HandleOfLastControl()), GetParam().name);
  else
    EXPECT_EQ(HandleOfLastControl(), kNoHandle);
}

INSTANTIATE_TEST_SUITE_P(
    Links, BridgeOpen,
    ::testing::Values(OpenCase{1, "\\\\.\\TAV1", 0}, OpenCase{3, "\\\\.\\TAV3", 0},
                      OpenCase{0, "\\\\.\\TAV0", 1}, OpenCase{4, "\\\\.\\TAV4", 1},
                      // 48 + CX taken modulo 256:
                      OpenCase{0x0101, "\\\\.\\TAV1", 0},   // 0x131 -> '1'
                      OpenCase{0xFF02, "\\\\.\\TAV2", 0},   // 0xFF32 -> '2'
                      OpenCase{0xFFD2, "\\\\.\\TAV\x02", 1},  // 0x10002 -> 0x02
                      OpenCase{0x00CF, "\\\\.\\TAV\xFF", 1},  // 0xFF
                      OpenCase{0x00D0, "\\\\.\\TAV", 1}));  // 0x100 -> NUL: the bare prefix

TEST_F(Bridge, OpenFailingLeavesNoLink) {
  FakeFailCall("CreateFileA", 1, ERROR_ACCESS_DENIED);
  EXPECT_EQ(Dispatch(kOpen, 1), 1);
  EXPECT_EQ(FakeOpenHandleCount(FAKE_DEVICE), 0u);
  EXPECT_EQ(Dispatch(kClose, 0), 0);
  EXPECT_EQ(Calls("CloseHandle"), 0u);
}

// A second open closes the link the first one left open, then opens anew;
// its outcome decides what is open afterwards.
TEST_F(Bridge, SecondOpenClosesTheFirstLink) {
  ASSERT_EQ(Dispatch(kOpen, 1), 0);
  ASSERT_EQ(Transfer(kExchange, {':', 4, 1, 3}, 270), 0);
  const uint64_t first = HandleOfLastControl();

  EXPECT_EQ(Dispatch(kOpen, 2), 0);
  EXPECT_EQ(PlatformCalls(), "CreateFileA DeviceIoControl CloseHandle CreateFileA");
  ASSERT_NE(FakeLastCall("CloseHandle"), nullptr);
  EXPECT_EQ(FakeLastCall("CloseHandle")->Args[0], first);
  EXPECT_EQ(FakeOpenHandleCount(FAKE_DEVICE), 1u);

  SimClearFrames();
  ASSERT_EQ(Transfer(kExchange, {':', 4, 1, 3}, 270), 0);
  SimFrame frame;
  ASSERT_TRUE(SimReadFrame(0, &frame));
  EXPECT_EQ(frame.Link, 2u);
}

TEST_F(Bridge, SecondOpenOfTheSameLinkSucceeds) {
  ASSERT_EQ(Dispatch(kOpen, 3), 0);
  EXPECT_EQ(Dispatch(kOpen, 3), 0);
  EXPECT_EQ(PlatformCalls(), "CreateFileA CloseHandle CreateFileA");
  EXPECT_EQ(FakeOpenHandleCount(FAKE_DEVICE), 1u);
}

TEST_F(Bridge, FailedSecondOpenLeavesNoLink) {
  ASSERT_EQ(Dispatch(kOpen, 1), 0);
  EXPECT_EQ(Dispatch(kOpen, 4), 1);
  EXPECT_EQ(PlatformCalls(), "CreateFileA CloseHandle CreateFileA");
  EXPECT_EQ(FakeOpenHandleCount(FAKE_DEVICE), 0u);
  EXPECT_EQ(Transfer(kExchange, {':', 4, 1, 3}, 270), 1);
  EXPECT_EQ(HandleOfLastControl(), kNoHandle);
}

TEST_F(Bridge, SecondOpenGoesOnWhenTheCloseFails) {
  ASSERT_EQ(Dispatch(kOpen, 1), 0);
  FakeFailCall("CloseHandle", 1, ERROR_INVALID_HANDLE);
  EXPECT_EQ(Dispatch(kOpen, 2), 0);
  EXPECT_EQ(PlatformCalls(), "CreateFileA CloseHandle CreateFileA");
  SimClearFrames();
  ASSERT_EQ(Transfer(kExchange, {':', 4, 1, 3}, 270), 0);
  SimFrame frame;
  ASSERT_TRUE(SimReadFrame(0, &frame));
  EXPECT_EQ(frame.Link, 2u);
}

// --- Close ----------------------------------------------------------------

TEST_F(Bridge, CloseWithALinkClosesItOnce) {
  ASSERT_EQ(Dispatch(kOpen, 1), 0);
  ASSERT_EQ(Transfer(kExchange, {':', 4, 1, 3}, 270), 0);
  const uint64_t handle = HandleOfLastControl();
  FakeVdmRegisters before = *Regs();
  before.DX = kClose;
  EXPECT_EQ(Dispatch(kClose, before.CX), 0);
  before.AX = 0;
  EXPECT_TRUE(SameRegisters(*Regs(), before));
  ASSERT_EQ(Calls("CloseHandle"), 1u);
  EXPECT_EQ(FakeLastCall("CloseHandle")->Args[0], handle);
  EXPECT_EQ(FakeOpenHandleCount(FAKE_DEVICE), 0u);

  // No link now: a second close calls nothing, an exchange fails.
  EXPECT_EQ(Dispatch(kClose, 0), 0);
  EXPECT_EQ(Calls("CloseHandle"), 1u);
  EXPECT_EQ(Transfer(kExchange, {':', 4, 1, 3}, 270), 1);
  EXPECT_EQ(HandleOfLastControl(), kNoHandle);
}

TEST_F(Bridge, CloseWithoutALinkCallsNothing) {
  Regs()->AX = 0x7777;
  EXPECT_EQ(Dispatch(kClose, 0x1234), 0);
  EXPECT_EQ(PlatformCalls(), "");
  EXPECT_EQ(ServiceCalls(), "getDX setAX");
  EXPECT_EQ(Regs()->CX, 0x1234);
}

TEST_F(Bridge, FailingCloseStillForgetsTheLink) {
  ASSERT_EQ(Dispatch(kOpen, 1), 0);
  FakeFailCall("CloseHandle", 1, ERROR_INVALID_HANDLE);
  EXPECT_EQ(Dispatch(kClose, 0), 0);
  EXPECT_EQ(Calls("CloseHandle"), 1u);
  EXPECT_EQ(Dispatch(kClose, 0), 0);
  EXPECT_EQ(Calls("CloseHandle"), 1u);
  EXPECT_EQ(Transfer(kExchange, {':', 4, 1, 3}, 270), 1);
  EXPECT_EQ(HandleOfLastControl(), kNoHandle);
}

// --- Initialize and exchange ----------------------------------------------

TEST_F(Bridge, ExchangeHandsTheCallersBuffersToTheDriver) {
  OpenLink(2);
  SimScript script = {SIM_SCRIPT_REPLY, 0, 4, -1, {0x10, 0x20, 0x30, 0x40}};
  ASSERT_TRUE(SimQueueScript(&script));
  const std::vector<uint8_t> request = {':', 4, 1, 7};
  Regs()->AX = 0x5555;
  FakeVdmRegisters before = *Regs();

  EXPECT_EQ(Transfer(kExchange, request, 270, 0x0010, 0xFE00), 0);
  EXPECT_EQ(Regs()->CX, 7);  // the byte count of the reply frame
  before = {0, 4, 7, kExchange, 0x0010, 0xFE00, kSelector, before.CF};
  EXPECT_TRUE(SameRegisters(*Regs(), before));
  EXPECT_EQ(ServiceCalls(),
            "getDX getES getSI getBX getDI getCX MGetVdmPointer MGetVdmPointer setAX setCX");

  const FakeCall* in = FakeNthCall("MGetVdmPointer", 0);
  EXPECT_EQ(in->Args[0], ((uint64_t)kSelector << 16) | 0x0010);
  EXPECT_EQ(in->Args[1], 4u);
  EXPECT_EQ(in->Args[2], (uint64_t)TRUE);
  const FakeCall* out = FakeNthCall("MGetVdmPointer", 1);
  EXPECT_EQ(out->Args[0], ((uint64_t)kSelector << 16) | 0xFE00);
  EXPECT_EQ(out->Args[1], 270u);
  EXPECT_EQ(out->Args[2], (uint64_t)TRUE);

  const FakeCall* control = FakeLastCall("DeviceIoControl");
  EXPECT_EQ(control->Args[1], kExchangeCode);
  EXPECT_EQ(control->Args[2], 4u);
  EXPECT_EQ(control->Args[3], 270u);
  EXPECT_EQ(control->Args[4], (uint64_t)(uintptr_t)(memory + 0x0010));  // in place, no copy
  EXPECT_EQ(control->Args[5], (uint64_t)(uintptr_t)(memory + 0xFE00));
  EXPECT_NE(control->Args[6], 0u);  // a byte count variable
  EXPECT_EQ(control->Args[7], 0u);  // synchronous

  SimFrame frame;
  ASSERT_EQ(SimFrameCount(), 1u);
  ASSERT_TRUE(SimReadFrame(0, &frame));
  EXPECT_EQ(frame.Link, 2u);
  EXPECT_EQ(frame.InLength, 4u);
  EXPECT_EQ(frame.OutLength, 270u);
  EXPECT_EQ(std::vector<uint8_t>(frame.In, frame.In + 4), request);

  const uint8_t reply[] = {':', 0, 4, 0x10, 0x20, 0x30, 0x40, 0xEE};
  EXPECT_EQ(0, memcmp(memory + 0xFE00, reply, sizeof reply));  // the rest untouched
}

TEST_F(Bridge, InitializeLeavesCxAsTheCallerSetIt) {
  OpenLink(1);
  std::vector<uint8_t> request(260, 0);
  request[0] = ':';
  FakeVdmRegisters before = *Regs();
  EXPECT_EQ(Transfer(kInitialize, request, 0x0020), 0);
  before = {0, 260, 0x0020, kInitialize, 0x0100, 0x0400, kSelector, before.CF};
  EXPECT_TRUE(SameRegisters(*Regs(), before));
  EXPECT_EQ(ServiceCalls(), "getDX getES getSI getBX getDI getCX MGetVdmPointer MGetVdmPointer setAX");
  const FakeCall* control = FakeLastCall("DeviceIoControl");
  EXPECT_EQ(control->Args[1], kInitializeCode);
  EXPECT_EQ(control->Args[2], 260u);
  EXPECT_EQ(control->Args[3], 0x20u);
  SimFrame frame;
  ASSERT_TRUE(SimReadFrame(0, &frame));
  EXPECT_EQ(frame.Code, kInitializeCode);
  EXPECT_EQ(std::vector<uint8_t>(frame.In, frame.In + 260), request);
}

// A failing device control call, before any open or from the driver.
struct FailureCase {
  const char* what;
  uint16_t function;
  bool open;    // a link is open
  bool script;  // the driver fails the call
};

class BridgeControlFailure : public Bridge, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(BridgeControlFailure, AnswersOneAndWritesCxOnlyAfterAnExchange) {
  if (GetParam().open) OpenLink(1);
  if (GetParam().script) {
    SimScript fail = {SIM_SCRIPT_FAIL, 0, 0, -1, {0}};
    ASSERT_TRUE(SimQueueScript(&fail));
  }
  EXPECT_EQ(Transfer(GetParam().function, {':', 4, 1, 3}, 270), 1);
  EXPECT_EQ(Calls("DeviceIoControl"), 1u);
  EXPECT_EQ(HandleOfLastControl() == kNoHandle, !GetParam().open);
  if (GetParam().function == kExchange) {
    EXPECT_EQ(Calls("setCX"), 1u);
    EXPECT_EQ(Regs()->CX, 0);  // a defined count, never stack contents
  } else {
    EXPECT_EQ(Calls("setCX"), 0u);
    EXPECT_EQ(Regs()->CX, 270);
  }
  EXPECT_EQ(Regs()->CF, 1);
  EXPECT_EQ(FakeBoxCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BridgeControlFailure,
    ::testing::Values(FailureCase{"ExchangeBeforeOpen", kExchange, false, false},
                      FailureCase{"InitializeBeforeOpen", kInitialize, false, false},
                      FailureCase{"ExchangeDriverFails", kExchange, true, true},
                      FailureCase{"InitializeDriverFails", kInitialize, true, true}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.what; });

// Zero lengths go to the device control call as they are.
struct ZeroCase {
  const char* what;
  uint16_t function;
  uint16_t bx, cx;
  uint16_t ax;
};

class BridgeZeroLength : public Bridge, public ::testing::WithParamInterface<ZeroCase> {};

TEST_P(BridgeZeroLength, PassesTheLengthsUnchanged) {
  OpenLink(1);
  std::vector<uint8_t> request(GetParam().bx, ':');
  EXPECT_EQ(Transfer(GetParam().function, request, GetParam().cx), GetParam().ax);
  const FakeCall* control = FakeLastCall("DeviceIoControl");
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->Args[2], GetParam().bx);
  EXPECT_EQ(control->Args[3], GetParam().cx);
  EXPECT_EQ(control->Args[4], (uint64_t)(uintptr_t)(memory + 0x0100));
  EXPECT_EQ(control->Args[5], (uint64_t)(uintptr_t)(memory + 0x0400));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BridgeZeroLength,
    ::testing::Values(ZeroCase{"InitializeNoInput", kInitialize, 0, 16, 0},
                      ZeroCase{"InitializeNoOutput", kInitialize, 4, 0, 0},
                      ZeroCase{"ExchangeNoInput", kExchange, 0, 270, 0},
                      // A reply frame does not fit in no room: the driver refuses.
                      ZeroCase{"ExchangeNoOutput", kExchange, 4, 0, 1}),
    [](const ::testing::TestParamInfo<ZeroCase>& info) { return info.param.what; });

TEST_F(Bridge, ExchangeCountIsTruncatedTo16Bits) {
  OpenLink(1);
  for (DWORD count : {0x0001FFFFu, 0x00010000u, 0x12345678u}) {
    FakeReportByteCount(count);
    EXPECT_EQ(Transfer(kExchange, {':', 4, 1, 3}, 270), 0);
    EXPECT_EQ(Regs()->CX, (uint16_t)count) << std::hex << count;
  }
}

// An address the machine cannot translate: no device control call.
struct TranslationCase {
  const char* what;
  uint16_t function;
  uint16_t es, si, bx, di, cx;
  unsigned failTranslation;  // nth translation made to fail, 0 none
};

class BridgeUntranslatable : public Bridge,
                             public ::testing::WithParamInterface<TranslationCase> {};

TEST_P(BridgeUntranslatable, AnswersOneWithoutCallingTheDriver) {
  OpenLink(1);
  const TranslationCase& c = GetParam();
  if (c.failTranslation) FakeFailCall("MGetVdmPointer", c.failTranslation, 0);
  Regs()->ES = c.es;
  Regs()->SI = c.si;
  Regs()->BX = c.bx;
  Regs()->DI = c.di;
  Regs()->CX = c.cx;
  EXPECT_EQ(Dispatch(c.function, c.cx), 1);
  EXPECT_EQ(Calls("DeviceIoControl"), 0u);
  EXPECT_EQ(SimFrameCount(), 0u);
  EXPECT_EQ(Regs()->CX, c.function == kExchange ? 0 : c.cx);
  // The link stays usable.
  EXPECT_EQ(Transfer(kExchange, {':', 4, 1, 3}, 270), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BridgeUntranslatable,
    ::testing::Values(
        TranslationCase{"ExchangeUnknownSelector", kExchange, 0x0057, 0, 4, 0x100, 270, 0},
        TranslationCase{"InitializeUnknownSelector", kInitialize, 0x0057, 0, 4, 0x100, 16, 0},
        TranslationCase{"InputFailsToTranslate", kExchange, kSelector, 0, 4, 0x100, 270, 1},
        TranslationCase{"OutputFailsToTranslate", kExchange, kSelector, 0, 4, 0x100, 270, 2},
        TranslationCase{"InitializeOutputFails", kInitialize, kSelector, 0, 4, 0x100, 16, 2}),
    [](const ::testing::TestParamInfo<TranslationCase>& info) { return info.param.what; });

TEST_F(Bridge, BuffersBeyondASegmentLimitAreNotTranslated) {
  OpenLink(1);
  const uint16_t small = 0x004F;
  ASSERT_NE(FakeVdmDefineSegment(small, 0x200, 0), nullptr);
  Regs()->ES = small;
  Regs()->SI = 0x01FC;
  Regs()->BX = 5;  // one byte past the limit
  Regs()->DI = 0;
  EXPECT_EQ(Dispatch(kExchange, 0x100), 1);
  EXPECT_EQ(Calls("DeviceIoControl"), 0u);
  Regs()->BX = 4;  // ends right at the limit
  EXPECT_EQ(Dispatch(kExchange, 0x100), 0);
  EXPECT_EQ(Calls("DeviceIoControl"), 1u);
}

}  // namespace
