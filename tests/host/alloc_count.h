// Counts heap allocations made by this process (malloc, calloc, realloc,
// operator new), so tests can show that a call allocates nothing.
#ifndef TAV_ALLOC_COUNT_H
#define TAV_ALLOC_COUNT_H

// False where the count cannot be kept (sanitizer builds own the allocator).
bool AllocationCountingAvailable();
unsigned long AllocationCount();

#endif
