// qpkbuild: makes setup programs and checks them.
#include <stdio.h>
#include <stdlib.h>
#ifdef _WIN32
#include <io.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "tools/qpkbuild/commands.h"

// The builder's own file, where it looks for the stubs: argv[0] may be a
// bare name found on the PATH.
std::string SelfPath(const char* argv0) {
#ifdef _WIN32
    char path[MAX_PATH * 4];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n > 0 && n < sizeof path) return std::string(path, n);
#else
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) return self.string();
#endif
    return argv0 ? argv0 : "";
}

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
    return RunQpkbuild(args, SelfPath(argc > 0 ? argv[0] : nullptr), std::cout, std::cerr, context);
}
