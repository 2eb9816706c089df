// tavapi32: the frames of the command functions, what they hand back,
// the limits they refuse, and what a call costs.
#include <functional>

#include "alloc_count.h"
#include "tavapi32_fixture.h"

using TavCommands = TavApiTest;

static unsigned char Value[4] = {0x01, 0x02, 0x03, 0x04};
static unsigned char Storage[4];
static unsigned char Raw[3] = {0x11, 0x22, 0x33};
static unsigned char Copy[8];
static unsigned char* Address;
static char* Text;
static unsigned short Word;

struct FrameCase {
  const char* name;
  std::function<int()> call;
  Bytes frame;  // with the request payload marked 0xA0, 0xA1, ... beforehand
};

// Every command function and the frame it sends.
static std::vector<FrameCase> FrameCases() {
  return {
      {"TavMemory", [] { return TavMemory(0x1234, 0x0102, &Address); }, {0x3A, 0x01, 0x05, 0x00, 0x02, 0x01, 0x34, 0x12}},
      {"TavReadDirect", [] { return TavReadDirect(3, Raw, &Address); }, {0x3A, 0x02, 0x03, 0x11, 0x22, 0x33}},
      {"TavReadDirect 0", [] { return TavReadDirect(0, NULL, &Address); }, {0x3A, 0x02, 0x00}},
      {"TavReadDirectCopy", [] { return TavReadDirectCopy(2, Raw, Copy); }, {0x3A, 0x02, 0x02, 0x11, 0x22}},
      {"TavReadDirectCopy 0", [] { return TavReadDirectCopy(0, NULL, NULL); }, {0x3A, 0x02, 0x00}},
      {"TavDefineChannel", [] { return TavDefineChannel(5, "abc"); }, {0x3A, 0x03, 0x05, 0x05, 0x61, 0x62, 0x63, 0x00}},
      {"TavDefineChannel empty", [] { return TavDefineChannel(5, ""); }, {0x3A, 0x06, 0x01, 0x05}},
      {"TavReadChannel", [] { return TavReadChannel(0x107, Storage); }, {0x3A, 0x04, 0x01, 0x07}},
      {"TavClearAllChannels", [] { return TavClearAllChannels(); }, {0x3A, 0x05, 0x01, 0xA0}},
      {"TavClearChannel", [] { return TavClearChannel(9); }, {0x3A, 0x06, 0x01, 0x09}},
      {"TavStartScan", [] { return TavStartScan(); }, {0x3A, 0x07, 0x01, 0xA0}},
      {"TavStopScan", [] { return TavStopScan(); }, {0x3A, 0x08, 0x01, 0xA0}},
      {"TavResetMM", [] { return TavResetMM(); }, {0x3A, 0x09, 0x01, 0xA0}},
      {"TavReadLvdt", [] { return TavReadLvdt(2, Storage); }, {0x3A, 0x0B, 0x01, 0x02}},
      {"TavReadAnalog", [] { return TavReadAnalog(256 + 3, Storage); }, {0x3A, 0x0C, 0x01, 0x03}},
      {"TavReadFormula", [] { return TavReadFormula(4, &Text); }, {0x3A, 0x0D, 0x01, 0x04}},
      {"TavSetTfsv", [] { return TavSetTfsv(2, Value); }, {0x3A, 0x15, 0x05, 0x02, 0x01, 0x02, 0x03, 0x04}},
      {"TavReadTfsv", [] { return TavReadTfsv(2, Storage); }, {0x3A, 0x16, 0x01, 0x02}},
      {"TavSetAfsv", [] { return TavSetAfsv(2, Value); }, {0x3A, 0x17, 0x05, 0x02, 0x01, 0x02, 0x03, 0x04}},
      {"TavReadAfsv", [] { return TavReadAfsv(2, Storage); }, {0x3A, 0x18, 0x01, 0x02}},
      {"TavSetTzero", [] { return TavSetTzero(2, Value); }, {0x3A, 0x20, 0x05, 0x02, 0x01, 0x02, 0x03, 0x04}},
      {"TavReadTzero", [] { return TavReadTzero(2, Storage); }, {0x3A, 0x21, 0x01, 0x02}},
      {"TavSetAzero", [] { return TavSetAzero(2, Value); }, {0x3A, 0x2A, 0x05, 0x02, 0x01, 0x02, 0x03, 0x04}},
      {"TavReadAzero", [] { return TavReadAzero(2, Storage); }, {0x3A, 0x2B, 0x01, 0x02}},
      {"TavSetCzero", [] { return TavSetCzero(2, Value); }, {0x3A, 0x34, 0x05, 0x02, 0x01, 0x02, 0x03, 0x04}},
      {"TavReadCzero", [] { return TavReadCzero(2, Storage); }, {0x3A, 0x35, 0x01, 0x02}},
      {"TavSetCscale", [] { return TavSetCscale(0x1FF, Value); }, {0x3A, 0x36, 0x05, 0xFF, 0x01, 0x02, 0x03, 0x04}},
      {"TavReadCscale", [] { return TavReadCscale(2, Storage); }, {0x3A, 0x37, 0x01, 0x02}},
      {"TavSetScanTime", [] { return TavSetScanTime(0x1234); }, {0x3A, 0x0A, 0x02, 0x34, 0x12}},
      {"TavSetScanTime wide", [] { return TavSetScanTime(0xABCD1234); }, {0x3A, 0x0A, 0x02, 0x34, 0x12}},
      {"TavSet_muxTime -2", [] { return TavSet_muxTime(-2); }, {0x3A, 0x52, 0x02, 0xFE, 0xFF}},
      {"TavSet_muxTime 300", [] { return TavSet_muxTime(300); }, {0x3A, 0x52, 0x02, 0x2C, 0x01}},
      {"TavSetAdcAvg", [] { return TavSetAdcAvg(0x1234); }, {0x3A, 0x5A, 0x02, 0x34, 0x12}},
      {"TavSetRunAvg", [] { return TavSetRunAvg(0x1234); }, {0x3A, 0x5B, 0x02, 0x34, 0x12}},
      {"TavSetFpIn", [] { return TavSetFpIn(0x105); }, {0x3A, 0x50, 0x01, 0x05}},
      {"TavSetFpOut", [] { return TavSetFpOut(0x105); }, {0x3A, 0x51, 0x01, 0x05}},
      {"TavSetFpPrec", [] { return TavSetFpPrec(0x105); }, {0x3A, 0x53, 0x01, 0x05}},
      {"TavGetFpIn", [] { return TavGetFpIn(&Word); }, {0x3A, 0x54, 0x01, 0xA0}},
      {"TavGetFpOut", [] { return TavGetFpOut(&Word); }, {0x3A, 0x55, 0x01, 0xA0}},
      {"TavGetFpPrec", [] { return TavGetFpPrec(&Word); }, {0x3A, 0x57, 0x02, 0xA0, 0xA1}},
  };
}

