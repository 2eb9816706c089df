// Fuzz target for tavapi32: a sequence of calls to any of the 41 exports
// (and the library's unload and reload) with fuzzed arguments, against a
// device whose replies, byte counts and failures are fuzzed too.
//
// Checked at every call:
//   - nothing outside the library's buffers or the caller's is touched:
//     the caller's storage is heap memory of exactly the size the call may
//     use, so AddressSanitizer sees any byte beyond it;
//   - a command makes exactly one device call, a refused one none, and the
//     frame is the one that the arguments describe;
//   - statuses stay in -1..255, link results in 0..1;
//   - a refused call shows nothing and leaves the caller's storage alone;
//   - the status is the reply's status byte, or -1 when the device call
//     failed, and messages appear as often as that status asks;
//   - reply bytes reach the caller only as the export says.
#include <fuzzer/FuzzedDataProvider.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fake.h"
#include "fuzz/require.h"
#include "simulator.h"
#include "tavapi32.h"
#include "tests/host/tavapi32_load_state.h"  // the library's module state, reset between inputs

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID);


static const unsigned char UNTOUCHED = 0xA5;  // fills caller storage before a call
static const size_t REPLY_PAYLOAD_SIZE = REPLY_BUFFER_SIZE - PAYLOAD_OFFSET;  // 267

// --- Fuzzed values ---------------------------------------------------------

// An argument: often a value at or beside a limit, sometimes any 32 bits.
static int FuzzInt(FuzzedDataProvider& in) {
  static const int edges[] = {0,     1,      2,     3,     -1,      -2,      7,      10,
                              23,    127,    128,   132,   133,     134,     252,    253,
                              254,   255,    256,   257,   258,     0x105,   0x1234, -32768,
                              32767, 65535,  65536, 300,   INT_MIN, INT_MAX, 266,    267};
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      return in.PickValueInArray(edges);
    case 1:
      return in.ConsumeIntegralInRange<int>(-2, 300);
    case 2:
      return in.ConsumeIntegral<uint8_t>();
    default:
      return in.ConsumeIntegral<int>();
  }
}

// Whether the caller passes NULL for an address (one time in eight).
static bool FuzzNull(FuzzedDataProvider& in) { return in.ConsumeIntegralInRange<int>(0, 7) == 0; }

// Caller storage of exactly `size` bytes, filled with UNTOUCHED; NULL when asked.
static unsigned char* Storage(size_t size, bool null) {
  if (null) return NULL;
  unsigned char* block = (unsigned char*)malloc(size);
  REQUIRE(block != NULL || size == 0);
  if (size != 0) memset(block, UNTOUCHED, size);
  return block;
}

static bool Untouched(const unsigned char* block, size_t size) {
  for (size_t i = 0; i < size; i++)
    if (block[i] != UNTOUCHED) return false;
  return true;
}

// Scripts what the device does at the next exchange: the instrument's own
// answer, a reply with fuzzed status, payload and byte count, or a failed
// call; and, now and then, a failure of one of the next platform calls.
static void FuzzDevice(FuzzedDataProvider& in) {
  int mode = in.ConsumeIntegralInRange<int>(0, 3);
  if (mode == 1 || mode == 2) {
    SimScript script;
    memset(&script, 0, sizeof script);
    script.Action = SIM_SCRIPT_REPLY;
    script.Status = in.ConsumeIntegral<uint8_t>();
    script.PayloadLength = in.ConsumeIntegralInRange<uint32_t>(0, SIM_REPLY_PAYLOAD_MAX);
    script.ByteCount = in.ConsumeBool() ? -1 : in.ConsumeIntegralInRange<int32_t>(0, 280);
    size_t given = in.ConsumeIntegralInRange<size_t>(0, script.PayloadLength);
    in.ConsumeData(script.Payload, given);
    REQUIRE(SimQueueScript(&script) == 1);
  } else if (mode == 3) {
    SimScript script;
    memset(&script, 0, sizeof script);
    script.Action = SIM_SCRIPT_FAIL;
    REQUIRE(SimQueueScript(&script) == 1);
  }
  unsigned failAhead = in.ConsumeIntegralInRange<unsigned>(0, 12);
  if (failAhead >= 1 && failAhead <= 4)
    FakeFailNthPlatformCall(FakePlatformCallCount() + failAhead, ERROR_GEN_FAILURE);
}

