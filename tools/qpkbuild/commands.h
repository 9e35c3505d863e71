// The builder's command line: build, list, verify, extract.
#ifndef QUILLPACK_TOOLS_QPKBUILD_COMMANDS_H
#define QUILLPACK_TOOLS_QPKBUILD_COMMANDS_H

#include <ostream>
#include <string>
#include <vector>

// args excludes the program name; self is the builder's own path (for
// finding the stub next to it). Returns the process exit code: 0 success,
// for verify the corrupt code the installer would report, otherwise 1 with
// one line on err.
int RunQpkbuild(const std::vector<std::string>& args, const std::string& self, std::ostream& out,
                std::ostream& err);

#endif  // QUILLPACK_TOOLS_QPKBUILD_COMMANDS_H
