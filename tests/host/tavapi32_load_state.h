// The tavapi32 module's variables as the loader leaves them, restored
// between host tests and fuzz inputs that stand for fresh processes.
#ifndef TAV_TAVAPI32_LOAD_STATE_H
#define TAV_TAVAPI32_LOAD_STATE_H

#include <string.h>

#include "tavapi32/transport.h"

static inline void RestoreLoadState(void) {
  Attached = 0;
  hLink = INVALID_HANDLE_VALUE;
  ShowMessages = 0;
  memset(RequestBuffer, 0, sizeof RequestBuffer);
  memset(ReplyBuffer, 0, sizeof ReplyBuffer);
  memset(FirmwareText, 0, sizeof FirmwareText);
  LastExchangeOk = 0;
  BytesReturned = 0;
}

#endif
