// Control of the host build's fake platform, for tests.
//
// Every fake Win32 function logs its call with its arguments, consults the
// failure injection, and keeps its handles in one handle table, so a test
// can script a run, read back what the kit did and check that nothing
// leaked. The fake allocates nothing: all tables are fixed-size.
#ifndef TAV_FAKE_H
#define TAV_FAKE_H

#include "winapi.h"

enum {
  FAKE_LOG_SIZE = 512,
  FAKE_TEXT = 300,
  FAKE_DATA = 300,
  FAKE_ARGS = 8,
  FAKE_HANDLES = 128,
};

// One logged platform call.
struct FakeCall {
  char Name[32];
  char Text[FAKE_TEXT];   // first text argument (file, device, key, message text ...)
  char Text2[FAKE_TEXT];  // second text argument (caption, value name ...)
  bool TextNull;          // the first text argument was NULL
  bool Text2Null;         // the second text argument was NULL
  uint64_t Args[FAKE_ARGS];
  uint8_t Data[FAKE_DATA];  // input bytes (device control), value data ...
  uint32_t DataLength;      // full length passed, even beyond FAKE_DATA
  bool Failed;              // the call reported failure
};

// A fresh machine: empty log, no failures, no handles, links 1 to 3
// present, the simulated instrument powered on.
void FakeReset(void);

// --- Call log ----------------------------------------------------------
unsigned FakeCallCount(void);
const FakeCall* FakeCallAt(unsigned index);
unsigned FakeCountCalls(const char* name);
// The last call of that name, or NULL.
const FakeCall* FakeLastCall(const char* name);
// The index-th call (from 0) of that name, or NULL.
const FakeCall* FakeNthCall(const char* name, unsigned index);

// For fake implementations: a new log entry with its name set. When the
// log is full the entry is a scratch one that is not kept.
FakeCall* FakeLogCall(const char* name);
void FakeCopyText(char* to, const char* from);  // NULL gives ""

// --- Failure injection -----------------------------------------------------
// Fail the nth call (from 1) of the named function with `error`; nth 0
// fails every call of it.
void FakeFailCall(const char* name, unsigned nth, DWORD error);
// Fail the nth platform call of any name (from 1), for fault injection.
void FakeFailNthPlatformCall(unsigned nth, DWORD error);
// Platform calls made since the reset.
unsigned FakePlatformCallCount(void);
// For fake implementations: counts the call and says whether it is to fail;
// when it is, *error holds the code and the last error is set to it.
bool FakeInjectedFailure(const char* name, DWORD* error);

// --- Handle table ------------------------------------------------------------
enum FakeHandleKind {
  FAKE_DEVICE = 1,
  FAKE_SC_MANAGER,
  FAKE_SERVICE,
  FAKE_REGISTRY_KEY,
};
// A new open handle of that kind; Ref and Name are the implementation's.
void* FakeOpenHandle(int kind, intptr_t ref, const char* name);
// The kind of an open handle, 0 when it is not open (or never was).
int FakeHandleKindOf(const void* handle);
intptr_t FakeHandleRef(const void* handle);
const char* FakeHandleName(const void* handle);
void FakeCloseHandleEntry(const void* handle);
// Open handles of a kind (0: of any kind).
unsigned FakeOpenHandleCount(int kind);

// --- Devices -------------------------------------------------------------------
// Bit n set: the link \\.\TAVn exists (n from 0 to 9). Default: links 1 to 3.
void FakeSetLinks(unsigned mask);

// --- Message boxes ---------------------------------------------------------
// Message boxes are logged as "MessageBoxA": Text the text, Text2 the
// caption (Text2Null when none was given), Args[0] the owner, Args[1] the style.
unsigned FakeBoxCount(void);
const FakeCall* FakeBoxAt(unsigned index);

#endif  // TAV_FAKE_H
