// The instrument's behaviour. Minimal for now: every request succeeds
// with an empty payload. The full model (formula table, scanning,
// readings, calibration and settings) replaces this.
#include "simulator.h"

uint32_t InstrumentAnswer(const uint8_t*, uint32_t, uint8_t* status, uint8_t*) {
  *status = 0;
  return 0;
}

uint8_t InstrumentInitialize(const uint8_t*, uint32_t) { return 0; }

void InstrumentPowerOn(void) {}
