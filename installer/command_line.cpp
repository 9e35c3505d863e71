#include "installer/command_line.h"

namespace {

// An atom is quoted in the usage box; one longer than any path is cut so the
// box stays readable and within the formatting limit.
const int32 kShownAtomLength = 300;

[[noreturn]] void BadAtom(const char* message, const String& atom) {
    String text(message);
    text.Append(atom, kShownAtomLength);
    if (atom.Length() > kShownAtomLength) text.Append("...");
    UsageError(text.Text());
}

// A quoted value loses one quote at each end.
String OptionValue(const String& rest) {
    String value(rest);
    value.Unwrap('"');
    return value;
}

// A path the system could take: not empty, without control characters and
// the characters no file name holds ("?" is allowed: it starts "\\?\").
bool IsLogPath(const String& path) {
    if (path.IsEmpty()) return false;
    for (int32 i = 0; i < path.Length(); ++i) {
        if (byte(path.At(i)) < 0x20) return false;
    }
    return path.FindFirstOf("<>|\"*") < 0;
}

}  // namespace

void UsageError(const char* message) {
    FatalError("%s\n\nUsage:\n%s [/a] [/d:<dir>] [/n:<name>] [/u:<name>]\n\n/a\tAutomatic mode\n"
               "/d:\"dir\"\tOverride installation directory\n/n:\"name\"\tOverride product name\n"
               "/u:\"name\"\tUninstall product by name",
               message, "Uninstall.EXE");
}

void ApplyAtom(String atom, CommandLineOptions& options) {
    if (!atom.DropFirstIfIn("/-")) BadAtom("Unexpected command line parameter:\n", atom);
    if (atom.Compare("A", false) == 0) {
        options.automatic = true;
    } else if (atom.DropPrefix("D:")) {
        options.directory = OptionValue(atom);
    } else if (atom.DropPrefix("N:")) {
        options.productName = OptionValue(atom);
    } else if (atom.DropPrefix("U")) {
        options.uninstall = true;
        if (atom.DropFirstIf(':')) options.productName = OptionValue(atom);
    } else if (atom.Mid(0, 4).Compare("LOG:", false) == 0) {
        String value = OptionValue(atom.Mid(4));
        if (!IsLogPath(value)) BadAtom("Illegal command line atom:\n", atom);
        options.logPath = value;
    } else if (!atom.IsEmpty()) {
        BadAtom("Illegal command line atom:\n", atom);
    }
}

void ParseCommandLine(const char* text, CommandLineOptions& options) {
    String rest(text);
    int32 counter = 0;
    // Trailing white space ends the line; it is not an empty atom.
    while (rest.TrimLeft(), !rest.IsEmpty()) {
        if (++counter > kMaxAtoms) break;
        ApplyAtom(rest.TakeToken(), options);
    }
}
