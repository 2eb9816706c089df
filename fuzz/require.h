// The fuzz targets' invariant check: a broken invariant aborts the run, so
// libFuzzer keeps the input that broke it.
#ifndef TAV_FUZZ_REQUIRE_H
#define TAV_FUZZ_REQUIRE_H

#include <stdio.h>
#include <stdlib.h>

#define REQUIRE(condition)                                                      \
  do {                                                                          \
    if (!(condition)) {                                                         \
      fprintf(stderr, "invariant broken at line %d: %s\n", __LINE__, #condition); \
      abort();                                                                  \
    }                                                                           \
  } while (0)

#endif
