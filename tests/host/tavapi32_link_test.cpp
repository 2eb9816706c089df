// tavapi32: opening, initializing and closing the link, the exchange and
// its status, and the failure messages.
#include <limits.h>

#include "tavapi32_fixture.h"

using TavLink = TavApiTest;

TEST_F(TavLink, OpenUsesTheDeviceOfTheLinkWithExclusiveReadWriteAccess) {
  for (int link = 1; link <= 2; link++) {
    ForgetCalls();
    ASSERT_EQ(TavOpen(link), 0);
    const FakeCall* open = FakeLastCall("CreateFileA");
    EXPECT_EQ(std::string(open->Text), std::string("\\\\.\\TAV") + (char)('0' + link));
    EXPECT_EQ(open->Args[0], (uint64_t)(GENERIC_READ | GENERIC_WRITE));
    EXPECT_EQ(open->Args[1], 0u);  // no sharing
    EXPECT_EQ(open->Args[2], 0u);  // no security attributes
    EXPECT_EQ(open->Args[3], (uint64_t)OPEN_EXISTING);
    EXPECT_EQ(open->Args[4], 0u);  // flags
    EXPECT_EQ(open->Args[5], 0u);  // no template
  }
  // Reopening closed the earlier handle first: one device stays open.
  EXPECT_EQ(FakeOpenHandleCount(FAKE_DEVICE), 1u);
}

TEST_F(TavLink, LinkNumbersOtherThanOneOrTwoOpenNothingAndKeepTheOpenLink) {
  OpenLink();
  HANDLE open = hLink;
  for (int link : {0, 3, -1, 5, INT_MAX, INT_MIN}) {
    EXPECT_EQ(TavOpen(link), 1) << link;
    EXPECT_EQ(TavCommInit(link, 0), 1) << link;
  }
  EXPECT_EQ(CallsSince("CreateFileA"), 0u);
  EXPECT_EQ(hLink, open);
  TavMsgBox(0);
  EXPECT_EQ(TavClearChannel(1), 0);  // the link is still in use
}

TEST_F(TavLink, FailedOpenLeavesNoLink) {
  OpenLink();
  FakeSetLinks(0);  // no driver
  EXPECT_EQ(TavOpen(2), 1);
  EXPECT_EQ(hLink, INVALID_HANDLE_VALUE);
  EXPECT_EQ(TavOpen(1), 1);
  EXPECT_EQ(hLink, INVALID_HANDLE_VALUE);
  // The link open before was closed, not abandoned.
  EXPECT_EQ(FakeOpenHandleCount(FAKE_DEVICE), 0u);
  EXPECT_EQ(TavReadChannel(1, RequestBuffer), -1);
}

TEST_F(TavLink, ReopeningClosesTheEarlierHandleFirst) {
  ASSERT_EQ(TavOpen(1), 0);
  HANDLE first = hLink;
  ForgetCalls();
  ASSERT_EQ(TavOpen(2), 0);
  ASSERT_EQ(CallsSince("CloseHandle"), 1u);
  EXPECT_EQ(FakeLastCall("CloseHandle")->Args[0], (uint64_t)(uintptr_t)first);
  // The close comes before the new open.
  unsigned closeAt = 0, openAt = 0;
  for (unsigned i = LogStart; i < FakeCallCount(); i++) {
    if (strcmp(FakeCallAt(i)->Name, "CloseHandle") == 0) closeAt = i;
    if (strcmp(FakeCallAt(i)->Name, "CreateFileA") == 0) openAt = i;
  }
  EXPECT_LT(closeAt, openAt);
  EXPECT_EQ(FakeOpenHandleCount(FAKE_DEVICE), 1u);
}

TEST_F(TavLink, CloseClosesOnceAndReportsAFailedClose) {
  EXPECT_EQ(TavClose(), 0);  // no link
  EXPECT_EQ(FakeCountCalls("CloseHandle"), 0u);

  ASSERT_EQ(TavOpen(1), 0);
  HANDLE open = hLink;
  FakeFailCall("CloseHandle", 1, ERROR_INVALID_HANDLE);
  EXPECT_EQ(TavClose(), 1);
  EXPECT_EQ(hLink, open);  // kept, so the close can be tried again
  EXPECT_EQ(TavClose(), 0);
  EXPECT_EQ(TavClose(), 0);
  EXPECT_EQ(FakeCountCalls("CloseHandle"), 2u);
  EXPECT_EQ(FakeOpenHandleCount(FAKE_DEVICE), 0u);
}

