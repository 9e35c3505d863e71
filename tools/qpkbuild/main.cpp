// qpkbuild: makes setup programs and checks them.
#include <stdio.h>
#include <stdlib.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <iostream>
#include <string>
#include <vector>

#include "tools/qpkbuild/commands.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    RunContext context;
#ifdef _WIN32
    context.errIsTerminal = _isatty(_fileno(stderr)) != 0;
#else
    context.errIsTerminal = isatty(fileno(stderr)) != 0;
#endif
    // Set but empty counts as not set, as build scripts often export it so.
    const char* epoch = getenv("SOURCE_DATE_EPOCH");
    if (epoch && *epoch) context.sourceDateEpoch = epoch;
    return RunQpkbuild(args, argc > 0 ? argv[0] : "", std::cout, std::cerr, context);
}
