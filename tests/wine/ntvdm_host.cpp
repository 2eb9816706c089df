// ntvdm.exe for the Wine tests of tavbridge.dll.
//
// Wine has no virtual DOS machine, and the 16-bit library tavapi16.dll is
// outside the kit. This program stands in for both: named ntvdm.exe and
// exporting the NTVDM services itself, it gets the bridge's ntvdm.exe
// imports bound to its own functions when it loads the real tavbridge.dll;
// it holds the registers and one 16-bit segment, and makes the dispatch
// calls a 16-bit program would make, against the simulated driver.
//   ntvdm.exe refused   no driver installed: the load is refused after one box
//   ntvdm.exe session   the driver with links 1 to 3: a whole 16-bit session
//   ntvdm.exe link3     the driver with link 3 only: the load succeeds
#include <stdio.h>
#include <string.h>
#include <windows.h>
#include <winternl.h>

#include "boxhook.h"
#include "check.h"
#include "ntvdm.h"
#include "simctl.h"

// --- The simulated virtual machine ------------------------------------------

struct Registers {
  WORD AX, BX, CX, DX, SI, DI, ES;
  WORD CF;
};
static Registers Regs;

// The services the bridge called, in order: "getDX getCX setAX".
static char Trace[512];
// Arguments of the last two address translations.
static ULONG Translated[2][3];
static unsigned Translations;

static void Note(const char* service) {
  if (strlen(Trace) + strlen(service) + 2 > sizeof Trace) return;
  if (Trace[0] != 0) strcat(Trace, " ");
  strcat(Trace, service);
}

static const WORD SELECTOR = 0x00A7;
static BYTE Segment[0x10000];

extern "C" {
USHORT WINAPI getBX(void) { Note("getBX"); return Regs.BX; }
USHORT WINAPI getCX(void) { Note("getCX"); return Regs.CX; }
USHORT WINAPI getDX(void) { Note("getDX"); return Regs.DX; }
USHORT WINAPI getSI(void) { Note("getSI"); return Regs.SI; }
USHORT WINAPI getDI(void) { Note("getDI"); return Regs.DI; }
USHORT WINAPI getES(void) { Note("getES"); return Regs.ES; }
void WINAPI setAX(USHORT value) { Note("setAX"); Regs.AX = value; }
void WINAPI setCX(USHORT value) { Note("setCX"); Regs.CX = value; }
void WINAPI setCF(ULONG value) { Note("setCF"); Regs.CF = value != 0; }

// One segment, in protected mode; anything else cannot be translated.
PVOID WINAPI MGetVdmPointer(ULONG address, ULONG size, BOOL protectedMode) {
  Note("MGetVdmPointer");
  ULONG* args = Translated[Translations++ % 2];
  args[0] = address;
  args[1] = size;
  args[2] = (ULONG)protectedMode;
  ULONG offset = address & 0xFFFF;
  if (!protectedMode || (address >> 16) != SELECTOR || offset + size > sizeof Segment) return NULL;
  return Segment + offset;
}
}

// --- The 16-bit caller ---------------------------------------------------------

typedef void(WINAPI* VddRoutine)(void);
static HMODULE Bridge;
static VddRoutine RegisterInit;
static VddRoutine Dispatch;

// Calls a bridge routine and says whether it returned with the stack
// pointer where it was: a routine or service of the wrong calling
// convention moves it (when it does not crash outright).
static bool CallBridge(VddRoutine routine) {
  Trace[0] = 0;
  Translations = 0;
  DWORD before, after;
  __asm__ __volatile__("movl %%esp, %0" : "=r"(before));
  routine();
  __asm__ __volatile__("movl %%esp, %0" : "=r"(after));
  return before == after;
}

// Registers set to values no protocol step produces, so stray writes show.
static void FillRegisters(void) {
  Regs.AX = 0xA1A1;
  Regs.BX = 0xB2B2;
  Regs.CX = 0xC3C3;
  Regs.DX = 0xD4D4;
  Regs.SI = 0x5E5E;
  Regs.DI = 0xD1D1;
  Regs.ES = 0xE5E5;
  Regs.CF = 1;
}

static bool SameRegisters(const Registers& a, const Registers& b) {
  return memcmp(&a, &b, sizeof a) == 0;
}

// A dispatch call with DX = function and CX = cx; returns AX.
static WORD Call(WORD function, WORD cx) {
  Regs.DX = function;
  Regs.CX = cx;
  CHECK(CallBridge(Dispatch));
  return Regs.AX;
}

