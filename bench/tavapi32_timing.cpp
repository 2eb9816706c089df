// Timing under Wine: TavReadChannel of tavapi32.dll against a raw
// DeviceIoControl that carries the same frame to the same link of the
// simulated driver, interleaved in one run (the order alternates from
// round to round). Prints the median of each and their ratio.
//   tavapi32_timing [ROUNDS]
// Not a test: scripts/bench.sh runs it and the README keeps the figures.
// The raw calls go through a handle of their own on \\.\TAV1, the link
// that the library has open (the library does not hand out its handle).
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "tavapi32.h"

static const DWORD EXCHANGE = 0x222004;  // IOCTL_TAV_EXCHANGE

static int CompareTimes(const void* a, const void* b) {
  LONGLONG x = *(const LONGLONG*)a, y = *(const LONGLONG*)b;
  return x < y ? -1 : x > y ? 1 : 0;
}

static double MedianMicroseconds(LONGLONG* ticks, int count, LONGLONG frequency) {
  qsort(ticks, count, sizeof ticks[0], CompareTimes);
  LONGLONG middle = count % 2 ? ticks[count / 2] : (ticks[count / 2 - 1] + ticks[count / 2]) / 2;
  return 1e6 * (double)middle / (double)frequency;
}

int main(int argc, char** argv) {
  int rounds = argc > 1 ? atoi(argv[1]) : 3000;
  if (rounds < 1) rounds = 1;
  if (TavCommInit(1, 0) != 0) {
    printf("tavapi32_timing: TavCommInit(1, 0) failed\n");
    return 1;
  }
  TavMsgBox(0);
  // Channel 3 gets a formula and the scan runs, so each reading succeeds
  // and copies its 4 bytes, as in real use.
  if (TavDefineChannel(3, "P1+P2") != 0 || TavStartScan() != 0) {
    printf("tavapi32_timing: setting up channel 3 failed\n");
    return 1;
  }
  HANDLE raw = CreateFileA("\\\\.\\TAV1", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
  if (raw == INVALID_HANDLE_VALUE) {
    printf("tavapi32_timing: opening \\\\.\\TAV1 failed (%lu)\n", GetLastError());
    return 1;
  }
  LONGLONG* library = (LONGLONG*)malloc(sizeof(LONGLONG) * rounds);
  LONGLONG* direct = (LONGLONG*)malloc(sizeof(LONGLONG) * rounds);
  if (library == NULL || direct == NULL) return 1;

  unsigned char frame[4] = {':', 4, 1, 3};  // what TavReadChannel(3, ...) sends
  unsigned char reply[270];
  unsigned char value[4];
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  const int warmup = rounds / 10 + 10;
  for (int round = -warmup; round < rounds; round++) {
    for (int turn = 0; turn < 2; turn++) {
      bool libraryTurn = (turn == 0) == (round % 2 == 0);
      DWORD returned = 0;
      int status;
      QueryPerformanceCounter(&start);
      if (libraryTurn)
        status = TavReadChannel(3, value);
      else
        status = DeviceIoControl(raw, EXCHANGE, frame, sizeof frame, reply, sizeof reply,
                                 &returned, NULL)
                     ? reply[1]
                     : -1;
      QueryPerformanceCounter(&end);
      if (status != 0) {
        printf("tavapi32_timing: %s returned %d\n", libraryTurn ? "TavReadChannel" : "DeviceIoControl",
               status);
        return 1;
      }
      if (round < 0) continue;
      (libraryTurn ? library : direct)[round] = end.QuadPart - start.QuadPart;
    }
  }
  CloseHandle(raw);
  TavStopScan();
  TavClose();

  double libraryMedian = MedianMicroseconds(library, rounds, frequency.QuadPart);
  double directMedian = MedianMicroseconds(direct, rounds, frequency.QuadPart);
  printf("rounds: %d (each: one TavReadChannel, one raw DeviceIoControl)\n", rounds);
  printf("TavReadChannel median: %.2f us\n", libraryMedian);
  printf("raw DeviceIoControl median: %.2f us\n", directMedian);
  printf("ratio of medians: %.3f\n", libraryMedian / directMedian);
  free(library);
  free(direct);
  return 0;
}
