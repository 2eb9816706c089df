// tavapi32.dll against scripted replies of the simulated driver: statuses,
// bytes copied back, short and failed replies, and the message boxes shown
// (recorded through a window hook).
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "boxhook.h"
#include "check.h"
#include "simctl.h"
#include "tavapi32.h"

// Checks that exactly the boxes `texts` were shown since the last clear,
// each as the library shows them: the text, the default caption, the
// exclamation icon and one OK button.
static void ExpectBoxes(const char* what, int count, const char* text) {
  char label[200];
  snprintf(label, sizeof label, "%s: boxes shown", what);
  CheckInt(BoxCount, count, label, __LINE__);
  for (int i = 0; i < BoxCount && i < BOX_MAX; i++) {
    snprintf(label, sizeof label, "%s: box %d text", what, i + 1);
    CheckText(Boxes[i].Text, text, label, __LINE__);
    snprintf(label, sizeof label, "%s: box %d caption", what, i + 1);
    CheckText(Boxes[i].Caption, DefaultBoxCaption(), label, __LINE__);
    snprintf(label, sizeof label, "%s: box %d exclamation icon, one OK button", what, i + 1);
    Check(Boxes[i].Exclamation && Boxes[i].Buttons == 1 && Boxes[i].OkButton, label, __LINE__);
  }
  BoxHookClear();
}

static const unsigned char FOUR[4] = {0x01, 0x02, 0x03, 0x04};

