// Fault injection for tavapi32: one session (open and initialize, a few
// commands, close, unload) is run again and again, failing its first,
// second, ... platform call in turn. Each run must end as the library
// documents for that failure, and no device handle may outlive the unload.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "fake.h"
#include "simulator.h"
#include "tavapi32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID);

namespace {

const char NOT_COMMUNICATING[] = "TAV-8 not communicating";
const char BAD_CHANNEL[] = "Bad channel number";

// What one step of the session returned and which messages it showed.
struct StepOutcome {
  int Result;
  std::vector<std::string> Boxes;
};

struct SessionOutcome {
  StepOutcome Init, Read, Define, SetCzero, Clear, Close;
  unsigned char Value[4];
  unsigned DeviceHandlesAfterClose;
  unsigned DeviceHandlesAfterUnload;
  unsigned PlatformCalls;
};

void Reply(uint8_t status, const uint8_t* payload, uint32_t length) {
  SimClearScripts();
  SimScript script = {};
  script.Action = SIM_SCRIPT_REPLY;
  script.Status = status;
  script.PayloadLength = length;
  script.ByteCount = -1;
  if (length != 0) memcpy(script.Payload, payload, length);
  ASSERT_TRUE(SimQueueScript(&script));
}

template <typename Step>
StepOutcome Run(Step step) {
  unsigned before = FakeBoxCount();
  StepOutcome outcome;
  outcome.Result = step();
  for (unsigned i = before; i < FakeBoxCount(); i++) outcome.Boxes.push_back(FakeBoxAt(i)->Text);
  return outcome;
}

// The session, with platform call `failing` (from 1; 0 for none) failed.
SessionOutcome RunSession(unsigned failing) {
  FakeReset();
  DllMain(NULL, DLL_PROCESS_ATTACH, NULL);
  FakeFailNthPlatformCall(failing, ERROR_GEN_FAILURE);

  SessionOutcome s;
  memset(s.Value, 0xEE, sizeof s.Value);
  static const uint8_t reading[4] = {1, 2, 3, 4};
  static const uint8_t zero[4] = {9, 8, 7, 6};
  s.Init = Run([] { return TavCommInit(1, 0); });
  Reply(0, reading, 4);
  s.Read = Run([&] { return TavReadChannel(3, s.Value); });
  SimClearScripts();
  s.Define = Run([] { return TavDefineChannel(3, "P1+P2"); });
  s.SetCzero = Run([] { return TavSetCzero(3, zero); });
  Reply(10, NULL, 0);  // the instrument refuses the channel
  s.Clear = Run([] { return TavClearChannel(300); });
  s.Close = Run([] { return TavClose(); });
  s.DeviceHandlesAfterClose = FakeOpenHandleCount(FAKE_DEVICE);
  s.PlatformCalls = FakePlatformCallCount();
  // Unloading closes whatever the close left open.
  FakeFailNthPlatformCall(0, 0);
  DllMain(NULL, DLL_PROCESS_DETACH, NULL);
  s.DeviceHandlesAfterUnload = FakeOpenHandleCount(FAKE_DEVICE);
  return s;
}

typedef std::vector<std::string> Boxes;
const Boxes NONE;
const Boxes TWICE_NOT_COMMUNICATING = {NOT_COMMUNICATING, NOT_COMMUNICATING};

void ExpectStep(const StepOutcome& step, int result, const Boxes& boxes, const char* what) {
  EXPECT_EQ(step.Result, result) << what;
  EXPECT_EQ(step.Boxes, boxes) << what;
}

// A run without failures makes 8 platform calls: open, initialize, four
// exchanges, the message for status 10, close.
TEST(Tavapi32Faults, SessionWithoutFailuresMakesEightPlatformCalls) {
  SessionOutcome s = RunSession(0);
  EXPECT_EQ(s.PlatformCalls, 8u);
  ExpectStep(s.Init, 0, NONE, "init");
  ExpectStep(s.Read, 0, NONE, "read");
  EXPECT_EQ(memcmp(s.Value, "\x01\x02\x03\x04", 4), 0);
  ExpectStep(s.Define, 0, NONE, "define");
  ExpectStep(s.SetCzero, 0, NONE, "set czero");
  ExpectStep(s.Clear, 10, Boxes{BAD_CHANNEL}, "clear");
  ExpectStep(s.Close, 0, NONE, "close");
  EXPECT_EQ(s.DeviceHandlesAfterClose, 0u);
}

TEST(Tavapi32Faults, EachPlatformCallFailedInTurn) {
  const unsigned char untouched[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  for (unsigned failing = 1; failing <= 9; failing++) {
    SCOPED_TRACE("failing platform call " + std::to_string(failing));
    SessionOutcome s = RunSession(failing);
    // Defaults: the run as without failures.
    int init = 0, read = 0, define = 0, setCzero = 0, clear = 10, close = 0;
    Boxes readBoxes, defineBoxes, setBoxes, clearBoxes{BAD_CHANNEL};
    unsigned handlesAfterClose = 0;
    switch (failing) {
      case 1:  // the open: no link, so every exchange fails and says so twice
        init = 1;
        read = define = setCzero = clear = -1;
        readBoxes = defineBoxes = setBoxes = clearBoxes = TWICE_NOT_COMMUNICATING;
        break;
      case 2:  // the initialization request: reported by the result alone, link kept
        init = 1;
        break;
      case 3:
        read = -1;
        readBoxes = TWICE_NOT_COMMUNICATING;
        break;
      case 4:
        define = -1;
        defineBoxes = TWICE_NOT_COMMUNICATING;
        break;
      case 5:
        setCzero = -1;
        setBoxes = TWICE_NOT_COMMUNICATING;
        break;
      case 6:
        clear = -1;
        clearBoxes = TWICE_NOT_COMMUNICATING;
        break;
      case 7:  // the message box itself: shown once, not repeated, status unchanged
        break;
      case 8:  // the close: reported, handle kept until the unload
        close = 1;
        handlesAfterClose = 1;
        break;
      default:  // beyond the session: nothing fails
        break;
    }
    ExpectStep(s.Init, init, NONE, "init");
    ExpectStep(s.Read, read, readBoxes, "read");
    EXPECT_EQ(memcmp(s.Value, read == 0 ? (const unsigned char*)"\x01\x02\x03\x04" : untouched, 4), 0);
    ExpectStep(s.Define, define, defineBoxes, "define");
    ExpectStep(s.SetCzero, setCzero, setBoxes, "set czero");
    ExpectStep(s.Clear, clear, clearBoxes, "clear");
    ExpectStep(s.Close, close, NONE, "close");
    EXPECT_EQ(s.DeviceHandlesAfterClose, handlesAfterClose);
    EXPECT_EQ(s.DeviceHandlesAfterUnload, 0u);
  }
}

}  // namespace
