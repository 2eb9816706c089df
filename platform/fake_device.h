// Further control of the fake devices, beyond fake.h.
#ifndef TAV_FAKE_DEVICE_H
#define TAV_FAKE_DEVICE_H

#include "winapi.h"

// The next successful DeviceIoControl reports `count` as its byte count,
// whatever it wrote: a driver that misreports, or one beyond 16 bits.
void FakeReportByteCount(DWORD count);

#endif  // TAV_FAKE_DEVICE_H