// --- Checks ------------------------------------------------------------------

// Platform calls of one name logged since `start`.
static unsigned CallsSince(unsigned start, const char* name) {
  unsigned count = 0;
  for (unsigned i = start; i < FakeCallCount(); i++)
    if (strcmp(FakeCallAt(i)->Name, name) == 0) count++;
  return count;
}

static const FakeCall* FirstCallSince(unsigned start, const char* name) {
  for (unsigned i = start; i < FakeCallCount(); i++)
    if (strcmp(FakeCallAt(i)->Name, name) == 0) return FakeCallAt(i);
  return NULL;
}

// What a command should have sent: its code, its payload length, and the
// payload bytes that the caller's arguments fix (NULL: not checked).
struct Expected {
  bool Refused;
  int Code;
  int Length;
  const unsigned char* Payload;
  int PayloadLength;
};

// The request buffer as it was before the call under test.
static BYTE RequestBefore[REQUEST_BUFFER_SIZE];

// Checks one command call that started with the log at `start`; returns
// whether its device call succeeded.
static bool CheckCommand(unsigned start, int messagesOn, const Expected& expected, int status) {
  REQUIRE(status >= -1 && status <= 255);
  REQUIRE(ReplyBuffer[REPLY_BUFFER_SIZE] == 0);  // the text guard byte
  unsigned deviceCalls = CallsSince(start, "DeviceIoControl");
  unsigned boxes = CallsSince(start, "MessageBoxA");
  if (expected.Refused) {
    REQUIRE(status == -1);
    REQUIRE(deviceCalls == 0);
    REQUIRE(boxes == 0);
    // Nothing of it stays behind for the next frame either.
    REQUIRE(memcmp(RequestBuffer, RequestBefore, sizeof RequestBefore) == 0);
    return false;
  }
  REQUIRE(deviceCalls == 1);
  const FakeCall* call = FirstCallSince(start, "DeviceIoControl");
  REQUIRE(call->Args[1] == IOCTL_TAV_EXCHANGE);
  REQUIRE(call->Args[2] == (uint64_t)expected.Length + 3);
  REQUIRE(call->Args[3] == REPLY_BUFFER_SIZE);
  REQUIRE(call->Args[5] == (uintptr_t)ReplyBuffer);
  REQUIRE(call->Data[0] == ':' && call->Data[1] == expected.Code &&
          call->Data[2] == (uint8_t)expected.Length);
  if (expected.Payload != NULL && expected.PayloadLength > 0)
    REQUIRE(memcmp(call->Data + 3, expected.Payload, expected.PayloadLength) == 0);
  if (call->Failed) {
    REQUIRE(status == -1);
    REQUIRE(boxes == (messagesOn ? 2u : 0u));
    for (unsigned i = start; i < FakeCallCount(); i++)
      if (strcmp(FakeCallAt(i)->Name, "MessageBoxA") == 0)
        REQUIRE(strcmp(FakeCallAt(i)->Text, "TAV-8 not communicating") == 0);
    return false;
  }
  REQUIRE(status == ReplyBuffer[1]);
  REQUIRE(boxes == (messagesOn && status != 0 ? 1u : 0u));
  return true;
}

// A caller reads a handed-out reply address as far as it may.
static volatile unsigned ReadSink;
static void ReadReplyAddress(const unsigned char* address) {
  REQUIRE(address == ReplyBuffer + PAYLOAD_OFFSET);
  for (size_t i = 0; i < REPLY_PAYLOAD_SIZE; i++) ReadSink = ReadSink + address[i];
}

// --- The calls -----------------------------------------------------------------

typedef int(TAVAPI* ReadFourFunction)(int, void*);
typedef int(TAVAPI* SetFourFunction)(int, const void*);
typedef int(TAVAPI* SetWordFunction)(int);
typedef int(TAVAPI* GetByteFunction)(unsigned short*);

