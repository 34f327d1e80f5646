// The fuzz targets' own check: a failed property is reported with its text and line, then
// the process traps, so that libFuzzer saves the input as a finding.
#pragma once

#include <cstdio>

#define FUZZ_CHECK(cond)                                                                     \
    do {                                                                                     \
        if (!(cond)) {                                                                       \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);    \
            __builtin_trap();                                                                \
        }                                                                                    \
    } while (0)
