// The commands whose cost is measured, each with fixed arguments of the
// size that matters: the short frames, and the two longest ones.
#ifndef TAV_BENCH_COMMANDS_H
#define TAV_BENCH_COMMANDS_H

struct MeasuredCommand {
  const char* Name;  // the export
  int (*Call)(void);
};

extern const MeasuredCommand MeasuredCommands[];
extern const unsigned MeasuredCommandCount;

// Opens and initializes the link (null platform); 0 on success.
int OpenNullLink(void);

#endif