static const struct {
  ReadFourFunction Function;
  int Code;
} ReadFours[] = {{TavReadChannel, CMD_READ_CHANNEL}, {TavReadLvdt, CMD_READ_LVDT},
                 {TavReadAnalog, CMD_READ_ANALOG},   {TavReadTfsv, CMD_READ_TFSV},
                 {TavReadAfsv, CMD_READ_AFSV},       {TavReadTzero, CMD_READ_TZERO},
                 {TavReadAzero, CMD_READ_AZERO},     {TavReadCzero, CMD_READ_CZERO},
                 {TavReadCscale, CMD_READ_CSCALE}};

static const struct {
  SetFourFunction Function;
  int Code;
} SetFours[] = {{TavSetTfsv, CMD_SET_TFSV},   {TavSetAfsv, CMD_SET_AFSV},
                {TavSetTzero, CMD_SET_TZERO}, {TavSetAzero, CMD_SET_AZERO},
                {TavSetCzero, CMD_SET_CZERO}, {TavSetCscale, CMD_SET_CSCALE}};

// The 16-bit and byte settings; Bytes is how many payload bytes carry the value.
static const struct {
  SetWordFunction Function;
  int Code;
  int Bytes;
} Settings[] = {{TavSetScanTime, CMD_SET_SCAN_TIME, 2}, {TavSet_muxTime, CMD_SET_MUX_TIME, 2},
                {TavSetAdcAvg, CMD_SET_ADC_AVG, 2},     {TavSetRunAvg, CMD_SET_RUN_AVG, 2},
                {TavSetFpIn, CMD_SET_FP_IN, 1},         {TavSetFpOut, CMD_SET_FP_OUT, 1},
                {TavSetFpPrec, CMD_SET_FP_PREC, 1}};

static const struct {
  GetByteFunction Function;
  int Code;
  int Length;
} GetBytes[] = {{TavGetFpIn, CMD_GET_FP_IN, 1},
                {TavGetFpOut, CMD_GET_FP_OUT, 1},
                {TavGetFpPrec, CMD_GET_FP_PREC, 2}};

// Commands without arguments: one payload byte that goes out as it stands.
static const struct {
  int(TAVAPI* Function)(void);
  int Code;
} Bare[] = {{TavClearAllChannels, CMD_CLEAR_ALL_CHANNELS},
            {TavStartScan, CMD_START_SCAN},
            {TavStopScan, CMD_STOP_SCAN},
            {TavResetMM, CMD_RESET_MM}};

enum Operation {
  OP_OPEN,
  OP_COMM_INIT,
  OP_CLOSE,
  OP_MSG_BOX,
  OP_DEFINE_CHANNEL,
  OP_READ_FORMULA,
  OP_CLEAR_CHANNEL,
  OP_BARE,
  OP_READ_FOUR,
  OP_READ_DIRECT,
  OP_READ_DIRECT_COPY,
  OP_MEMORY,
  OP_DLL,
  OP_FIRMWARE,
  OP_SET_FOUR,
  OP_SETTING,
  OP_GET_BYTE,
  OP_UNLOAD_RELOAD,
  OP_SET_LINKS,
  OP_COUNT
};

