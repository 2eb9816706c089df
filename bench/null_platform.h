// The null platform of the benchmarks: one link that is always there and
// a device that answers every exchange at once with status 0.
#ifndef TAV_NULL_PLATFORM_H
#define TAV_NULL_PLATFORM_H

// Device calls made since the start, so a run can show one per command.
unsigned long NullDeviceCalls(void);

#endif