TEST_F(TavLink, CommInitSendsTheWholeRequestBufferAndSetsTheFirmwareText) {
  char* firmware = NULL;
  EXPECT_EQ(TavFirmware(&firmware), 0);
  EXPECT_STREQ(firmware, "");

  ASSERT_EQ(TavCommInit(1, 12345), 0);
  const FakeCall* init = FakeLastCall("DeviceIoControl");
  EXPECT_EQ(init->Args[0], (uint64_t)(uintptr_t)hLink);
  EXPECT_EQ(init->Args[1], (uint64_t)IOCTL_TAV_INITIALIZE);
  EXPECT_EQ(init->Args[2], 260u);
  EXPECT_EQ(init->Args[3], 0u);  // no output announced
  EXPECT_EQ(init->Args[7], 0u);  // synchronous
  EXPECT_EQ(LastFrame(), Bytes(260, 0));
  EXPECT_STREQ(firmware, "----");
  EXPECT_EQ(ShowMessages, 1);

  // The next initialization sends what the frames left in the buffer,
  // including the two bytes the multiplexer time writes but does not send.
  TavMsgBox(0);
  TavSetScanTime(0x1234);
  TavSet_muxTime(-2);
  ASSERT_EQ(TavCommInit(2, 0), 0);
  Bytes sent = LastFrame();
  ASSERT_EQ(sent.size(), 260u);
  EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 7), (Bytes{0x3A, 0x52, 0x02, 0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Bytes(sent.begin() + 7, sent.end()), Bytes(253, 0));
}

TEST_F(TavLink, CommInitFailuresReturnOneQuietlyAndLeaveMessagesOn) {
  // No such link: messages are on all the same.
  EXPECT_EQ(TavCommInit(5, 0), 1);
  EXPECT_EQ(ShowMessages, 1);
  // No driver.
  FakeSetLinks(0);
  EXPECT_EQ(TavCommInit(1, 0), 1);
  // The initialization request fails: the link stays open.
  FakeSetLinks(0xE);
  ScriptFailure();
  EXPECT_EQ(TavCommInit(1, 0), 1);
  EXPECT_NE(hLink, INVALID_HANDLE_VALUE);
  char* firmware = NULL;
  TavFirmware(&firmware);
  EXPECT_STREQ(firmware, "");
  EXPECT_EQ(FakeBoxCount(), 0u);
  // Commands still go out on it.
  ScriptReply(0);
  EXPECT_EQ(TavStartScan(), 0);
}

TEST_F(TavLink, EntryRoutineRefusesASecondAttachAndClosesTheLinkOnDetach) {
  EXPECT_FALSE(DllMain(NULL, DLL_PROCESS_ATTACH, NULL));
  EXPECT_TRUE(DllMain(NULL, DLL_THREAD_ATTACH, NULL));
  EXPECT_TRUE(DllMain(NULL, DLL_THREAD_DETACH, NULL));
  OpenLink();
  TavMsgBox(1);
  EXPECT_TRUE(DllMain(NULL, DLL_PROCESS_DETACH, NULL));
  EXPECT_EQ(FakeOpenHandleCount(FAKE_DEVICE), 0u);
  EXPECT_EQ(hLink, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Attached, 0);
  EXPECT_TRUE(DllMain(NULL, DLL_PROCESS_ATTACH, NULL));

  // A failing close on unloading is ignored.
  OpenLink();
  FakeFailCall("CloseHandle", 0, ERROR_INVALID_HANDLE);
  EXPECT_TRUE(DllMain(NULL, DLL_PROCESS_DETACH, NULL));
  EXPECT_EQ(Attached, 0);
  EXPECT_EQ(FakeBoxCount(), 0u);
  EXPECT_TRUE(DllMain(NULL, DLL_PROCESS_ATTACH, NULL));
}

TEST_F(TavLink, ExchangeAnnouncesTheFrameLengthAnd270BytesOfReply) {
  OpenLink();
  RequestPayload[0] = 0x55;
  EXPECT_EQ(SendRequest(5, 1, 260), 0);
  const FakeCall* call = FakeLastCall("DeviceIoControl");
  EXPECT_EQ(call->Args[1], (uint64_t)IOCTL_TAV_EXCHANGE);
  EXPECT_EQ(call->Args[2], 4u);
  EXPECT_EQ(call->Args[3], 270u);
  EXPECT_EQ(call->Args[5], (uint64_t)(uintptr_t)ReplyBuffer);
  EXPECT_NE(call->Args[6], 0u);  // a byte count receiver
  EXPECT_EQ(call->Args[7], 0u);  // no overlapped structure
  EXPECT_EQ(LastFrame(), (Bytes{0x3A, 0x05, 0x01, 0x55}));
}

// How the status comes out of the reply.
struct StatusCase {
  const char* what;
  bool earlierReply;  // a reply with status 5 came before
  bool fail;
  int status;
  int byteCount;
  int expected;
};

TEST_F(TavLink, StatusIsTheUnsignedStatusByteOrMinusOneWhenTheCallFailed) {
  const StatusCase cases[] = {
      {"success", false, false, 0, -1, 0},
      {"instrument error", false, false, 10, -1, 10},
      {"status byte 0xC8", false, false, 0xC8, -1, 200},
      {"status byte 0xFF", false, false, 0xFF, -1, 255},
      {"failed call", false, true, 0, -1, -1},
      {"failed call after a reply", true, true, 0, -1, -1},
      {"one-byte reply keeps the earlier status byte", true, false, 9, 1, 5},
      {"empty reply keeps the earlier status byte", true, false, 9, 0, 5},
      {"one-byte reply with no reply before", false, false, 9, 1, 0},
      {"two-byte reply carries the status", true, false, 9, 2, 9},
  };
  for (const StatusCase& c : cases) {
    SetUp();
    OpenLink();
    if (c.earlierReply) {
      ScriptReply(5);
      ASSERT_EQ(TavStopScan(), 5);
    }
    if (c.fail)
      ScriptFailure();
    else
      ScriptReply(c.status, Bytes(), c.byteCount);
    EXPECT_EQ(TavStopScan(), c.expected) << c.what;
    TearDown();
  }
}