static void LinkCall(FuzzedDataProvider& in, Operation op, unsigned start) {
  int link = FuzzInt(in);
  int messagesBefore = ShowMessages;
  bool hadLink = hLink != INVALID_HANDLE_VALUE;
  int result;
  if (op == OP_OPEN)
    result = TavOpen(link);
  else if (op == OP_COMM_INIT)
    result = TavCommInit(link, FuzzInt(in));
  else
    result = TavClose();
  REQUIRE(result == 0 || result == 1);
  REQUIRE(CallsSince(start, "MessageBoxA") == 0);  // these report by their result alone
  // Only an initialization after a successful open reaches the device.
  const FakeCall* open = FirstCallSince(start, "CreateFileA");
  bool opened = open != NULL && !open->Failed;
  REQUIRE(CallsSince(start, "DeviceIoControl") == (unsigned)(op == OP_COMM_INIT && opened));
  if (op == OP_CLOSE) {
    const FakeCall* close = FirstCallSince(start, "CloseHandle");
    REQUIRE((close != NULL) == hadLink);
    REQUIRE(result == (close != NULL && close->Failed ? 1 : 0));
    REQUIRE(ShowMessages == messagesBefore);
    return;
  }
  if (op == OP_COMM_INIT) REQUIRE(ShowMessages == 1);
  if (op == OP_OPEN) REQUIRE(ShowMessages == messagesBefore);
  if (link < 1 || link > 2) {
    REQUIRE(open == NULL && result == 1);
    return;
  }
  REQUIRE(open != NULL && CallsSince(start, "CreateFileA") == 1);
  REQUIRE((hLink != INVALID_HANDLE_VALUE) == !open->Failed);
  if (open->Failed) {
    REQUIRE(result == 1);
  } else if (op == OP_OPEN) {
    REQUIRE(result == 0);
  } else {
    const FakeCall* init = FirstCallSince(start, "DeviceIoControl");
    REQUIRE(init->Args[1] == IOCTL_TAV_INITIALIZE && init->Args[2] == REQUEST_BUFFER_SIZE &&
            init->Args[3] == 0);
    REQUIRE(result == (init->Failed ? 1 : 0));
    if (!init->Failed) REQUIRE(strcmp(FirmwareText, "----") == 0);
  }
}

