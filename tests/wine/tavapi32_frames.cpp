// The frames of every command function of tavapi32.dll as the simulated
// driver received them, byte for byte: control code, input bytes, output
// length announced. Runs the real DLL against the simulated tavport.sys.
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "boxhook.h"
#include "check.h"
#include "simctl.h"
#include "tavapi32.h"

static uint32_t Seen;  // frames already checked

// Expects exactly one new request on link 1 since the last check.
static void ExpectFrame(const char* what, uint32_t code, const unsigned char* bytes,
                        unsigned length, uint32_t outLength = 270) {
  uint32_t count = SimFrames();
  if (!CheckInt(count, Seen + 1, what, __LINE__)) {
    Seen = count;
    return;
  }
  SimFrame frame;
  Check(SimFrameAt(Seen, &frame) != 0, what, __LINE__);
  Seen = count;
  char label[160];
  snprintf(label, sizeof label, "%s: link, code, output length", what);
  Check(frame.Link == 1 && frame.Code == code && frame.OutLength == outLength, label, __LINE__);
  snprintf(label, sizeof label, "%s: input bytes", what);
  unsigned kept = frame.InLength < SIM_FRAME_BYTES ? frame.InLength : SIM_FRAME_BYTES;
  CheckBytes(frame.In, frame.InLength == length ? kept : frame.InLength, bytes, length, label,
             __LINE__);
}

#define FRAME(what, ...)                                                  \
  do {                                                                    \
    static const unsigned char expected[] = {__VA_ARGS__};                \
    ExpectFrame(what, IOCTL_TAV_EXCHANGE, expected, sizeof expected);     \
  } while (0)

static void ExpectNoFrame(const char* what) {
  CheckInt(SimFrames(), Seen, what, __LINE__);
}