TEST_F(TavCommands, EachCommandIsOneExchangeOfItsFrame) {
  OpenLink();
  for (const FrameCase& c : FrameCases()) {
    MarkRequestPayload();
    ForgetCalls();
    ScriptReply(0);
    EXPECT_EQ(c.call(), 0) << c.name;
    ASSERT_EQ(CallsSince("DeviceIoControl"), 1u) << c.name;
    EXPECT_EQ(LastFrame(), c.frame) << c.name;
    const FakeCall* call = FakeLastCall("DeviceIoControl");
    EXPECT_EQ(call->Args[0], (uint64_t)(uintptr_t)hLink) << c.name;
    EXPECT_EQ(call->Args[1], (uint64_t)IOCTL_TAV_EXCHANGE) << c.name;
    EXPECT_EQ(call->Args[3], 270u) << c.name;
    EXPECT_EQ(call->Args[7], 0u) << c.name;
  }
}

TEST_F(TavCommands, CommandsAllocateNothing) {
  if (!AllocationCountingAvailable()) GTEST_SKIP() << "the sanitizer owns the allocator";
  OpenLink();
  std::vector<FrameCase> cases = FrameCases();
  for (const FrameCase& c : cases) {
    ScriptReply(0, Bytes{1, 2, 3, 4});
    unsigned long before = AllocationCount();
    c.call();
    EXPECT_EQ(AllocationCount(), before) << c.name;
  }
  unsigned long before = AllocationCount();
  TavMsgBox(0);
  TavDLL(&Text);
  TavFirmware(&Text);
  TavClose();
  TavOpen(1);
  EXPECT_EQ(AllocationCount(), before);
}