static void Call(FuzzedDataProvider& in, Operation op) {
  unsigned start = FakeCallCount();
  memcpy(RequestBefore, RequestBuffer, sizeof RequestBefore);
  int messagesOn = ShowMessages;
  Expected expected = {false, 0, 1, NULL, 0};
  unsigned char channel;
  int status;

  switch (op) {
    case OP_OPEN:
    case OP_COMM_INIT:
    case OP_CLOSE:
      LinkCall(in, op, start);
      return;

    case OP_MSG_BOX: {
      int on = FuzzInt(in);
      TavMsgBox(on);
      REQUIRE(ShowMessages == (on != 0 ? 1 : 0));
      REQUIRE(FakeCallCount() == start);
      return;
    }

    case OP_DEFINE_CHANNEL: {
      int argument = FuzzInt(in);
      channel = (unsigned char)argument;
      bool null = FuzzNull(in);
      size_t length = in.ConsumeIntegralInRange<size_t>(0, TAV_MAX_FORMULA + 12);
      char* formula = (char*)Storage(length + 1, null);
      if (formula != NULL) {
        for (size_t i = 0; i < length; i++) formula[i] = (char)(in.ConsumeIntegralInRange<int>(1, 255));
        formula[length] = 0;
      }
      unsigned char frame[2 + TAV_MAX_FORMULA];
      expected.Refused = formula == NULL || length > TAV_MAX_FORMULA;
      expected.Code = length == 0 ? CMD_CLEAR_CHANNEL : CMD_DEFINE_CHANNEL;
      expected.Length = length == 0 ? 1 : (int)length + 2;
      if (!expected.Refused) {
        frame[0] = channel;
        if (length != 0) memcpy(frame + 1, formula, length + 1);
        expected.Payload = frame;
        expected.PayloadLength = expected.Length;
      }
      status = TavDefineChannel(argument, formula);
      CheckCommand(start, messagesOn, expected, status);
      free(formula);
      return;
    }

    case OP_READ_FORMULA: {
      int argument = FuzzInt(in);
      channel = (unsigned char)argument;
      char** variable = (char**)Storage(sizeof(char*), FuzzNull(in));
      expected = {variable == NULL, CMD_READ_FORMULA, 1, &channel, 1};
      status = TavReadFormula(argument, variable);
      bool replied = CheckCommand(start, messagesOn, expected, status);
      if (variable != NULL) {
        if (replied && status == 0) {
          REQUIRE((unsigned char*)*variable == ReplyBuffer + PAYLOAD_OFFSET);
          REQUIRE(strlen(*variable) < REPLY_PAYLOAD_SIZE + 1);
        } else {
          REQUIRE(Untouched((unsigned char*)variable, sizeof(char*)));
        }
      }
      free(variable);
      return;
    }

    case OP_CLEAR_CHANNEL: {
      int argument = FuzzInt(in);
      channel = (unsigned char)argument;
      expected = {false, CMD_CLEAR_CHANNEL, 1, &channel, 1};
      CheckCommand(start, messagesOn, expected, TavClearChannel(argument));
      return;
    }

    case OP_BARE: {
      size_t which = in.ConsumeIntegralInRange<size_t>(0, sizeof Bare / sizeof Bare[0] - 1);
      unsigned char before = RequestBuffer[PAYLOAD_OFFSET];
      expected = {false, Bare[which].Code, 1, &before, 1};
      CheckCommand(start, messagesOn, expected, Bare[which].Function());
      return;
    }

    case OP_READ_FOUR: {
      size_t which = in.ConsumeIntegralInRange<size_t>(0, sizeof ReadFours / sizeof ReadFours[0] - 1);
      int argument = FuzzInt(in);
      channel = (unsigned char)argument;
      unsigned char* value = Storage(4, FuzzNull(in));
      expected = {value == NULL, ReadFours[which].Code, 1, &channel, 1};
      status = ReadFours[which].Function(argument, value);
      bool replied = CheckCommand(start, messagesOn, expected, status);
      if (value != NULL) {
        if (replied && status == 0)
          REQUIRE(memcmp(value, ReplyBuffer + PAYLOAD_OFFSET, 4) == 0);
        else
          REQUIRE(Untouched(value, 4));
      }
      free(value);
      return;
    }

    case OP_READ_DIRECT:
    case OP_READ_DIRECT_COPY: {
      bool copy = op == OP_READ_DIRECT_COPY;
      int limit = copy ? TAV_MAX_DIRECT_COPY : TAV_MAX_DIRECT;
      int count = FuzzInt(in);
      // The caller's source holds `count` bytes (a few hundred at most when
      // the count is beyond the limit: the library must not read them).
      size_t sourceSize = count <= 0 ? 0 : (size_t)(count < 400 ? count : 400);
      unsigned char* source = Storage(sourceSize, FuzzNull(in));
      if (source != NULL) {
        std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(sourceSize);
        if (!bytes.empty()) memcpy(source, bytes.data(), bytes.size());
      }
      size_t destinationSize = copy ? 2 * sourceSize : sizeof(unsigned char*);
      unsigned char* destination = Storage(destinationSize, FuzzNull(in));
      expected.Refused = count < 0 || count > limit || (count > 0 && source == NULL) ||
                         (copy ? count > 0 && destination == NULL : destination == NULL);
      expected.Code = CMD_READ_DIRECT;
      expected.Length = count;
      expected.Payload = source;
      expected.PayloadLength = count;
      if (copy)
        status = TavReadDirectCopy(count, source, destination);
      else
        status = TavReadDirect(count, source, (unsigned char**)destination);
      CheckCommand(start, messagesOn, expected, status);
      if (destination != NULL) {
        if (expected.Refused)
          REQUIRE(Untouched(destination, destinationSize));
        else if (copy)
          REQUIRE(memcmp(destination, ReplyBuffer + PAYLOAD_OFFSET, 2 * (size_t)count) == 0);
        else
          ReadReplyAddress(*(unsigned char**)destination);
      }
      free(source);
      free(destination);
      return;
    }

    case OP_MEMORY: {
      int first = FuzzInt(in);
      int second = FuzzInt(in);
      unsigned char** variable = (unsigned char**)Storage(sizeof(unsigned char*), FuzzNull(in));
      unsigned char payload[5] = {0, (unsigned char)second, (unsigned char)(second >> 8),
                                  (unsigned char)first, (unsigned char)(first >> 8)};
      expected = {variable == NULL, CMD_MEMORY, 5, payload, 5};
      status = TavMemory(first, second, variable);
      CheckCommand(start, messagesOn, expected, status);
      if (variable != NULL) ReadReplyAddress(*variable);
      free(variable);
      return;
    }

    case OP_DLL:
    case OP_FIRMWARE: {
      char** variable = (char**)Storage(sizeof(char*), FuzzNull(in));
      status = op == OP_DLL ? TavDLL(variable) : TavFirmware(variable);
      REQUIRE(status == 0);
      REQUIRE(FakeCallCount() == start);
      if (variable != NULL) {
        if (op == OP_DLL)
          REQUIRE(strcmp(*variable, "1.01") == 0);
        else
          REQUIRE(*variable == FirmwareText && strlen(*variable) < FIRMWARE_TEXT_SIZE);
      }
      free(variable);
      return;
    }

    case OP_SET_FOUR: {
      size_t which = in.ConsumeIntegralInRange<size_t>(0, sizeof SetFours / sizeof SetFours[0] - 1);
      int argument = FuzzInt(in);
      unsigned char* value = Storage(4, FuzzNull(in));
      unsigned char payload[5] = {(unsigned char)argument};
      if (value != NULL) {
        for (int i = 0; i < 4; i++) value[i] = in.ConsumeIntegral<uint8_t>();
        memcpy(payload + 1, value, 4);
      }
      expected = {value == NULL, SetFours[which].Code, 5, payload, 5};
      CheckCommand(start, messagesOn, expected, SetFours[which].Function(argument, value));
      free(value);
      return;
    }

    case OP_SETTING: {
      size_t which = in.ConsumeIntegralInRange<size_t>(0, sizeof Settings / sizeof Settings[0] - 1);
      int value = FuzzInt(in);
      unsigned char payload[2] = {(unsigned char)value, (unsigned char)(value >> 8)};
      int bytes = Settings[which].Bytes;
      expected = {false, Settings[which].Code, bytes, payload, bytes};
      CheckCommand(start, messagesOn, expected, Settings[which].Function(value));
      return;
    }

    case OP_GET_BYTE: {
      size_t which = in.ConsumeIntegralInRange<size_t>(0, sizeof GetBytes / sizeof GetBytes[0] - 1);
      unsigned short* value = (unsigned short*)Storage(sizeof(unsigned short), FuzzNull(in));
      expected = {value == NULL, GetBytes[which].Code, GetBytes[which].Length, NULL, 0};
      status = GetBytes[which].Function(value);
      CheckCommand(start, messagesOn, expected, status);
      if (value != NULL) REQUIRE(*value == ReplyBuffer[PAYLOAD_OFFSET]);
      free(value);
      return;
    }

    case OP_UNLOAD_RELOAD:
      // Threads come and go unnoticed; the unload closes the link.
      REQUIRE(DllMain(NULL, DLL_THREAD_ATTACH, NULL) == TRUE);
      REQUIRE(DllMain(NULL, DLL_THREAD_DETACH, NULL) == TRUE);
      REQUIRE(FakeCallCount() == start);
      REQUIRE(DllMain(NULL, DLL_PROCESS_DETACH, NULL) == TRUE);
      REQUIRE(CallsSince(start, "MessageBoxA") == 0 && CallsSince(start, "DeviceIoControl") == 0);
      REQUIRE(hLink == INVALID_HANDLE_VALUE || FirstCallSince(start, "CloseHandle")->Failed);
      REQUIRE(DllMain(NULL, DLL_PROCESS_ATTACH, NULL) == TRUE);
      REQUIRE(DllMain(NULL, DLL_PROCESS_ATTACH, NULL) == FALSE);  // attached once only
      return;

    case OP_SET_LINKS:
      FakeSetLinks(in.ConsumeIntegral<uint8_t>() & 0x0E);
      return;

    case OP_COUNT:
      return;
  }
}

// The library as loaded into a fresh process, on a fresh machine.
static void FreshProcess(void) {
  FakeFailNthPlatformCall(0, 0);
  FakeReset();
  RestoreLoadState();
  Attached = 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FreshProcess();
  FuzzedDataProvider in(data, size);
  // A call logs at most three platform calls; stop before the log is full.
  while (in.remaining_bytes() > 0 && FakeCallCount() + 3 < FAKE_LOG_SIZE) {
    Operation op = (Operation)in.ConsumeIntegralInRange<int>(0, OP_COUNT - 1);
    FuzzDevice(in);
    Call(in, op);
    FakeFailNthPlatformCall(0, 0);
    SimClearScripts();
  }
  return 0;
}
