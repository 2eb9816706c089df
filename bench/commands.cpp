#include "commands.h"

#include "tavapi32.h"

static unsigned char Value[4] = {1, 2, 3, 4};
static unsigned char Reading[4];
static unsigned char Source[TAV_MAX_DIRECT_COPY];
static unsigned char Destination[2 * TAV_MAX_DIRECT_COPY];

// The longest formula there is: 253 characters.
static char LongFormula[TAV_MAX_FORMULA + 1];

static int ReadChannel(void) { return TavReadChannel(3, Reading); }
static int DefineChannelLong(void) { return TavDefineChannel(3, LongFormula); }
static int SetCzero(void) { return TavSetCzero(3, Value); }
static int ReadDirectCopy133(void) {
  return TavReadDirectCopy(TAV_MAX_DIRECT_COPY, Source, Destination);
}

const MeasuredCommand MeasuredCommands[] = {
    {"TavReadChannel", ReadChannel},
    {"TavDefineChannel", DefineChannelLong},
    {"TavSetCzero", SetCzero},
    {"TavReadDirectCopy", ReadDirectCopy133},
};
const unsigned MeasuredCommandCount = sizeof MeasuredCommands / sizeof MeasuredCommands[0];

int OpenNullLink(void) {
  for (int i = 0; i < TAV_MAX_FORMULA; i++) LongFormula[i] = (char)('A' + i % 26);
  LongFormula[TAV_MAX_FORMULA] = 0;
  return TavCommInit(1, 0);
}
