// tavdemo: a sample session with the TAV-8 through tavapi32.dll.
//
// Opens link 1, shows the library and firmware versions, defines two
// channels and reads their formulas back, scans and reads channel, LVDT
// and analog values, sets and reads back a calibration value, sets the
// acquisition settings, shows how an instrument error comes back, stops
// the scan and closes. Every step writes one line; the exit status is 0
// when every step went as expected.
//
// Readings and calibration values are 4 bytes that the library passes
// through untouched. This program takes them as 32-bit little-endian
// integers (micrometres, millivolts), which is what the simulated
// instrument delivers; adapt ValueOf to your instrument's format.
#include <stdio.h>
#include <string.h>

#include "tavapi32.h"

static int Failures;

// The instrument's wording for the statuses this program may meet.
static const char* StatusText(int status) {
  switch (status) {
    case -1:
      return "TAV-8 not communicating";
    case 10:
      return "Bad channel number";
    case 12:
    case 13:
    case 16:
    case 22:
      return "Bad formula";
    case 14:
      return "Table full";
    case 15:
      return "Bad probe number";
    case 17:
      return "Bad number in formula";
    case 18:
      return "Bad symbol";
    case 19:
      return "Formula too complex";
    case 20:
      return "Circular channel definition";
    case 21:
      return "Memory full";
    case 23:
      return "Bad set in GOR or LOR function";
    default:
      return "instrument error";
  }
}

// Reports a command's status; true when it is 0.
static bool Ok(const char* what, int status) {
  if (status == 0) return true;
  printf("  %s failed: status %d (%s)\n", what, status, StatusText(status));
  Failures++;
  return false;
}

static long ValueOf(const unsigned char bytes[4]) {
  unsigned long v = (unsigned long)bytes[0] | (unsigned long)bytes[1] << 8 |
                    (unsigned long)bytes[2] << 16 | (unsigned long)bytes[3] << 24;
  return (long)(int)v;
}

static void BytesOf(long value, unsigned char bytes[4]) {
  unsigned long v = (unsigned long)value;
  for (int i = 0; i < 4; i++) bytes[i] = (unsigned char)(v >> (8 * i));
}

static void DefineAndReadBack(int channel, const char* formula) {
  if (!Ok("TavDefineChannel", TavDefineChannel(channel, formula))) return;
  char* text = NULL;
  if (!Ok("TavReadFormula", TavReadFormula(channel, &text))) return;
  printf("channel %d defined as \"%s\", reads back \"%s\"\n", channel, formula, text);
  if (strcmp(text, formula) != 0) Failures++;
}

static void ReadValues(int sweep) {
  unsigned char ch1[4], ch2[4], lvdt[4], analog[4];
  if (Ok("TavReadChannel", TavReadChannel(1, ch1)) &&
      Ok("TavReadChannel", TavReadChannel(2, ch2)) && Ok("TavReadLvdt", TavReadLvdt(3, lvdt)) &&
      Ok("TavReadAnalog", TavReadAnalog(1, analog))) {
    printf(
        "reading %d: channel 1 = %ld um, channel 2 = %ld um, LVDT 3 = %ld um, analog 1 = %ld mV\n",
        sweep, ValueOf(ch1), ValueOf(ch2), ValueOf(lvdt), ValueOf(analog));
  }
}

int main() {
  printf("tavdemo: sample session with the TAV-8 on link 1\n");
  if (TavCommInit(1, 0) != 0) {
    printf("link 1 could not be opened and initialized: is the driver started?\n");
    return 1;
  }
  // TavCommInit turns message boxes on; this program reports statuses itself.
  TavMsgBox(0);
  printf("link 1 open and initialized\n");

  char* version = NULL;
  TavDLL(&version);
  printf("library version %s\n", version);
  TavFirmware(&version);
  printf("firmware version %s\n", version);

  Ok("TavClearAllChannels", TavClearAllChannels());
  DefineAndReadBack(1, "P1+P2");
  DefineAndReadBack(2, "GOR(P1,P2,P3) - 500");

  if (Ok("TavStartScan", TavStartScan())) printf("scan started\n");
  for (int sweep = 1; sweep <= 3; sweep++) ReadValues(sweep);

  unsigned char czero[4], back[4] = {0};
  BytesOf(-125, czero);
  if (Ok("TavSetCzero", TavSetCzero(1, czero)) && Ok("TavReadCzero", TavReadCzero(1, back))) {
    printf("Czero of channel 1 set to %ld, reads back %ld\n", ValueOf(czero), ValueOf(back));
    if (memcmp(czero, back, 4) != 0) Failures++;
  }

  if (Ok("TavSetScanTime", TavSetScanTime(200)) && Ok("TavSet_muxTime", TavSet_muxTime(20)) &&
      Ok("TavSetAdcAvg", TavSetAdcAvg(4)) && Ok("TavSetRunAvg", TavSetRunAvg(8))) {
    printf("scan time 200, multiplexer time 20, ADC averaging 4, running average 8 set\n");
  }
  unsigned short fpIn = 0, fpOut = 0, fpPrec = 0;
  if (Ok("TavSetFpIn", TavSetFpIn(1)) && Ok("TavSetFpOut", TavSetFpOut(2)) &&
      Ok("TavSetFpPrec", TavSetFpPrec(4)) && Ok("TavGetFpIn", TavGetFpIn(&fpIn)) &&
      Ok("TavGetFpOut", TavGetFpOut(&fpOut)) && Ok("TavGetFpPrec", TavGetFpPrec(&fpPrec))) {
    printf("FpIn %u, FpOut %u, FpPrec %u read back\n", (unsigned)fpIn, (unsigned)fpOut,
           (unsigned)fpPrec);
    if (fpIn != 1 || fpOut != 2 || fpPrec != 4) Failures++;
  }

  // An instrument error: the status comes back as the command's result.
  unsigned char value[4];
  int status = TavReadChannel(99, value);
  printf("reading channel 99 gives status %d: %s\n", status, StatusText(status));
  if (status != 10) Failures++;

  if (Ok("TavStopScan", TavStopScan())) printf("scan stopped\n");
  if (TavClose() != 0) Failures++;
  printf("link closed; %s\n", Failures == 0 ? "session complete" : "session had failures");
  return Failures == 0 ? 0 : 1;
}