static const WORD IN_OFFSET = 0x1000, OUT_OFFSET = 0xFE00;

// Puts `request` at ES:SI, announces `outLength` bytes at ES:DI, then
// dispatches `function`. The output area is filled with 0xEE first.
static WORD Transfer(WORD function, const BYTE* request, WORD length, WORD outLength) {
  memcpy(Segment + IN_OFFSET, request, length);
  memset(Segment + OUT_OFFSET, 0xEE, sizeof Segment - OUT_OFFSET);
  Regs.ES = SELECTOR;
  Regs.SI = IN_OFFSET;
  Regs.BX = length;
  Regs.DI = OUT_OFFSET;
  return Call(function, outLength);
}

// The kernel driver's links that this process holds open: the device
// names of its handles, such as \Device\TAV1, separated by spaces. The
// simulator's control device is not a link.
static const char* OpenLinks(void) {
  static char names[256];
  names[0] = 0;
  for (ULONG_PTR value = 4; value < 0x1000; value += 4) {
    HANDLE handle = (HANDLE)value;
    DWORD flags;
    if (!GetHandleInformation(handle, &flags)) continue;
    union {
      UNICODE_STRING Name;
      BYTE Bytes[1024];
    } info;
    ULONG length = 0;
    if (NtQueryObject(handle, ObjectNameInformation, &info, sizeof info, &length) != 0) continue;
    char name[128];
    int n = WideCharToMultiByte(CP_ACP, 0, info.Name.Buffer, info.Name.Length / 2, name,
                                sizeof name - 1, NULL, NULL);
    name[n] = 0;
    if (strncmp(name, "\\Device\\TAV", 11) != 0 || strlen(name) != 12) continue;
    if (strlen(names) + strlen(name) + 2 > sizeof names) break;
    if (names[0] != 0) strcat(names, " ");
    strcat(names, name);
  }
  return names;
}

static HMODULE LoadBridge(void) {
  Bridge = LoadLibraryA("tavbridge.dll");
  if (Bridge == NULL) return NULL;
  RegisterInit = (VddRoutine)GetProcAddress(Bridge, "VDDRegisterInit");
  Dispatch = (VddRoutine)GetProcAddress(Bridge, "VDDDispatch");
  CHECK(RegisterInit != NULL);
  CHECK(Dispatch != NULL);
  CHECK(GetProcAddress(Bridge, "VDDInitialize") != NULL);
  return Bridge;
}

// --- Scenarios -----------------------------------------------------------------

// No driver: the probe finds no link, shows one box, and the load fails.
static void LoadRefused(void) {
  CHECK(BoxHookStart());
  FillRegisters();
  Registers before = Regs;
  SetLastError(0);
  CHECK(LoadBridge() == NULL);
  CHECK_INT(GetLastError(), ERROR_DLL_INIT_FAILED);
  BoxHookStop();
  CHECK_INT(BoxCount, 1);
  CHECK_TEXT(Boxes[0].Text, "Unable to locate kernel driver");
  CHECK_TEXT(Boxes[0].Caption, "TavBridge");
  // Style 0x30: the exclamation icon and one OK button.
  CHECK(Boxes[0].Exclamation);
  CHECK_INT(Boxes[0].Buttons, 1);
  CHECK(Boxes[0].OkButton);
  CHECK(GetModuleHandleA("tavbridge.dll") == NULL);
  CHECK_TEXT(Trace, "");  // the probe touches no register
  CHECK(SameRegisters(Regs, before));
}

// Checks the request the driver received as frame `index`.
static void CheckFrame(uint32_t index, uint32_t link, uint32_t code, const BYTE* bytes,
                       uint32_t length, uint32_t outLength) {
  SimFrame frame;
  if (!CHECK(SimFrameAt(index, &frame))) return;
  CHECK_INT(frame.Link, link);
  CHECK_INT(frame.Code, code);
  CHECK_INT(frame.OutLength, outLength);
  CHECK_BYTES(frame.In, frame.InLength, bytes, length);
}

