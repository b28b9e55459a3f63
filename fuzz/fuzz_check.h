// What every fuzz target uses to report a broken property: the message goes to stderr and
// the process aborts, which libFuzzer records as a crash with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond, ...)                                                                      \
  do {                                                                                             \
    if (!(cond)) {                                                                                 \
      std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n  ", #cond, __FILE__, __LINE__);        \
      std::fprintf(stderr, __VA_ARGS__);                                                           \
      std::fputc('\n', stderr);                                                                    \
      std::abort();                                                                                \
    }                                                                                              \
  } while (0)
