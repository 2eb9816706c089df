// Failure messages in the instrument's own wording.
#include "tavapi32.h"
#include "transport.h"

// Texts of the statuses 10 to 23; NULL where the instrument has none.
static const char* const StatusTexts[14] = {
    "Bad channel number",             // 10
    NULL,                             // 11
    "Bad formula",                    // 12
    "Bad formula",                    // 13
    "Table full",                     // 14
    "Bad probe number",               // 15
    "Bad formula",                    // 16
    "Bad number in formula",          // 17
    "Bad symbol",                     // 18
    "Formula too complex",            // 19
    "Circular channel definition",    // 20
    "Memory full",                    // 21
    "Bad formula",                    // 22
    "Bad set in GOR or LOR function"  // 23
};

extern "C" void WINAPI TavMsgBox(int on) { ShowMessages = on != 0 ? 1 : 0; }

void ReportError(int status) {
  if (ShowMessages == 0) return;
  char formatted[32];  // "Unknown error:-2147483648" is 25 characters
  const char* text = NULL;
  if (status == -1)
    text = "TAV-8 not communicating";
  else if (status >= 10 && status <= 23)
    text = StatusTexts[status - 10];
  if (text == NULL) {
    wsprintfA(formatted, "Unknown error:%d", status);
    text = formatted;
  }
  MessageBoxA(NULL, text, NULL, MB_OK | MB_TASKMODAL | MB_ICONEXCLAMATION);
}
