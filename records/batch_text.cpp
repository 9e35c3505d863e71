#include "records/batch_text.h"

#include "core/paths.h"
#include "core/text_builder.h"
#include "core/text_lines.h"

const char kLauncherName[] = "PLOVEK1.BAT";
const char kScriptName[] = "PLOVEK2.BAT";
const char kScriptRanName[] = "PLOVEK2.RUN";

namespace {

const char kBlanks[] = " \r\n\t";

void AppendSetLine(TextBuilder& out, const char* name, const String& value) {
    out.Append("SET \"");
    out.Append(name);
    out.Append('=');
    out.Append(BatchLiteral(value));
    out.Append("\"\n");
}

}  // namespace

String LauncherText(const String& interpreter, const String& scriptPath) {
    String text("@");
    text += interpreter;
    text += " /e:1024 /c \".\\";
    text += FileNamePart(scriptPath);
    text += '"';
    return text;
}

bool IsPauseLine(const String& line) {
    String word(line);
    word.TrimRightSet(kBlanks);
    word.TrimLeftSet(kBlanks);
    word.DropFirstIf('@');
    word.TrimLeftSet(kBlanks);
    return word.Length() == 5 && word.Compare("PAUSE", false) == 0;
}

String ScriptText(const String& script, const BatchSettings& settings, bool automatic) {
    TextBuilder out;
    out.Append("@echo off\n");
    // Named relative to the folder the script starts in, before its own
    // lines can change that: no folder name stands in this line.
    out.Append("type nul >");
    out.Append(kScriptRanName);
    out.Append('\n');
    if (!settings.directory.IsEmpty()) {
        AppendSetLine(out, "InstallDir", settings.directory);
        // A directory without a drive letter gets an empty value rather
        // than a NUL in the file.
        char letter = DriveLetterOf(settings.directory);
        String drive;
        if (letter) {
            drive.Append(letter);
            drive.Append(':');
        }
        AppendSetLine(out, "InstallDrive", drive);
        AppendSetLine(out, "SharedDir", settings.sharedDirectory);
        AppendSetLine(out, "InstallerFilepath", settings.installerPath);
        AppendSetLine(out, "InstallerDir", settings.installerDirectory);
        AppendSetLine(out, "InstallerFilename", settings.installerName);
    }
    if (!automatic) {
        out.Append(script);
    } else {
        // Nobody is there to press a key: a PAUSE would hang the run.
        int32 position = 0;
        String line;
        while (NextLine(script, position, line)) {
            if (IsPauseLine(line)) continue;
            out.Append(line);
            out.Append('\n');
        }
    }
    return WithCrLf(out.Take());
}

String BatchLiteral(const String& text) {
    // A quote would end the quoted value and a line end the line, letting
    // the rest run as a command; neither belongs in a path.
    String literal;
    for (int32 i = 0; i < text.Length(); ++i) {
        char ch = text.At(i);
        if (ch == '"' || ch == '\r' || ch == '\n' || ch == '\0') continue;
        if (ch == '%') literal.Append('%');
        literal.Append(ch);
    }
    return literal;
}

String WithCrLf(const String& text) {
    TextBuilder out;
    const char* p = text.Text();
    int32 length = text.Length();
    for (int32 i = 0; i < length; ++i) {
        char ch = p[i];
        if (ch != '\r' && ch != '\n') {
            out.Append(ch);
            continue;
        }
        // The second half of a CR LF or LF CR pair belongs to this end.
        char next = i + 1 < length ? p[i + 1] : '\0';
        if ((next == '\r' || next == '\n') && next != ch) ++i;
        out.AppendBytes("\r\n", 2);
    }
    return out.Take();
}