TEST_F(TavCommands, UnwrittenPayloadBytesCarryOverFromEarlierFrames) {
  OpenLink();
  // Byte 0 after load is zero.
  TavStartScan();
  EXPECT_EQ(LastFrame(), (Bytes{0x3A, 0x07, 0x01, 0x00}));
  TavClearChannel(7);
  TavStartScan();
  EXPECT_EQ(LastFrame(), (Bytes{0x3A, 0x07, 0x01, 0x07}));
  TavSetScanTime(0x1234);
  TavGetFpPrec(&Word);
  EXPECT_EQ(LastFrame(), (Bytes{0x3A, 0x57, 0x02, 0x34, 0x12}));
  // The multiplexer time leaves its sign extension behind the frame.
  TavSet_muxTime(-2);
  EXPECT_EQ(Bytes(RequestPayload, RequestPayload + 4), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
  TavSet_muxTime(300);
  EXPECT_EQ(Bytes(RequestPayload, RequestPayload + 4), (Bytes{0x2C, 0x01, 0x00, 0x00}));
}

// Functions that copy a 4-byte value back only on status 0.
static const struct {
  const char* name;
  int (*read)(int, void*);
} FourByteReads[] = {
    {"TavReadChannel", TavReadChannel}, {"TavReadLvdt", TavReadLvdt},   {"TavReadAnalog", TavReadAnalog},
    {"TavReadTfsv", TavReadTfsv},       {"TavReadAfsv", TavReadAfsv},   {"TavReadTzero", TavReadTzero},
    {"TavReadAzero", TavReadAzero},     {"TavReadCzero", TavReadCzero}, {"TavReadCscale", TavReadCscale},
};

TEST_F(TavCommands, FourByteValuesArriveInOrderOnlyOnSuccess) {
  OpenLink();
  for (auto r : FourByteReads) {
    unsigned char value[6] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    ScriptReply(0, Bytes{0x01, 0x02, 0x03, 0x04, 0x05});
    EXPECT_EQ(r.read(1, value + 1), 0) << r.name;
    EXPECT_EQ(Bytes(value, value + 6), (Bytes{0xEE, 0x01, 0x02, 0x03, 0x04, 0xEE})) << r.name;

    unsigned char kept[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    ScriptReply(10, Bytes{0x09, 0x09, 0x09, 0x09});
    EXPECT_EQ(r.read(1, kept), 10) << r.name;
    ScriptFailure();
    EXPECT_EQ(r.read(1, kept), -1) << r.name;
    EXPECT_EQ(Bytes(kept, kept + 4), Bytes(4, 0xEE)) << r.name;
  }
}

TEST_F(TavCommands, ByteSettingsReadBackWidenWithoutSignWhateverTheStatus) {
  OpenLink();
  int (*const reads[])(unsigned short*) = {TavGetFpIn, TavGetFpOut, TavGetFpPrec};
  for (auto read : reads) {
    unsigned short value = 0x5555;
    ScriptReply(0, Bytes{0xFF});
    EXPECT_EQ(read(&value), 0);
    EXPECT_EQ(value, 255);
    ScriptReply(14, Bytes{0x07});
    EXPECT_EQ(read(&value), 14);
    EXPECT_EQ(value, 7);
    // A failed call stores what the earlier reply left.
    ScriptFailure();
    value = 0x5555;
    EXPECT_EQ(read(&value), -1);
    EXPECT_EQ(value, 7);
  }
}

TEST_F(TavCommands, GetFpInWithNoReplyEverStoresZero) {
  unsigned short value = 0x5555;
  EXPECT_EQ(TavGetFpIn(&value), -1);
  EXPECT_EQ(value, 0);
}

TEST_F(TavCommands, ReplyAddressesAreHandedOutWhateverTheStatus) {
  OpenLink();
  unsigned char* reply = NULL;
  ScriptFailure();
  EXPECT_EQ(TavReadDirect(1, Raw, &reply), -1);
  EXPECT_EQ(reply, ReplyBuffer + 3);
  reply = NULL;
  ScriptReply(21);
  EXPECT_EQ(TavMemory(1, 2, &reply), 21);
  EXPECT_EQ(reply, ReplyBuffer + 3);

  // A formula address only on success.
  char* formula = (char*)"untouched";
  ScriptReply(10, Bytes{'x', 0});
  EXPECT_EQ(TavReadFormula(3, &formula), 10);
  EXPECT_STREQ(formula, "untouched");
  ScriptReply(0, Bytes{'c', '1', '+', 'c', '2', 0});
  EXPECT_EQ(TavReadFormula(3, &formula), 0);
  EXPECT_STREQ(formula, "c1+c2");
}

TEST_F(TavCommands, ReadDirectCopyCopiesTwiceTheCountWhateverTheStatus) {
  OpenLink();
  Bytes payload;
  for (int i = 0; i < 267; i++) payload.push_back((uint8_t)(i + 1));
  unsigned char out[2 * 133 + 2];
  memset(out, 0xEE, sizeof out);
  ScriptReply(0, payload);
  EXPECT_EQ(TavReadDirectCopy(133, RequestBuffer, out + 1), 0);
  EXPECT_EQ(out[0], 0xEE);
  EXPECT_EQ(Bytes(out + 1, out + 1 + 266), Bytes(payload.begin(), payload.begin() + 266));
  EXPECT_EQ(out[267], 0xEE);

  // After a failed call: the bytes the earlier reply left, and the status -1.
  memset(out, 0xEE, sizeof out);
  ScriptFailure();
  EXPECT_EQ(TavReadDirectCopy(2, Raw, out), -1);
  EXPECT_EQ(Bytes(out, out + 5), (Bytes{1, 2, 3, 4, 0xEE}));
}

TEST_F(TavCommands, LargestFramesGoOutWhole) {
  OpenLink();
  std::string formula(253, 'x');
  ScriptReply(0);
  EXPECT_EQ(TavDefineChannel(1, formula.c_str()), 0);
  Bytes frame = LastFrame();
  ASSERT_EQ(frame.size(), 258u);
  EXPECT_EQ(frame[2], 255);
  EXPECT_EQ(frame[3], 1);
  EXPECT_EQ(Bytes(frame.begin() + 4, frame.end() - 1), Bytes(253, 'x'));
  EXPECT_EQ(frame.back(), 0);

  Bytes raw(255, 0x5A);
  unsigned char* reply;
  ScriptReply(0);
  EXPECT_EQ(TavReadDirect(255, raw.data(), &reply), 0);
  EXPECT_EQ(LastFrame().size(), 258u);
  EXPECT_EQ(LastFrame()[2], 255);
}

TEST_F(TavCommands, ReadFormulaTextAlwaysEndsInsideTheLibrary) {
  OpenLink();
  ScriptReply(0, Bytes(267, 'f'));  // a full reply with no terminating zero
  char* formula = NULL;
  ASSERT_EQ(TavReadFormula(1, &formula), 0);
  EXPECT_EQ(strlen(formula), 267u);
  EXPECT_EQ(formula + 268, (char*)ReplyBuffer + sizeof ReplyBuffer);
}

TEST_F(TavCommands, VersionTexts) {
  char* text = NULL;
  EXPECT_EQ(TavDLL(&text), 0);
  EXPECT_STREQ(text, "1.01");
  EXPECT_EQ(TavFirmware(&text), 0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(TavDLL(NULL), 0);
  EXPECT_EQ(TavFirmware(NULL), 0);
  EXPECT_EQ(FakeCountCalls("DeviceIoControl"), 0u);
  ASSERT_EQ(TavCommInit(1, 0), 0);
  ASSERT_EQ(TavClose(), 0);
  EXPECT_EQ(TavFirmware(&text), 0);
  EXPECT_STREQ(text, "----");  // kept across the close
}

// Calls that cannot be sent as given: refused with -1, nothing sent, no
// message, the caller's storage untouched.
TEST_F(TavCommands, CallsBeyondTheLimitsOrWithNullAddressesAreRefused) {
  std::string longFormula(254, 'x');
  std::string veryLongFormula(100000, 'y');
  Bytes raw(300, 1);
  const struct {
    const char* name;
    std::function<int()> call;
  } cases[] = {
      {"formula of 254", [&] { return TavDefineChannel(1, longFormula.c_str()); }},
      {"formula of 100000", [&] { return TavDefineChannel(1, veryLongFormula.c_str()); }},
      {"NULL formula", [] { return TavDefineChannel(1, NULL); }},
      {"ReadDirect 256", [&] { return TavReadDirect(256, raw.data(), &Address); }},
      {"ReadDirect -1", [&] { return TavReadDirect(-1, raw.data(), &Address); }},
      {"ReadDirect NULL source", [] { return TavReadDirect(1, NULL, &Address); }},
      {"ReadDirect NULL variable", [&] { return TavReadDirect(1, raw.data(), NULL); }},
      {"ReadDirectCopy 134", [&] { return TavReadDirectCopy(134, raw.data(), Copy); }},
      {"ReadDirectCopy -5", [&] { return TavReadDirectCopy(-5, raw.data(), Copy); }},
      {"ReadDirectCopy NULL source", [] { return TavReadDirectCopy(2, NULL, Copy); }},
      {"ReadDirectCopy NULL destination", [&] { return TavReadDirectCopy(2, raw.data(), NULL); }},
      {"Memory NULL variable", [] { return TavMemory(1, 2, NULL); }},
      {"ReadFormula NULL variable", [] { return TavReadFormula(1, NULL); }},
      {"ReadChannel NULL", [] { return TavReadChannel(1, NULL); }},
      {"ReadLvdt NULL", [] { return TavReadLvdt(1, NULL); }},
      {"ReadAnalog NULL", [] { return TavReadAnalog(1, NULL); }},
      {"SetTfsv NULL", [] { return TavSetTfsv(1, NULL); }},
      {"ReadTfsv NULL", [] { return TavReadTfsv(1, NULL); }},
      {"SetAfsv NULL", [] { return TavSetAfsv(1, NULL); }},
      {"ReadAfsv NULL", [] { return TavReadAfsv(1, NULL); }},
      {"SetTzero NULL", [] { return TavSetTzero(1, NULL); }},
      {"ReadTzero NULL", [] { return TavReadTzero(1, NULL); }},
      {"SetAzero NULL", [] { return TavSetAzero(1, NULL); }},
      {"ReadAzero NULL", [] { return TavReadAzero(1, NULL); }},
      {"SetCzero NULL", [] { return TavSetCzero(1, NULL); }},
      {"ReadCzero NULL", [] { return TavReadCzero(1, NULL); }},
      {"SetCscale NULL", [] { return TavSetCscale(1, NULL); }},
      {"ReadCscale NULL", [] { return TavReadCscale(1, NULL); }},
      {"GetFpIn NULL", [] { return TavGetFpIn(NULL); }},
      {"GetFpOut NULL", [] { return TavGetFpOut(NULL); }},
      {"GetFpPrec NULL", [] { return TavGetFpPrec(NULL); }},
  };
  OpenLink();
  TavMsgBox(1);
  MarkRequestPayload();
  Bytes requestBefore(RequestBuffer, RequestBuffer + sizeof RequestBuffer);
  for (const auto& c : cases) {
    Address = (unsigned char*)&Word;
    memset(Copy, 0xEE, sizeof Copy);
    ForgetCalls();
    EXPECT_EQ(c.call(), -1) << c.name;
    EXPECT_EQ(CallsSince("DeviceIoControl"), 0u) << c.name;
    EXPECT_TRUE(BoxesSince().empty()) << c.name;
    EXPECT_EQ(Address, (unsigned char*)&Word) << c.name;
    EXPECT_EQ(Bytes(Copy, Copy + sizeof Copy), Bytes(sizeof Copy, 0xEE)) << c.name;
  }
  // Nothing of a refused call went into the request buffer either.
  EXPECT_EQ(Bytes(RequestBuffer, RequestBuffer + sizeof RequestBuffer), requestBefore);
}
