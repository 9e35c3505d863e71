// Running the vendor's signing command on a finished setup program. The
// setup's path never becomes shell text: it travels in an environment
// variable, and {file} in the command becomes a reference to it, quoted for
// where it stands, so that no name (quotes, $(...), &, %, blanks) can run.
#ifndef QUILLPACK_TOOLS_QPKBUILD_SIGNING_H
#define QUILLPACK_TOOLS_QPKBUILD_SIGNING_H

#include <ostream>
#include <string>

// Holds the setup program's path while the signing command runs; commands
// may also name it themselves ($QPKBUILD_FILE, %QPKBUILD_FILE%).
extern const char kSignFileVariable[];

enum class Shell { Posix, Cmd };

// The command with every {file} replaced by a reference to the variable:
// for sh "${QPKBUILD_FILE}" in double quotes, closing and reopening a
// single-quoted text around it; for cmd "%QPKBUILD_FILE%", with single
// quotes written around {file} dropped (cmd does not know them).
std::string SignShellLine(const std::string& command, Shell shell);

// Runs the command on the file at path through the system's shell; empty
// when it succeeded, otherwise how it failed ("failed with exit code 2").
std::string RunSigner(const std::string& command, const std::string& path, std::ostream& out,
                      std::ostream& err);

#endif  // QUILLPACK_TOOLS_QPKBUILD_SIGNING_H