TEST_F(TavLink, NoLinkGivesMinusOneWithTwoBoxesWhenMessagesAreOn) {
  EXPECT_EQ(TavStartScan(), -1);  // messages never turned on
  EXPECT_EQ(FakeBoxCount(), 0u);

  EXPECT_EQ(TavCommInit(1, 0), 0);
  EXPECT_EQ(TavClose(), 0);
  ForgetCalls();
  EXPECT_EQ(TavStartScan(), -1);
  EXPECT_EQ(BoxesSince(), (std::vector<std::string>{"TAV-8 not communicating", "TAV-8 not communicating"}));
  // The exchange was still attempted, on no handle.
  EXPECT_EQ(FakeLastCall("DeviceIoControl")->Args[0], (uint64_t)(uintptr_t)INVALID_HANDLE_VALUE);

  TavMsgBox(0);
  ForgetCalls();
  EXPECT_EQ(TavStartScan(), -1);
  EXPECT_TRUE(BoxesSince().empty());
}

TEST_F(TavLink, MessageSwitch) {
  OpenLink();
  struct {
    int on;
    size_t boxes;
  } cases[] = {{0, 0}, {1, 1}, {2, 1}, {-1, 1}, {0, 0}};
  for (auto c : cases) {
    TavMsgBox(c.on);
    ForgetCalls();
    ScriptReply(14);
    EXPECT_EQ(TavStartScan(), 14);
    EXPECT_EQ(BoxesSince().size(), c.boxes) << c.on;
  }
  // Opening and closing leave the switch alone; TavCommInit turns it on.
  TavMsgBox(0);
  ASSERT_EQ(TavOpen(2), 0);
  ASSERT_EQ(TavClose(), 0);
  EXPECT_EQ(ShowMessages, 0);
  TavCommInit(1, 0);
  EXPECT_EQ(ShowMessages, 1);
}

TEST_F(TavLink, StatusTextsBoxesHaveNoOwnerNoCaptionAndStyle2030) {
  const struct {
    int status;
    const char* text;
  } cases[] = {
      {1, "Unknown error:1"},
      {9, "Unknown error:9"},
      {10, "Bad channel number"},
      {11, "Unknown error:11"},
      {12, "Bad formula"},
      {13, "Bad formula"},
      {14, "Table full"},
      {15, "Bad probe number"},
      {16, "Bad formula"},
      {17, "Bad number in formula"},
      {18, "Bad symbol"},
      {19, "Formula too complex"},
      {20, "Circular channel definition"},
      {21, "Memory full"},
      {22, "Bad formula"},
      {23, "Bad set in GOR or LOR function"},
      {24, "Unknown error:24"},
      {200, "Unknown error:200"},
      {255, "Unknown error:255"},
  };
  OpenLink();
  TavMsgBox(1);
  for (auto c : cases) {
    ForgetCalls();
    ScriptReply(c.status);
    EXPECT_EQ(TavClearAllChannels(), c.status);
    ASSERT_EQ(BoxesSince(), std::vector<std::string>{c.text}) << c.status;
    const FakeCall* box = FakeLastCall("MessageBoxA");
    EXPECT_EQ(box->Args[0], 0u);  // no owner window
    EXPECT_TRUE(box->Text2Null);  // the system's default caption
    EXPECT_EQ(box->Args[1], 0x2030u);
  }
  ForgetCalls();
  ScriptReply(0);
  EXPECT_EQ(TavClearAllChannels(), 0);
  EXPECT_TRUE(BoxesSince().empty());  // status 0 is never shown
}

TEST_F(TavLink, StatusesOutsideTheInstrumentsRangeAreFormattedSigned) {
  TavMsgBox(1);
  const struct {
    int status;
    const char* text;
  } cases[] = {{-1, "TAV-8 not communicating"},
               {-2, "Unknown error:-2"},
               {256, "Unknown error:256"},
               {INT_MIN, "Unknown error:-2147483648"},
               {INT_MAX, "Unknown error:2147483647"}};
  for (auto c : cases) {
    ForgetCalls();
    ReportError(c.status);
    EXPECT_EQ(BoxesSince(), std::vector<std::string>{c.text});
  }
  TavMsgBox(0);
  ForgetCalls();
  ReportError(10);
  EXPECT_TRUE(BoxesSince().empty());
}

TEST_F(TavLink, AFailedBoxChangesNothing) {
  OpenLink();
  TavMsgBox(1);
  FakeFailCall("MessageBoxA", 0, ERROR_INVALID_HANDLE);
  unsigned char value[4] = {1, 1, 1, 1};
  ScriptReply(10);
  EXPECT_EQ(TavReadChannel(3, value), 10);
  EXPECT_EQ(FakeBoxCount(), 1u);  // tried once, not repeated
}