static void Session(void) {
  CHECK(SimReset());
  CHECK_INT(SimLinks(), 0xE);

  CHECK(BoxHookStart());
  FillRegisters();
  CHECK(LoadBridge() != NULL);
  BoxHookStop();
  CHECK_INT(BoxCount, 0);
  if (Bridge == NULL) return;
  CHECK_TEXT(Trace, "");

  // Registration: only the carry is cleared.
  Registers before = Regs;
  CHECK(CallBridge(RegisterInit));
  CHECK_TEXT(Trace, "setCF");
  before.CF = 0;
  CHECK(SameRegisters(Regs, before));
  Regs.CF = 1;

  CHECK_TEXT(OpenLinks(), "");  // the probe closed what it opened
  static const BYTE probe[] = {':', 0x04, 0x01, 0x03};

  // No link yet: an exchange fails, and reaches no driver.
  CHECK_INT(Transfer(3, probe, sizeof probe, 270), 1);
  CHECK_INT(SimFrames(), 0);

  // Function codes outside 0 to 3 answer AX = 1 and change nothing else.
  static const WORD unknown[] = {4, 0xFFFF, 0x0100, 0x0103};
  for (unsigned i = 0; i < sizeof unknown / sizeof unknown[0]; i++) {
    Regs.DX = unknown[i];
    before = Regs;
    CHECK(CallBridge(Dispatch));
    before.AX = 1;
    if (!CHECK(SameRegisters(Regs, before))) printf("  for DX = 0x%04X\n", unknown[i]);
    CHECK_TEXT(Trace, "getDX setAX");
  }

  // Open link 1: AX = 0, one handle more, CX left alone.
  CHECK_INT(Call(0, 1), 0);
  CHECK_TEXT(Trace, "getDX getCX setAX");
  CHECK_INT(Regs.CX, 1);
  CHECK_TEXT(OpenLinks(), "\\Device\\TAV1");

  // The initialization request: the caller's 260 bytes reach the driver
  // as they are; CX keeps the caller's value.
  BYTE init[260];
  for (unsigned i = 0; i < sizeof init; i++) init[i] = (BYTE)(i * 7 + 1);
  init[0] = ':';
  SimForgetFrames();
  CHECK_INT(Transfer(2, init, sizeof init, 16), 0);
  CHECK_TEXT(Trace, "getDX getES getSI getBX getDI getCX MGetVdmPointer MGetVdmPointer setAX");
  CHECK_INT(Regs.CX, 16);
  CHECK_INT(Translated[0][0], ((ULONG)SELECTOR << 16) | IN_OFFSET);
  CHECK_INT(Translated[0][1], sizeof init);
  CHECK_INT(Translated[0][2], TRUE);
  CHECK_INT(Translated[1][0], ((ULONG)SELECTOR << 16) | OUT_OFFSET);
  CHECK_INT(Translated[1][1], 16);
  CHECK_INT(Translated[1][2], TRUE);
  CHECK_INT(SimFrames(), 1);
  CheckFrame(0, 1, 0x222008, init, sizeof init, 16);

  // Three exchanges: each RequestFrame from ES:SI reaches the driver byte
  // for byte, the ReplyFrame lands at ES:DI and its byte count in CX.
  struct Exchange {
    BYTE Request[8];
    WORD RequestLength;
    WORD Status;
    BYTE Payload[6];
    WORD PayloadLength;
    int ByteCount;  // reported by the driver, -1 the whole frame
  };
  static const Exchange exchanges[] = {
      {{':', 0x04, 0x01, 0x03}, 4, 0, {0x11, 0x22, 0x33, 0x44}, 4, -1},
      {{':', 0x03, 0x05, 0x02, 'A', '+', 'B', ';'}, 8, 0x0B, {0}, 0, -1},
      {{':', 0x0D, 0x01, 0x02}, 4, 0, {'A', '*', '2', 0, 0x7F, 0x80}, 6, 5},  // short reply
  };
  SimForgetFrames();
  for (unsigned i = 0; i < sizeof exchanges / sizeof exchanges[0]; i++) {
    const Exchange* e = &exchanges[i];
    CHECK(SimReply(e->Status, e->Payload, e->PayloadLength, e->ByteCount));
    BYTE reply[16] = {':', (BYTE)e->Status, (BYTE)e->PayloadLength};
    memcpy(reply + 3, e->Payload, e->PayloadLength);
    WORD count = (WORD)(e->ByteCount < 0 ? 3 + e->PayloadLength : e->ByteCount);
    reply[count] = 0xEE;  // the byte after the reply is left alone

    CHECK_INT(Transfer(3, e->Request, e->RequestLength, 270), 0);
    CHECK_TEXT(Trace,
               "getDX getES getSI getBX getDI getCX MGetVdmPointer MGetVdmPointer setAX setCX");
    CHECK_INT(Regs.CX, count);
    CHECK_BYTES(Segment + OUT_OFFSET, count + 1u, reply, count + 1u);
    CheckFrame(i, 1, 0x222004, e->Request, e->RequestLength, 270);
  }
  CHECK_INT(SimFrames(), 3);

  // The driver fails the call: AX = 1.
  CHECK(SimFailNext());
  CHECK_INT(Transfer(3, probe, sizeof probe, 270), 1);

  // An address the machine cannot translate never reaches the driver.
  SimForgetFrames();
  Regs.ES = 0x00AF;
  CHECK_INT(Call(3, 270), 1);
  CHECK_TEXT(Trace, "getDX getES getSI getBX getDI getCX MGetVdmPointer MGetVdmPointer setAX setCX");
  memcpy(Segment + 0xFFFC, probe, sizeof probe);
  Regs.ES = SELECTOR;
  Regs.SI = 0xFFFC;
  Regs.BX = 5;  // one byte beyond the segment
  CHECK_INT(Call(3, 270), 1);
  CHECK_INT(SimFrames(), 0);

  // Open again without a close: the first link is closed, not abandoned.
  CHECK_INT(Call(0, 0x0102), 0);  // '0' + 0x102 wraps to '2'
  CHECK_TEXT(OpenLinks(), "\\Device\\TAV2");
  CHECK_INT(Transfer(3, probe, sizeof probe, 270), 0);
  CheckFrame(0, 2, 0x222004, probe, sizeof probe, 270);
  // A failed open leaves no link, and closes the one before.
  CHECK_INT(Call(0, 4), 1);
  CHECK_TEXT(OpenLinks(), "");
  SimForgetFrames();
  CHECK_INT(Transfer(3, probe, sizeof probe, 270), 1);
  CHECK_INT(SimFrames(), 0);

  // Close: AX = 0, the handle is gone; closing again calls nothing.
  CHECK_INT(Call(0, 3), 0);
  CHECK_TEXT(OpenLinks(), "\\Device\\TAV3");
  CHECK_INT(Call(1, 0x1234), 0);
  CHECK_TEXT(Trace, "getDX setAX");
  CHECK_INT(Regs.CX, 0x1234);
  CHECK_TEXT(OpenLinks(), "");
  CHECK_INT(Call(1, 0), 0);
  CHECK_TEXT(OpenLinks(), "");
  CHECK_INT(Transfer(3, probe, sizeof probe, 270), 1);
  CHECK_INT(SimFrames(), 0);

  // Unloading with a link open closes nothing: the handle ends with the process.
  CHECK_INT(Call(0, 1), 0);
  CHECK(FreeLibrary(Bridge));
  CHECK_TEXT(OpenLinks(), "\\Device\\TAV1");
}

