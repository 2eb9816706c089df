// tavapi32 allocates nothing: every export, on its success path and on
// its failure paths (messages on, instrument error, failed device call),
// leaves the heap allocation count where it was.
#include <gtest/gtest.h>

#include "alloc_count.h"
#include "fake.h"
#include "simulator.h"
#include "tavapi32.h"

namespace {

// Calls every one of the 41 exports once.
void CallEveryExport() {
  static char formula[] = "A1+A2";
  unsigned char value[4] = {1, 2, 3, 4};
  unsigned char raw[8] = {0};
  unsigned char copy[16];
  unsigned char* reply;
  char* text;
  unsigned short setting;
  TavMsgBox(1);
  TavDefineChannel(1, formula);
  TavDefineChannel(1, "");
  TavReadFormula(1, &text);
  TavClearChannel(1);
  TavClearAllChannels();
  TavReadChannel(1, value);
  TavReadLvdt(1, value);
  TavReadAnalog(1, value);
  TavResetMM();
  TavStartScan();
  TavStopScan();
  TavReadDirect(8, raw, &reply);
  TavReadDirectCopy(8, raw, copy);
  TavMemory(0x1234, 0x0102, &reply);
  TavDLL(&text);
  TavFirmware(&text);
  TavSetTfsv(1, value);
  TavReadTfsv(1, value);
  TavSetAfsv(1, value);
  TavReadAfsv(1, value);
  TavSetTzero(1, value);
  TavReadTzero(1, value);
  TavSetAzero(1, value);
  TavReadAzero(1, value);
  TavSetCzero(1, value);
  TavReadCzero(1, value);
  TavSetCscale(1, value);
  TavReadCscale(1, value);
  TavSetScanTime(0x1234);
  TavSet_muxTime(-2);
  TavSetAdcAvg(3);
  TavSetRunAvg(4);
  TavSetFpIn(1);
  TavSetFpOut(2);
  TavSetFpPrec(3);
  TavGetFpIn(&setting);
  TavGetFpOut(&setting);
  TavGetFpPrec(&setting);
}

// Every exchange answered with `status`.
void AnswerEveryExchangeWith(uint8_t status) {
  SimScript script = {};
  script.Action = SIM_SCRIPT_REPLY;
  script.Status = status;
  script.PayloadLength = 4;
  script.ByteCount = -1;
  while (SimQueueScript(&script)) {
  }
}

TEST(Tavapi32Allocations, NoExportAllocates) {
  if (!AllocationCountingAvailable()) GTEST_SKIP() << "the sanitizer owns the allocator";
  FakeReset();
  unsigned long before = AllocationCount();
  ASSERT_EQ(TavCommInit(1, 0), 0);
  CallEveryExport();  // the instrument answers status 0
  AnswerEveryExchangeWith(10);  // a status with a text of its own
  CallEveryExport();
  AnswerEveryExchangeWith(200);  // a status formatted as a number
  CallEveryExport();
  FakeFailCall("DeviceIoControl", 0, ERROR_GEN_FAILURE);
  CallEveryExport();
  TavClose();
  CallEveryExport();  // no link
  TavOpen(3);
  TavCommInit(5, 0);
  EXPECT_EQ(AllocationCount() - before, 0u);
  EXPECT_GT(FakeBoxCount(), 40u);  // the failure paths did show their messages
}

}  // namespace
