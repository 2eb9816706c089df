// The fake platform's call log, failure injection and handle table.
#include <string.h>

#include "fake.h"
#include "simulator.h"

void FakeResetDevices(void);
void FakeResetFiles(void) __attribute__((weak));
void FakeResetServices(void) __attribute__((weak));
void FakeResetRegistry(void) __attribute__((weak));

static FakeCall Log[FAKE_LOG_SIZE];
static unsigned LogCount;
static FakeCall Scratch;

struct FailRule {
  char Name[32];
  unsigned Nth;
  unsigned Seen;
  DWORD Error;
};
static FailRule Rules[16];
static unsigned RuleCount;
static unsigned PlatformCalls;
static unsigned FailNth;
static DWORD FailNthError;

struct HandleEntry {
  int Kind;
  intptr_t Ref;
  char Name[FAKE_TEXT];
};
static HandleEntry Handles[FAKE_HANDLES];
static DWORD LastError;

void FakeReset(void) {
  LogCount = 0;
  RuleCount = 0;
  PlatformCalls = 0;
  FailNth = 0;
  memset(Handles, 0, sizeof Handles);
  LastError = 0;
  FakeResetDevices();
  if (FakeResetFiles) FakeResetFiles();
  if (FakeResetServices) FakeResetServices();
  if (FakeResetRegistry) FakeResetRegistry();
  SimPowerOn();
}

DWORD GetLastError(void) { return LastError; }
void SetLastError(DWORD error) { LastError = error; }

unsigned FakeCallCount(void) { return LogCount; }

const FakeCall* FakeCallAt(unsigned index) { return index < LogCount ? &Log[index] : 0; }

unsigned FakeCountCalls(const char* name) {
  unsigned count = 0;
  for (unsigned i = 0; i < LogCount; i++)
    if (strcmp(Log[i].Name, name) == 0) count++;
  return count;
}

const FakeCall* FakeLastCall(const char* name) {
  for (unsigned i = LogCount; i-- > 0;)
    if (strcmp(Log[i].Name, name) == 0) return &Log[i];
  return 0;
}

const FakeCall* FakeNthCall(const char* name, unsigned index) {
  for (unsigned i = 0; i < LogCount; i++)
    if (strcmp(Log[i].Name, name) == 0 && index-- == 0) return &Log[i];
  return 0;
}

FakeCall* FakeLogCall(const char* name) {
  FakeCall* call = LogCount < FAKE_LOG_SIZE ? &Log[LogCount++] : &Scratch;
  memset(call, 0, sizeof *call);
  strncpy(call->Name, name, sizeof call->Name - 1);
  return call;
}

void FakeCopyText(char* to, const char* from) {
  if (from == 0) from = "";
  strncpy(to, from, FAKE_TEXT - 1);
  to[FAKE_TEXT - 1] = 0;
}

void FakeFailCall(const char* name, unsigned nth, DWORD error) {
  if (RuleCount == sizeof Rules / sizeof Rules[0]) return;
  FailRule* rule = &Rules[RuleCount++];
  strncpy(rule->Name, name, sizeof rule->Name - 1);
  rule->Name[sizeof rule->Name - 1] = 0;
  rule->Nth = nth;
  rule->Seen = 0;
  rule->Error = error;
}

void FakeFailNthPlatformCall(unsigned nth, DWORD error) {
  FailNth = nth;
  FailNthError = error;
}

unsigned FakePlatformCallCount(void) { return PlatformCalls; }

bool FakeInjectedFailure(const char* name, DWORD* error) {
  PlatformCalls++;
  bool fail = false;
  DWORD code = 0;
  if (FailNth != 0 && PlatformCalls == FailNth) {
    fail = true;
    code = FailNthError;
  }
  for (unsigned i = 0; i < RuleCount; i++) {
    FailRule* rule = &Rules[i];
    if (strcmp(rule->Name, name) != 0) continue;
    rule->Seen++;
    if (rule->Nth == 0 || rule->Nth == rule->Seen) {
      fail = true;
      code = rule->Error;
    }
  }
  if (fail) {
    *error = code;
    LastError = code;
  }
  return fail;
}

// Handle values are distinct, non-null, never INVALID_HANDLE_VALUE, and
// never reused within a run, so a stale handle is recognised as closed.
static unsigned NextHandle;

void* FakeOpenHandle(int kind, intptr_t ref, const char* name) {
  for (unsigned n = 0; n < FAKE_HANDLES; n++) {
    unsigned i = (NextHandle + n) % FAKE_HANDLES;
    if (Handles[i].Kind != 0) continue;
    Handles[i].Kind = kind;
    Handles[i].Ref = ref;
    FakeCopyText(Handles[i].Name, name);
    NextHandle = i + 1;
    return (void*)(uintptr_t)(0x10000 + 4 * i);
  }
  return 0;
}

static HandleEntry* Entry(const void* handle) {
  uintptr_t value = (uintptr_t)handle;
  if (value < 0x10000 || (value - 0x10000) % 4 != 0) return 0;
  uintptr_t i = (value - 0x10000) / 4;
  if (i >= FAKE_HANDLES || Handles[i].Kind == 0) return 0;
  return &Handles[i];
}

int FakeHandleKindOf(const void* handle) {
  HandleEntry* entry = Entry(handle);
  return entry ? entry->Kind : 0;
}

intptr_t FakeHandleRef(const void* handle) {
  HandleEntry* entry = Entry(handle);
  return entry ? entry->Ref : 0;
}

const char* FakeHandleName(const void* handle) {
  HandleEntry* entry = Entry(handle);
  return entry ? entry->Name : "";
}

void FakeCloseHandleEntry(const void* handle) {
  HandleEntry* entry = Entry(handle);
  if (entry) entry->Kind = 0;
}

unsigned FakeOpenHandleCount(int kind) {
  unsigned count = 0;
  for (unsigned i = 0; i < FAKE_HANDLES; i++)
    if (Handles[i].Kind != 0 && (kind == 0 || Handles[i].Kind == kind)) count++;
  return count;
}