// The driver with only link 3: the probe tries links 1 and 2 in vain,
// finds link 3 and loads; only link 3 opens afterwards.
static void OnlyLinkThree(void) {
  CHECK(SimReset());
  CHECK_INT(SimLinks(), 0x8);
  CHECK(BoxHookStart());
  FillRegisters();
  CHECK(LoadBridge() != NULL);
  BoxHookStop();
  CHECK_INT(BoxCount, 0);
  if (Bridge == NULL) return;
  CHECK_TEXT(OpenLinks(), "");

  CHECK_INT(Call(0, 1), 1);
  CHECK_TEXT(OpenLinks(), "");
  CHECK_INT(Call(0, 3), 0);
  CHECK_TEXT(OpenLinks(), "\\Device\\TAV3");
  static const BYTE probe[] = {':', 0x04, 0x01, 0x03};
  CHECK_INT(Transfer(3, probe, sizeof probe, 270), 0);
  CHECK_INT(SimFrames(), 1);
  CheckFrame(0, 3, 0x222004, probe, sizeof probe, 270);
  CHECK_INT(Call(1, 0), 0);
  CHECK_TEXT(OpenLinks(), "");
  CHECK(FreeLibrary(Bridge));
}

int main(int argc, char** argv) {
  // The bridge's imports from ntvdm.exe bind to this program only if it is
  // the module of that name.
  CHECK(GetModuleHandleA("ntvdm.exe") == GetModuleHandleA(NULL));
  if (argc == 2 && strcmp(argv[1], "refused") == 0) {
    LoadRefused();
  } else if (argc == 2 && strcmp(argv[1], "session") == 0) {
    Session();
  } else if (argc == 2 && strcmp(argv[1], "link3") == 0) {
    OnlyLinkThree();
  } else {
    printf("usage: ntvdm refused|session|link3\n");
    return 2;
  }
  return FinishChecks();
}
