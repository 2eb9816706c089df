// Allocation counter: wraps glibc's allocator, except under sanitizers,
// which replace it themselves.
#include "alloc_count.h"

#include <stddef.h>

#if defined(__SANITIZE_ADDRESS__)
#define TAV_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAV_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef TAV_COUNT_ALLOCATIONS
#define TAV_COUNT_ALLOCATIONS 1
#endif

static unsigned long Allocations;

bool AllocationCountingAvailable() { return TAV_COUNT_ALLOCATIONS != 0; }
unsigned long AllocationCount() { return Allocations; }

#if TAV_COUNT_ALLOCATIONS
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);

void* malloc(size_t size) {
  Allocations++;
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  Allocations++;
  return __libc_calloc(count, size);
}
void* realloc(void* block, size_t size) {
  Allocations++;
  return __libc_realloc(block, size);
}
}
#endif
