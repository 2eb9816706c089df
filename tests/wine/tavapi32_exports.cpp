// Loads the real tavapi32.dll and checks its exports as a program sees
// them: every name and ordinal resolves, every export removes its own
// arguments from the stack, and the library works with no link open.
#include <windows.h>

#include "check.h"

struct Export {
  const char* name;
  int arguments;
};

// In ascending byte order of the names: the ordinals are 1, 2, ...
static const Export Exports[] = {
    {"TavClearAllChannels", 0}, {"TavClearChannel", 1}, {"TavClose", 0},      {"TavCommInit", 2},
    {"TavDLL", 1},              {"TavDefineChannel", 2}, {"TavFirmware", 1},  {"TavGetFpIn", 1},
    {"TavGetFpOut", 1},         {"TavGetFpPrec", 1},    {"TavMemory", 3},     {"TavMsgBox", 1},
    {"TavOpen", 1},             {"TavReadAfsv", 2},     {"TavReadAnalog", 2}, {"TavReadAzero", 2},
    {"TavReadChannel", 2},      {"TavReadCscale", 2},   {"TavReadCzero", 2},  {"TavReadDirect", 3},
    {"TavReadDirectCopy", 3},   {"TavReadFormula", 2},  {"TavReadLvdt", 2},   {"TavReadTfsv", 2},
    {"TavReadTzero", 2},        {"TavResetMM", 0},      {"TavSetAdcAvg", 1},  {"TavSetAfsv", 2},
    {"TavSetAzero", 2},         {"TavSetCscale", 2},    {"TavSetCzero", 2},   {"TavSetFpIn", 1},
    {"TavSetFpOut", 1},         {"TavSetFpPrec", 1},    {"TavSetRunAvg", 1},  {"TavSetScanTime", 1},
    {"TavSetTfsv", 2},          {"TavSetTzero", 2},     {"TavSet_muxTime", 1}, {"TavStartScan", 0},
    {"TavStopScan", 0},
};

// Calls `function` with `count` copies of `argument` pushed and returns how
// far the stack pointer moved over the call: 0 when the callee removed
// its arguments (stdcall), -4 * count when it left them (cdecl).
static int StackChange(FARPROC function, int count, DWORD argument, int* result) {
  int change;
  int value;
  __asm__ volatile(
      "movl %%esp, %%esi\n\t"
      "1:\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "pushl %%edi\n\t"
      "decl %%ecx\n\t"
      "jmp 1b\n"
      "2:\n\t"
      "call *%%ebx\n\t"
      "movl %%esp, %%edx\n\t"
      "subl %%esi, %%edx\n\t"
      "movl %%esi, %%esp\n\t"
      : "=a"(value), "=d"(change), "+c"(count)
      : "b"(function), "D"(argument)
      : "esi", "memory", "cc");
  *result = value;
  return change;
}

typedef int(WINAPI* ReadChannelFn)(int, void*);
typedef int(WINAPI* TextFn)(char**);
typedef int(WINAPI* CloseFn)(void);
typedef void(WINAPI* MsgBoxFn)(int);

int main(void) {
  HMODULE library = LoadLibraryA("tavapi32.dll");
  if (!CHECK(library != NULL)) return FinishChecks();

  const int count = sizeof Exports / sizeof Exports[0];
  CHECK_INT(count, 41);
  for (int i = 0; i < count; i++) {
    FARPROC byName = GetProcAddress(library, Exports[i].name);
    FARPROC byOrdinal = GetProcAddress(library, MAKEINTRESOURCEA(i + 1));
    if (!Check(byName != NULL, Exports[i].name, __LINE__)) continue;
    Check(byOrdinal == byName, Exports[i].name, __LINE__);
  }
  CHECK(GetProcAddress(library, MAKEINTRESOURCEA(42)) == NULL);
  CHECK(GetProcAddress(library, "TavOpen@4") == NULL);
  CHECK(GetProcAddress(library, "_TavOpen@4") == NULL);

  // The measure itself tells a caller-cleans function apart.
  int ignored;
  FARPROC cdeclFunction = GetProcAddress(LoadLibraryA("msvcrt.dll"), "abs");
  if (CHECK(cdeclFunction != NULL)) CHECK_INT(StackChange(cdeclFunction, 1, 5, &ignored), -4);

  // Every argument points at zeroed storage, so each call is harmless:
  // with no link open each command fails quietly, messages being off.
  static DWORD storage[1024];
  DWORD argument = (DWORD)(UINT_PTR)storage;
  MsgBoxFn msgBox = (MsgBoxFn)(void*)GetProcAddress(library, "TavMsgBox");
  for (int i = 0; i < count; i++) {
    FARPROC function = GetProcAddress(library, Exports[i].name);
    if (function == NULL) continue;
    int result = 0;
    int change = StackChange(function, Exports[i].arguments, argument, &result);
    if (change != 0) printf("FAIL %s: the stack moved by %d bytes over the call\n", Exports[i].name, change);
    Check(change == 0, Exports[i].name, __LINE__);
    if (msgBox) msgBox(0);  // TavCommInit turns messages on
  }

  char* text = NULL;
  TextFn dll = (TextFn)(void*)GetProcAddress(library, "TavDLL");
  if (dll) {
    CHECK_INT(dll(&text), 0);
    CHECK_TEXT(text, "1.01");
  }
  unsigned char value[4] = {9, 9, 9, 9};
  ReadChannelFn readChannel = (ReadChannelFn)(void*)GetProcAddress(library, "TavReadChannel");
  if (readChannel) {
    CHECK_INT(readChannel(1, value), -1);
    CHECK_INT(value[0], 9);
  }
  CloseFn close = (CloseFn)(void*)GetProcAddress(library, "TavClose");
  if (close) CHECK_INT(close(), 0);
  CHECK(FreeLibrary(library));
  return FinishChecks();
}
