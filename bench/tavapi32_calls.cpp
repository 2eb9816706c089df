// Makes COUNT calls of one command against the null device:
//   tavapi32_calls TavReadChannel 1000
// scripts/bench.sh runs it under callgrind and counts the instructions
// of the command outside its device call.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "commands.h"
#include "null_platform.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: tavapi32_calls EXPORT COUNT\n");
    return 2;
  }
  const MeasuredCommand* command = NULL;
  for (unsigned i = 0; i < MeasuredCommandCount; i++)
    if (strcmp(MeasuredCommands[i].Name, argv[1]) == 0) command = &MeasuredCommands[i];
  long count = atol(argv[2]);
  if (command == NULL || count < 0) {
    fprintf(stderr, "tavapi32_calls: unknown export or bad count\n");
    return 2;
  }
  if (OpenNullLink() != 0) return 1;
  unsigned long before = NullDeviceCalls();
  for (long i = 0; i < count; i++)
    if (command->Call() != 0) return 1;
  // One device call per command, or the measurement means nothing.
  if (NullDeviceCalls() - before != (unsigned long)count) return 1;
  return 0;
}
