// The texts of the two batch files an archive's script runs through: the
// launcher "PLOVEK1.BAT" and the script "PLOVEK2.BAT" with the SET lines
// that describe the installation.
#ifndef QUILLPACK_RECORDS_BATCH_TEXT_H
#define QUILLPACK_RECORDS_BATCH_TEXT_H

#include "core/string.h"

extern const char kLauncherName[];  // "PLOVEK1.BAT"
extern const char kScriptName[];    // "PLOVEK2.BAT"
// Made by the script's first command: proof that the interpreter ran it.
extern const char kScriptRanName[];  // "PLOVEK2.RUN"

// What the SET lines tell the script.
struct BatchSettings {
    String directory;        // InstallDir; empty: no SET lines at all
    String sharedDirectory;  // SharedDir, may be empty
    String installerPath;    // InstallerFilepath
    String installerDirectory;
    String installerName;
};

// "@<interpreter> /e:1024 /c ".\<script name>"", no line end. Both files
// lie in the folder the launcher runs in; a full path on an interpreter's
// command line would lose its quotes to & ( ) @ ^ | and expand %...%.
String LauncherText(const String& interpreter, const String& scriptPath);

// "@echo off", the line that leaves kScriptRanName beside the script, the
// SET lines, then the script (without its PAUSE lines in automatic mode),
// all with CR LF line ends. Each SET line is SET "Name=value" with every %
// doubled, so no value runs as a command or expands a variable.
String ScriptText(const String& script, const BatchSettings& settings, bool automatic);

// The text with every % doubled, so that inside a batch file it stands for
// itself, and without double quotes and line ends, which no path holds and
// which would let the rest of a quoted value run as a command.
String BatchLiteral(const String& text);

// A line that only says PAUSE (any case, blanks around, one leading "@").
bool IsPauseLine(const String& line);

// Every line end (CR, LF, CR LF or LF CR) made CR LF, so that a script
// written with any of them runs line by line.
String WithCrLf(const String& text);

#endif  // QUILLPACK_RECORDS_BATCH_TEXT_H
