// Host for the native build and the test programs: boxes become lines on
// stderr, so fatal checks can be observed as death tests.
#include <stdio.h>
#include <stdlib.h>

#include "core/fatal.h"

void HostShowBox(const char* text, const char* caption, unsigned /*style*/, bool /*owned*/) {
    fprintf(stderr, "[%s] %s\n", caption, text);
    fflush(stderr);
}

void HostExit(int code) {
    fflush(stdout);
    fflush(stderr);
    _Exit(code);
}

const char* HostSystemErrorText() { return ""; }
