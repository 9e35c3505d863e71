#include "tools/qpkbuild/signing.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <stdlib.h>

#include <cstdlib>

const char kSignFileVariable[] = "QPKBUILD_FILE";

namespace {

const char kFile[] = "{file}";
const size_t kFileLength = sizeof kFile - 1;

bool FileAt(const std::string& command, size_t i) { return command.compare(i, kFileLength, kFile) == 0; }

// sh: quotes and backslashes decide how a reference must be written to
// stay one word; what the variable holds is never parsed again.
std::string PosixLine(const std::string& command) {
    const std::string reference = std::string("${") + kSignFileVariable + "}";
    enum { Plain, Single, Double } state = Plain;
    std::string out;
    for (size_t i = 0; i < command.size(); ++i) {
        if (FileAt(command, i)) {
            if (state == Plain) out += "\"" + reference + "\"";
            if (state == Double) out += reference;
            if (state == Single) out += "'\"" + reference + "\"'";
            i += kFileLength - 1;
            continue;
        }
        char c = command[i];
        out += c;
        if (state == Single) {
            if (c == '\'') state = Plain;
        } else if (c == '\\' && i + 1 < command.size()) {
            out += command[++i];
        } else if (c == '"') {
            state = state == Double ? Plain : Double;
        } else if (c == '\'' && state == Plain) {
            state = Single;
        }
    }
    return out;
}

// cmd: only double quotes quote (^ escapes outside them); %VARIABLE% is
// expanded once, before the line is parsed, and its value is not expanded
// again. Windows file names hold no double quote, so a quoted reference
// stays one argument.
std::string CmdLine(const std::string& command) {
    const std::string reference = std::string("%") + kSignFileVariable + "%";
    bool quoted = false;
    std::string out;
    for (size_t i = 0; i < command.size(); ++i) {
        if (FileAt(command, i)) {
            bool singleQuoted = !quoted && !out.empty() && out.back() == '\'' &&
                                i + kFileLength < command.size() && command[i + kFileLength] == '\'';
            if (singleQuoted) out.pop_back();
            out += quoted ? reference : "\"" + reference + "\"";
            i += kFileLength - 1 + (singleQuoted ? 1 : 0);
            continue;
        }
        out += command[i];
        if (command[i] == '"') {
            quoted = !quoted;
        } else if (command[i] == '^' && !quoted && i + 1 < command.size()) {
            out += command[++i];  // an escaped character, a quote included
        }
    }
    return out;
}

// Sets or, with null, removes the variable.
void SetVariable(const char* value) {
#ifdef _WIN32
    _putenv_s(kSignFileVariable, value ? value : "");
#else
    if (value) {
        setenv(kSignFileVariable, value, 1);
    } else {
        unsetenv(kSignFileVariable);
    }
#endif
}

}  // namespace

std::string SignShellLine(const std::string& command, Shell shell) {
    return shell == Shell::Cmd ? CmdLine(command) : PosixLine(command);
}

std::string RunSigner(const std::string& command, const std::string& path, std::ostream& out,
                      std::ostream& err) {
    out << std::flush;
    err << std::flush;
    SetVariable(path.c_str());
#ifdef _WIN32
    // cmd /c drops the outermost quotes; these are the ones it drops.
    int status = std::system(("\"" + SignShellLine(command, Shell::Cmd) + "\"").c_str());
    SetVariable(nullptr);
    if (status == -1) return "could not be started";
    if (status != 0) return "failed with exit code " + std::to_string(status);
#else
    int status = std::system(SignShellLine(command, Shell::Posix).c_str());
    SetVariable(nullptr);
    if (status == -1) return "could not be started";
    if (WIFSIGNALED(status)) return "was stopped by signal " + std::to_string(WTERMSIG(status));
    if (!WIFEXITED(status)) return "failed";
    if (WEXITSTATUS(status) == 127) return "could not be run (exit code 127: command not found)";
    if (WEXITSTATUS(status) != 0) return "failed with exit code " + std::to_string(WEXITSTATUS(status));
#endif
    return "";
}