int main() {
  CHECK(BoxHookStart());
  CHECK(SimReset());

  // Before TavCommInit: the texts, and no request at all.
  char* text = NULL;
  CHECK_INT(TavFirmware(&text), 0);
  CHECK_TEXT(text, "");
  CHECK_INT(TavDLL(&text), 0);
  CHECK_TEXT(text, "1.01");
  CHECK_INT(TavOpen(3), 1);
  ExpectNoFrame("TavFirmware, TavDLL, TavOpen(3) send nothing");

  // The initialization request right after load: 260 zero bytes, no output.
  CHECK_INT(TavCommInit(1, 0), 0);
  static const unsigned char zeros[260] = {0};
  ExpectFrame("TavCommInit after load", IOCTL_TAV_INITIALIZE, zeros, sizeof zeros, 0);
  CHECK_INT(TavFirmware(&text), 0);
  CHECK_TEXT(text, "----");
  TavMsgBox(0);  // the model's answers are not the subject here
  ExpectNoFrame("TavMsgBox sends nothing");

  unsigned char value[4] = {0};
  TavReadChannel(3, value);
  FRAME("TavReadChannel(3)", 0x3A, 0x04, 0x01, 0x03);
  TavClearChannel(7);
  FRAME("TavClearChannel(7)", 0x3A, 0x06, 0x01, 0x07);
  TavStartScan();
  FRAME("TavStartScan sends the byte left by TavClearChannel", 0x3A, 0x07, 0x01, 0x07);
  TavStopScan();
  FRAME("TavStopScan", 0x3A, 0x08, 0x01, 0x07);
  TavResetMM();
  FRAME("TavResetMM", 0x3A, 0x09, 0x01, 0x07);
  TavClearAllChannels();
  FRAME("TavClearAllChannels", 0x3A, 0x05, 0x01, 0x07);
  TavDefineChannel(2, "abc");
  FRAME("TavDefineChannel(2, \"abc\")", 0x3A, 0x03, 0x05, 0x02, 0x61, 0x62, 0x63, 0x00);
  TavDefineChannel(4, "");
  FRAME("TavDefineChannel(4, \"\") clears", 0x3A, 0x06, 0x01, 0x04);
  {
    char formula[254];
    memset(formula, 'P', 253);
    formula[253] = 0;
    TavDefineChannel(9, formula);
    unsigned char expected[258];
    expected[0] = 0x3A;
    expected[1] = 0x03;
    expected[2] = 0xFF;
    expected[3] = 0x09;
    memset(expected + 4, 'P', 253);
    expected[257] = 0;
    ExpectFrame("TavDefineChannel with 253 characters", IOCTL_TAV_EXCHANGE, expected,
                sizeof expected);
  }
  char* formula = NULL;
  TavReadFormula(5, &formula);
  FRAME("TavReadFormula(5)", 0x3A, 0x0D, 0x01, 0x05);
  TavReadLvdt(6, value);
  FRAME("TavReadLvdt(6)", 0x3A, 0x0B, 0x01, 0x06);
  TavReadAnalog(0x107, value);
  FRAME("TavReadAnalog(0x107) sends the low 8 bits", 0x3A, 0x0C, 0x01, 0x07);
  TavReadChannel(0x1FF, value);
  FRAME("TavReadChannel(0x1FF)", 0x3A, 0x04, 0x01, 0xFF);

  static const unsigned char raw[4] = {0x01, 0x02, 0x03, 0x04};
  unsigned char* reply = NULL;
  TavReadDirect(4, raw, &reply);
  FRAME("TavReadDirect(4 bytes)", 0x3A, 0x02, 0x04, 0x01, 0x02, 0x03, 0x04);
  unsigned char copied[8];
  TavReadDirectCopy(0, raw, copied);
  FRAME("TavReadDirectCopy(0)", 0x3A, 0x02, 0x00);
  TavReadDirectCopy(2, raw + 2, copied);
  FRAME("TavReadDirectCopy(2)", 0x3A, 0x02, 0x02, 0x03, 0x04);
  TavMemory(0x1234, 0x0102, &reply);
  FRAME("TavMemory(0x1234, 0x0102)", 0x3A, 0x01, 0x05, 0x00, 0x02, 0x01, 0x34, 0x12);

  static const unsigned char cal[4] = {0x01, 0x02, 0x03, 0x04};
  TavSetTfsv(2, cal);
  FRAME("TavSetTfsv", 0x3A, 0x15, 0x05, 0x02, 0x01, 0x02, 0x03, 0x04);
  TavSetAfsv(3, cal);
  FRAME("TavSetAfsv", 0x3A, 0x17, 0x05, 0x03, 0x01, 0x02, 0x03, 0x04);
  TavSetTzero(4, cal);
  FRAME("TavSetTzero", 0x3A, 0x20, 0x05, 0x04, 0x01, 0x02, 0x03, 0x04);
  TavSetAzero(5, cal);
  FRAME("TavSetAzero", 0x3A, 0x2A, 0x05, 0x05, 0x01, 0x02, 0x03, 0x04);
  TavSetCzero(2, cal);
  FRAME("TavSetCzero", 0x3A, 0x34, 0x05, 0x02, 0x01, 0x02, 0x03, 0x04);
  TavSetCscale(0x106, cal);
  FRAME("TavSetCscale", 0x3A, 0x36, 0x05, 0x06, 0x01, 0x02, 0x03, 0x04);
  TavReadTfsv(9, value);
  FRAME("TavReadTfsv", 0x3A, 0x16, 0x01, 0x09);
  TavReadAfsv(10, value);
  FRAME("TavReadAfsv", 0x3A, 0x18, 0x01, 0x0A);
  TavReadTzero(11, value);
  FRAME("TavReadTzero", 0x3A, 0x21, 0x01, 0x0B);
  TavReadAzero(12, value);
  FRAME("TavReadAzero", 0x3A, 0x2B, 0x01, 0x0C);
  TavReadCzero(13, value);
  FRAME("TavReadCzero", 0x3A, 0x35, 0x01, 0x0D);
  TavReadCscale(14, value);
  FRAME("TavReadCscale", 0x3A, 0x37, 0x01, 0x0E);

  TavSetScanTime(0x1234);
  FRAME("TavSetScanTime(0x1234)", 0x3A, 0x0A, 0x02, 0x34, 0x12);
  unsigned short setting = 0;
  TavGetFpPrec(&setting);
  FRAME("TavGetFpPrec sends 2 bytes left by TavSetScanTime", 0x3A, 0x57, 0x02, 0x34, 0x12);
  TavSetAdcAvg(0x1234);
  FRAME("TavSetAdcAvg(0x1234)", 0x3A, 0x5A, 0x02, 0x34, 0x12);
  TavSetRunAvg(0x1234);
  FRAME("TavSetRunAvg(0x1234)", 0x3A, 0x5B, 0x02, 0x34, 0x12);
  TavSetFpOut(0x105);
  FRAME("TavSetFpOut(0x105)", 0x3A, 0x51, 0x01, 0x05);
  TavSetFpIn(0x80);
  FRAME("TavSetFpIn(0x80)", 0x3A, 0x50, 0x01, 0x80);
  TavSetFpPrec(3);
  FRAME("TavSetFpPrec(3)", 0x3A, 0x53, 0x01, 0x03);
  TavGetFpIn(&setting);
  FRAME("TavGetFpIn", 0x3A, 0x54, 0x01, 0x03);
  TavGetFpOut(&setting);
  FRAME("TavGetFpOut", 0x3A, 0x55, 0x01, 0x03);

  // TavSet_muxTime writes 4 bytes and sends 2; the initialization request
  // sends the whole request buffer, which shows the other two.
  TavSet_muxTime(-2);
  FRAME("TavSet_muxTime(-2)", 0x3A, 0x52, 0x02, 0xFE, 0xFF);
  CHECK_INT(TavCommInit(1, 0), 0);
  {
    SimFrame frame;
    CHECK_INT(SimFrames(), Seen + 1);
    CHECK(SimFrameAt(Seen++, &frame));
    CHECK_INT(frame.Code, IOCTL_TAV_INITIALIZE);
    CHECK_INT(frame.InLength, 260);
    CHECK_INT(frame.OutLength, 0);
    static const unsigned char head[] = {0x3A, 0x52, 0x02, 0xFE, 0xFF, 0xFF, 0xFF};
    CHECK_BYTES(frame.In, 7, head, 7);
  }
  TavMsgBox(0);
  TavSet_muxTime(300);
  FRAME("TavSet_muxTime(300)", 0x3A, 0x52, 0x02, 0x2C, 0x01);
  CHECK_INT(TavCommInit(1, 0), 0);
  {
    SimFrame frame;
    CHECK(SimFrameAt(Seen++, &frame));
    static const unsigned char head[] = {0x3A, 0x52, 0x02, 0x2C, 0x01, 0x00, 0x00};
    CHECK_BYTES(frame.In, 7, head, 7);
  }

  // Opening, closing and the texts never reach the driver.
  CHECK_INT(TavOpen(1), 0);
  CHECK_INT(TavClose(), 0);
  CHECK_INT(TavClose(), 0);
  CHECK_INT(TavDLL(&text), 0);
  CHECK_INT(TavFirmware(&text), 0);
  CHECK_TEXT(text, "----");
  ExpectNoFrame("TavOpen, TavClose, TavDLL, TavFirmware send nothing");
  CHECK_INT(BoxCount, 0);

  BoxHookStop();
  return FinishChecks();
}
