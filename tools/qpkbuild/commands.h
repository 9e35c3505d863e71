// The builder's command line: build, new, list, verify, extract, and help.
#ifndef QUILLPACK_TOOLS_QPKBUILD_COMMANDS_H
#define QUILLPACK_TOOLS_QPKBUILD_COMMANDS_H

#include <optional>
#include <ostream>
#include <string>
#include <vector>

// What the builder takes from its surroundings rather than its arguments.
struct RunContext {
    bool errIsTerminal = false;                  // progress lines only then
    std::optional<std::string> sourceDateEpoch;  // SOURCE_DATE_EPOCH when set
};

// args excludes the program name; self is the builder's own path (for
// finding the stub next to it). Returns the process exit code: 0 success
// (help included), for verify the corrupt code the installer would report,
// otherwise 1 with one line on err.
int RunQpkbuild(const std::vector<std::string>& args, const std::string& self, std::ostream& out,
                std::ostream& err, const RunContext& context = RunContext());

#endif  // QUILLPACK_TOOLS_QPKBUILD_COMMANDS_H