static void StatusTexts(void) {
  static const struct {
    int status;
    const char* text;
  } cases[] = {
      {10, "Bad channel number"}, {11, "Unknown error:11"},
      {12, "Bad formula"},        {13, "Bad formula"},
      {14, "Table full"},         {15, "Bad probe number"},
      {16, "Bad formula"},        {17, "Bad number in formula"},
      {18, "Bad symbol"},         {19, "Formula too complex"},
      {20, "Circular channel definition"}, {21, "Memory full"},
      {22, "Bad formula"},        {23, "Bad set in GOR or LOR function"},
      {1, "Unknown error:1"},     {9, "Unknown error:9"},
      {24, "Unknown error:24"},   {200, "Unknown error:200"},
      {255, "Unknown error:255"},
  };
  for (unsigned i = 0; i < sizeof cases / sizeof cases[0]; i++) {
    char what[64];
    snprintf(what, sizeof what, "status %d", cases[i].status);
    unsigned char value[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    SimReply(cases[i].status, FOUR, 4);
    CheckInt(TavReadChannel(1, value), cases[i].status, what, __LINE__);
    static const unsigned char untouched[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    CheckBytes(value, 4, untouched, 4, what, __LINE__);
    ExpectBoxes(what, 1, cases[i].text);
  }
}

static void CopiedBytes(void) {
  // The four-byte readings copy the reply payload byte for byte on status 0.
  int(TAVAPI * const readers[])(int, void*) = {TavReadChannel, TavReadLvdt,  TavReadAnalog,
                                        TavReadTfsv,    TavReadAfsv,  TavReadTzero,
                                        TavReadAzero,   TavReadCzero, TavReadCscale};
  for (unsigned i = 0; i < sizeof readers / sizeof readers[0]; i++) {
    unsigned char value[4] = {0};
    SimReply(0, FOUR, 4);
    CheckInt(readers[i](2, value), 0, "four-byte reading status", __LINE__);
    CheckBytes(value, 4, FOUR, 4, "four-byte reading copied", __LINE__);
  }
  ExpectBoxes("status 0", 0, "");

  unsigned short setting = 0;
  unsigned char ff = 0xFF;
  SimReply(0, &ff, 1);
  CHECK_INT(TavGetFpOut(&setting), 0);
  CHECK_INT(setting, 255);
  // The byte settings store reply byte 0 whatever the status.
  unsigned char seven = 7;
  SimReply(14, &seven, 1);
  CHECK_INT(TavGetFpIn(&setting), 14);
  CHECK_INT(setting, 7);
  ExpectBoxes("TavGetFpIn with status 14", 1, "Table full");

  static const char text[] = "P1+P2";
  SimReply(0, text, sizeof text);
  char* formula = NULL;
  CHECK_INT(TavReadFormula(3, &formula), 0);
  CHECK_TEXT(formula, "P1+P2");
  char* kept = formula;
  SimReply(10, NULL, 0);
  formula = NULL;
  CHECK_INT(TavReadFormula(40, &formula), 10);
  CHECK(formula == NULL);
  ExpectBoxes("TavReadFormula with status 10", 1, "Bad channel number");

  unsigned char copy[4] = {0};
  SimReply(0, FOUR, 4);
  CHECK_INT(TavReadDirectCopy(2, FOUR, copy), 0);
  CHECK_BYTES(copy, 4, FOUR, 4);
  unsigned char* reply = NULL;
  SimReply(0, FOUR, 4);
  CHECK_INT(TavMemory(0, 4, &reply), 0);
  CHECK(reply == (unsigned char*)kept);  // the reply payload, at one fixed address
  CHECK_BYTES(reply, 4, FOUR, 4);
}

static void ShortAndFailedReplies(void) {
  unsigned char value[4] = {0};
  // A reply of one byte leaves the status byte of the reply before.
  SimReply(12, NULL, 0);
  CHECK_INT(TavReadChannel(1, value), 12);
  SimReply(0, FOUR, 4, 1);
  CHECK_INT(TavReadChannel(1, value), 12);
  ExpectBoxes("short reply after status 12", 2, "Bad formula");

  // A failed call: -1, two boxes, the reply buffer as the last reply left it.
  unsigned char five = 5;
  SimReply(0, &five, 1);
  unsigned short setting = 0;
  CHECK_INT(TavGetFpIn(&setting), 0);
  SimFailNext();
  setting = 0;
  CHECK_INT(TavGetFpIn(&setting), -1);
  CHECK_INT(setting, 5);
  ExpectBoxes("failed exchange", 2, "TAV-8 not communicating");
  unsigned char storage[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  static const unsigned char untouched[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  SimFailNext();
  CHECK_INT(TavReadCscale(1, storage), -1);
  CHECK_BYTES(storage, 4, untouched, 4);
  ExpectBoxes("failed calibration reading", 2, "TAV-8 not communicating");

  // The message switch.
  TavMsgBox(0);
  SimFailNext();
  CHECK_INT(TavStartScan(), -1);
  SimReply(10, NULL, 0);
  CHECK_INT(TavStartScan(), 10);
  ExpectBoxes("TavMsgBox(0)", 0, "");
  TavMsgBox(-1);
  SimReply(21, NULL, 0);
  CHECK_INT(TavStopScan(), 21);
  ExpectBoxes("TavMsgBox(-1)", 1, "Memory full");
  TavMsgBox(0);
  TavMsgBox(2);
  SimReply(19, NULL, 0);
  CHECK_INT(TavStopScan(), 19);
  ExpectBoxes("TavMsgBox(2)", 1, "Formula too complex");
}

static void OpenInitClose(void) {
  // A failed initialization request: 1, no box, the link stays open.
  SimFailNext();
  CHECK_INT(TavCommInit(1, 0), 1);
  ExpectBoxes("failed initialization", 0, "");
  uint32_t before = SimFrames();
  SimReply(0, NULL, 0);
  CHECK_INT(TavStopScan(), 0);
  CHECK_INT(SimFrames(), before + 1);

  // No link after TavClose: -1 and two boxes, and nothing reaches the driver.
  CHECK_INT(TavClose(), 0);
  before = SimFrames();
  CHECK_INT(TavStartScan(), -1);
  CHECK_INT(SimFrames(), before);
  ExpectBoxes("command after TavClose", 2, "TAV-8 not communicating");

  // TavCommInit with a link number out of range turns messages on all the same.
  TavMsgBox(0);
  CHECK_INT(TavCommInit(5, 0), 1);
  CHECK_INT(TavStartScan(), -1);
  ExpectBoxes("after TavCommInit(5, 0)", 2, "TAV-8 not communicating");
  CHECK_INT(TavCommInit(1, 0), 0);
}

int main() {
  CHECK(BoxHookStart());
  CHECK(SimReset());
  // Messages never turned on: a failure shows nothing.
  unsigned char value[4];
  CHECK_INT(TavReadChannel(1, value), -1);
  ExpectBoxes("before TavCommInit", 0, "");

  CHECK_INT(TavCommInit(1, 0), 0);
  SimReply(0, NULL, 0);
  CHECK_INT(TavStartScan(), 0);
  ExpectBoxes("status 0", 0, "");
  StatusTexts();
  CopiedBytes();
  ShortAndFailedReplies();
  OpenInitClose();
  CHECK_INT(TavClose(), 0);
  BoxHookStop();
  return FinishChecks();
}
