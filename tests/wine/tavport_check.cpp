// The simulated tavport.sys itself under Wine: the links that UseLpt
// leaves, TavCommInit on them, the driver's answers to bad requests, and
// the links gone after the service stops.
//   tavport_check links <mask>   the driver runs with links `mask` (bit n: \\.\TAVn)
//   tavport_check requests       malformed frames, unknown codes, small buffers
//   tavport_check stopped        no link and no control device opens
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "check.h"
#include "simctl.h"
#include "tavapi32.h"

static bool Opens(const char* name) {
  HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

static void Links(uint32_t mask) {
  CHECK_INT(SimLinks(), mask);
  char name[] = "\\\\.\\TAV0";
  for (int link = 1; link <= 3; link++) {
    name[7] = (char)('0' + link);
    CheckInt(Opens(name), (mask >> link) & 1, name, __LINE__);
  }
  // TavCommInit on links 1 and 2: the initialization request reaches the link opened.
  for (int link = 1; link <= 2; link++) {
    bool present = (mask >> link) & 1;
    uint32_t before = SimFrames();
    CheckInt(TavCommInit(link, 0), present ? 0 : 1, "TavCommInit", __LINE__);
    if (present) {
      SimFrame frame;
      CHECK_INT(SimFrames(), before + 1);
      CHECK(SimFrameAt(before, &frame));
      CHECK_INT(frame.Link, link);
      CHECK_INT(frame.Code, IOCTL_TAV_INITIALIZE);
      TavMsgBox(0);
      CHECK_INT(TavStartScan(), 0);
      CHECK(SimFrameAt(before + 1, &frame));
      CHECK_INT(frame.Link, link);
    } else {
      CHECK_INT(SimFrames(), before);
      TavMsgBox(0);
      unsigned char value[4];
      CHECK_INT(TavReadChannel(1, value), -1);
    }
    TavClose();
  }
}

// One raw request on \\.\TAV1; returns the call's result and fills the rest.
static BOOL Raw(HANDLE link, DWORD code, const void* in, DWORD inLength, unsigned char* out,
                DWORD outLength, DWORD* written, DWORD* error) {
  *written = 0xFFFF;
  SetLastError(0);
  BOOL ok = DeviceIoControl(link, code, (void*)in, inLength, out, outLength, written, NULL);
  *error = ok ? 0 : GetLastError();
  return ok;
}

static void Requests(void) {
  CHECK(SimReset());
  HANDLE link = CreateFileA("\\\\.\\TAV1", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0,
                            NULL);
  CHECK(link != INVALID_HANDLE_VALUE);
  unsigned char out[300];
  DWORD written, error;

  // Malformed frames get the model's frame status 1, never a crash.
  static const struct {
    const char* what;
    unsigned char bytes[8];
    DWORD length;
  } frames[] = {
      {"no start mark", {0x3B, 0x07, 0x01, 0x00}, 4},
      {"length byte beyond the bytes sent", {0x3A, 0x03, 0x05, 0x01, 'P', '1'}, 6},
      {"two bytes only", {0x3A, 0x07}, 2},
      {"nothing sent", {0}, 0},
  };
  for (unsigned i = 0; i < sizeof frames / sizeof frames[0]; i++) {
    memset(out, 0xEE, sizeof out);
    Check(Raw(link, IOCTL_TAV_EXCHANGE, frames[i].length ? frames[i].bytes : NULL,
              frames[i].length, out, 270, &written, &error) != 0,
          frames[i].what, __LINE__);
    static const unsigned char reply[] = {0x3A, SIM_STATUS_BAD_FRAME, 0x00};
    CheckBytes(out, written, reply, sizeof reply, frames[i].what, __LINE__);
  }

  // A well-formed request: the reply frame and its byte count.
  static const unsigned char define[] = {0x3A, 0x03, 0x04, 0x02, 'P', '1', 0x00};
  CHECK(Raw(link, IOCTL_TAV_EXCHANGE, define, sizeof define, out, 270, &written, &error));
  static const unsigned char ok[] = {0x3A, 0x00, 0x00};
  CHECK_BYTES(out, written, ok, sizeof ok);
  static const unsigned char read[] = {0x3A, 0x0D, 0x01, 0x02};
  CHECK(Raw(link, IOCTL_TAV_EXCHANGE, read, sizeof read, out, 270, &written, &error));
  static const unsigned char formula[] = {0x3A, 0x00, 0x03, 'P', '1', 0x00};
  CHECK_BYTES(out, written, formula, sizeof formula);

  // A reply that does not fit the output: ERROR_INSUFFICIENT_BUFFER, nothing written.
  memset(out, 0xEE, sizeof out);
  CHECK(!Raw(link, IOCTL_TAV_EXCHANGE, read, sizeof read, out, 5, &written, &error));
  CHECK_INT(error, ERROR_INSUFFICIENT_BUFFER);
  CHECK_INT(out[0], 0xEE);
  CHECK(!Raw(link, IOCTL_TAV_EXCHANGE, read, sizeof read, NULL, 0, &written, &error));
  CHECK_INT(error, ERROR_INSUFFICIENT_BUFFER);

  // A code that is not the driver's.
  CHECK(!Raw(link, 0x22200C, read, sizeof read, out, 270, &written, &error));
  CHECK_INT(error, ERROR_INVALID_FUNCTION);
  CHECK(!Raw(link, IOCTL_TAVSIM_POWER_ON, NULL, 0, NULL, 0, &written, &error));
  CHECK_INT(error, ERROR_INVALID_FUNCTION);

  // The initialization request, of any length, with no output.
  CHECK(Raw(link, IOCTL_TAV_INITIALIZE, NULL, 0, NULL, 0, &written, &error));
  CHECK_INT(written, 0);

  // Large requests: the log keeps the first 300 bytes and the full length.
  static unsigned char big[4096];
  big[0] = 0x3A;
  big[1] = 0x02;
  big[2] = 0x10;
  for (unsigned i = 3; i < sizeof big; i++) big[i] = (unsigned char)i;
  uint32_t before = SimFrames();
  CHECK(Raw(link, IOCTL_TAV_EXCHANGE, big, sizeof big, out, sizeof out, &written, &error));
  CHECK_INT(written, 3 + 32);
  SimFrame frame;
  CHECK(SimFrameAt(before, &frame));
  CHECK_INT(frame.InLength, sizeof big);
  CHECK_INT(frame.OutLength, sizeof out);
  CHECK_BYTES(frame.In, SIM_FRAME_BYTES, big, SIM_FRAME_BYTES);

  // Scripts: a short byte count, a failed call, and a bad script refused.
  SimReply(0x42, "xyz", 3, 2);
  memset(out, 0xEE, sizeof out);
  CHECK(Raw(link, IOCTL_TAV_EXCHANGE, read, sizeof read, out, 270, &written, &error));
  static const unsigned char shortReply[] = {0x3A, 0x42};
  CHECK_BYTES(out, written, shortReply, sizeof shortReply);
  SimFailNext();
  CHECK(!Raw(link, IOCTL_TAV_EXCHANGE, read, sizeof read, out, 270, &written, &error));
  CHECK_INT(error, ERROR_GEN_FAILURE);
  SimScript bad;
  memset(&bad, 0, sizeof bad);
  bad.Action = 7;
  CHECK(!SimCall(IOCTL_TAVSIM_QUEUE_SCRIPT, &bad, sizeof bad, NULL, 0));
  CHECK(!SimCall(IOCTL_TAVSIM_QUEUE_SCRIPT, &bad, 8, NULL, 0));
  uint32_t index = 0xFFFFFFFFu;
  CHECK(!SimCall(IOCTL_TAVSIM_READ_FRAME, &index, sizeof index, &frame, sizeof frame));
  CHECK(!SimCall(IOCTL_TAVSIM_READ_FRAME, &index, sizeof index, &frame, 4));

  // Several threads at once: every request is answered and logged.
  CHECK(SimReset());
  struct Worker {
    static DWORD WINAPI Run(void*) {
      HANDLE own = CreateFileA("\\\\.\\TAV1", GENERIC_READ | GENERIC_WRITE, 0, NULL,
                               OPEN_EXISTING, 0, NULL);
      static const unsigned char fp[] = {0x3A, 0x54, 0x01, 0x00};
      unsigned char reply[270];
      DWORD count, failures = 0;
      for (int i = 0; i < 200; i++) {
        if (!DeviceIoControl(own, IOCTL_TAV_EXCHANGE, (void*)fp, sizeof fp, reply, sizeof reply,
                             &count, NULL) ||
            count != 4 || reply[0] != 0x3A || reply[1] != 0)
          failures++;
      }
      CloseHandle(own);
      return failures;
    }
  };
  HANDLE threads[4];
  for (int i = 0; i < 4; i++) threads[i] = CreateThread(NULL, 0, Worker::Run, NULL, 0, NULL);
  WaitForMultipleObjects(4, threads, TRUE, 60000);
  for (int i = 0; i < 4; i++) {
    DWORD failures = 1;
    GetExitCodeThread(threads[i], &failures);
    CHECK_INT(failures, 0);
    CloseHandle(threads[i]);
  }
  CHECK_INT(SimFrames(), 800);
  CloseHandle(link);
}

int main(int argc, char** argv) {
  if (argc >= 3 && strcmp(argv[1], "links") == 0) {
    Links((uint32_t)strtoul(argv[2], NULL, 0));
  } else if (argc >= 2 && strcmp(argv[1], "requests") == 0) {
    Requests();
  } else if (argc >= 2 && strcmp(argv[1], "stopped") == 0) {
    CHECK(!Opens("\\\\.\\TAV1"));
    CHECK(!Opens("\\\\.\\TAV2"));
    CHECK(!Opens("\\\\.\\TAV3"));
    CHECK(!Opens(TAVSIM_CONTROL_NAME));
  } else {
    printf("usage: tavport_check links <mask> | requests | stopped\n");
    return 2;
  }
  return FinishChecks();
}
