// Checks for the Wine test programs: one line per failed check, and the
// closing line "N passed, N failed" that tests/wine/run.sh totals.
#ifndef TAV_WINE_CHECK_H
#define TAV_WINE_CHECK_H

#include <stdio.h>
#include <string.h>

static int ChecksPassed;
static int ChecksFailed;

static inline bool Check(bool ok, const char* what, int line) {
  if (ok) {
    ChecksPassed++;
  } else {
    ChecksFailed++;
    printf("FAIL line %d: %s\n", line, what);
    fflush(stdout);
  }
  return ok;
}

static inline bool CheckInt(long long actual, long long expected, const char* what, int line) {
  if (actual == expected) return Check(true, what, line);
  printf("FAIL line %d: %s: got %lld (0x%llx), expected %lld (0x%llx)\n", line, what, actual,
         (unsigned long long)actual, expected, (unsigned long long)expected);
  ChecksFailed++;
  fflush(stdout);
  return false;
}

static inline bool CheckText(const char* actual, const char* expected, const char* what, int line) {
  if (actual != NULL && strcmp(actual, expected) == 0) return Check(true, what, line);
  printf("FAIL line %d: %s: got \"%s\", expected \"%s\"\n", line, what,
         actual ? actual : "(null)", expected);
  ChecksFailed++;
  fflush(stdout);
  return false;
}

static inline bool CheckBytes(const unsigned char* actual, unsigned actualLength,
                              const unsigned char* expected, unsigned expectedLength,
                              const char* what, int line) {
  if (actualLength == expectedLength && memcmp(actual, expected, expectedLength) == 0)
    return Check(true, what, line);
  printf("FAIL line %d: %s:\n  got     ", line, what);
  for (unsigned i = 0; i < actualLength && i < 40; i++) printf(" %02X", actual[i]);
  printf(actualLength > 40 ? " ... (%u bytes)\n  expected" : " (%u bytes)\n  expected", actualLength);
  for (unsigned i = 0; i < expectedLength && i < 40; i++) printf(" %02X", expected[i]);
  printf(" (%u bytes)\n", expectedLength);
  ChecksFailed++;
  fflush(stdout);
  return false;
}

#define CHECK(cond) Check((cond), #cond, __LINE__)
#define CHECK_INT(actual, expected) CheckInt((long long)(actual), (long long)(expected), #actual, __LINE__)
#define CHECK_TEXT(actual, expected) CheckText((actual), (expected), #actual, __LINE__)
#define CHECK_BYTES(actual, actualLength, expected, expectedLength) \
  CheckBytes((actual), (actualLength), (expected), (expectedLength), #actual, __LINE__)

// Prints the closing line; the process's exit status follows it.
static inline int FinishChecks(void) {
  printf("%d passed, %d failed\n", ChecksPassed, ChecksFailed);
  fflush(stdout);
  return ChecksFailed == 0 ? 0 : 1;
}

#endif
