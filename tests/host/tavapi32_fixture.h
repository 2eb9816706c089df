// Fixture for the tavapi32 host suites: a fresh fake machine and the
// library's state as it is right after loading.
#ifndef TAV_TAVAPI32_FIXTURE_H
#define TAV_TAVAPI32_FIXTURE_H

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "fake.h"
#include "simulator.h"
#include "tavapi32.h"
#include "tavapi32_load_state.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID);

typedef std::vector<uint8_t> Bytes;

class TavApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeReset();
    RestoreLoadState();
    ASSERT_TRUE(DllMain(NULL, DLL_PROCESS_ATTACH, NULL));
  }

  void TearDown() override { DllMain(NULL, DLL_PROCESS_DETACH, NULL); }

  // Opens and initializes link 1, messages off, and forgets those calls.
  void OpenLink() {
    ASSERT_EQ(TavCommInit(1, 0), 0);
    TavMsgBox(0);
    ForgetCalls();
  }

  // Starts a new stretch of the call log (the fake keeps state, the log restarts).
  void ForgetCalls() { LogStart = FakeCallCount(); }

  unsigned CallsSince(const char* name) const {
    unsigned count = 0;
    for (unsigned i = LogStart; i < FakeCallCount(); i++)
      if (strcmp(FakeCallAt(i)->Name, name) == 0) count++;
    return count;
  }

  // Input bytes of the last device control call.
  static Bytes LastFrame() {
    const FakeCall* call = FakeLastCall("DeviceIoControl");
    if (call == NULL) return Bytes();
    uint32_t length = call->DataLength < (uint32_t)FAKE_DATA ? call->DataLength : (uint32_t)FAKE_DATA;
    return Bytes(call->Data, call->Data + length);
  }

  static void ScriptReply(int status, const Bytes& payload = Bytes(), int byteCount = -1) {
    SimScript script = {};
    script.Action = SIM_SCRIPT_REPLY;
    script.Status = (uint32_t)status;
    script.PayloadLength = (uint32_t)payload.size();
    script.ByteCount = byteCount;
    if (!payload.empty()) memcpy(script.Payload, payload.data(), payload.size());
    ASSERT_TRUE(SimQueueScript(&script));
  }

  static void ScriptFailure() {
    SimScript script = {};
    script.Action = SIM_SCRIPT_FAIL;
    ASSERT_TRUE(SimQueueScript(&script));
  }

  // Box texts shown since the last ForgetCalls.
  std::vector<std::string> BoxesSince() const {
    std::vector<std::string> texts;
    for (unsigned i = LogStart; i < FakeCallCount(); i++)
      if (strcmp(FakeCallAt(i)->Name, "MessageBoxA") == 0) texts.push_back(FakeCallAt(i)->Text);
    return texts;
  }

  // Fills the request payload region with 0xA0, 0xA1, ... so that bytes a
  // command leaves unwritten are visible in its frame.
  static void MarkRequestPayload() {
    for (int i = 0; i < REQUEST_BUFFER_SIZE - PAYLOAD_OFFSET; i++)
      RequestPayload[i] = (BYTE)(0xA0 + i);
  }

  unsigned LogStart = 0;
};

#endif
