// qpkbuild: makes setup programs and checks them.
#include <iostream>
#include <string>
#include <vector>

#include "tools/qpkbuild/commands.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return RunQpkbuild(args, argc > 0 ? argv[0] : "", std::cout, std::cerr);
}
