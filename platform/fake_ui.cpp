// Fake user interface: message boxes are recorded and answered with OK.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "fake.h"

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  FakeCall* call = FakeLogCall("MessageBoxA");
  FakeCopyText(call->Text, text);
  FakeCopyText(call->Text2, caption);
  call->TextNull = text == 0;
  call->Text2Null = caption == 0;
  call->Args[0] = (uintptr_t)owner;
  call->Args[1] = style;
  DWORD error;
  if (FakeInjectedFailure("MessageBoxA", &error)) {
    call->Failed = true;
    return 0;
  }
  return IDOK;
}

unsigned FakeBoxCount(void) { return FakeCountCalls("MessageBoxA"); }

const FakeCall* FakeBoxAt(unsigned index) { return FakeNthCall("MessageBoxA", index); }

// Windows' wsprintfA writes at most 1024 characters; so does this one.
int wsprintfA(LPSTR out, LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  int length = vsnprintf(out, 1025, format, args);
  va_end(args);
  return length;
}
