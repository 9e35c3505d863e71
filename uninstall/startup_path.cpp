#include "uninstall/startup_path.h"

#include "records/startup_path_text.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/special_folders.h"

namespace {

String CannotModify(const String& startupFile, const String& installDirectory, bool add) {
    String message("Unable to modify ");
    message += startupFile;
    message += ".  You will need to manually ";
    message += add ? "add " : "remove ";
    message += installDirectory;
    message += add ? " to" : " from";
    message += " the PATH environment variable.\r\n\r\n";
    return message;
}

String CannotRemove(const String& startupFile, const String& installDirectory) {
    String message("Unable to remove ");
    message += installDirectory;
    message += " from the PATH setting in ";
    message += startupFile;
    message += "\r\n\r\n";
    return message;
}

bool ReadContent(File& file, String& content) {
    int32 size = file.Size();
    if (size < 0) return false;
    content.Clear();
    if (size == 0) return true;
    content.SetLength(size);
    return file.Seek(0) && file.Read(content.Buffer(), size);
}

}  // namespace

String EditStartupPath(const String& installDirectory, bool add) {
    String startupFile(" :\\autoexec.bat");
    startupFile.SetAt(0, BootDrive());
    return EditStartupFile(startupFile, installDirectory, add);
}

String EditStartupFile(const String& startupFile, const String& installDirectory, bool add) {
    File file;
    bool opened = file.OpenForUpdate(startupFile, false);
    if (!opened && add) opened = file.Create(startupFile, true);
    if (!opened) return CannotModify(startupFile, installDirectory, add);

    String line = StartupPathLine(ShortPathName(installDirectory));
    String content;
    // An unreadable file is not rewritten: what was read may be partial.
    if (!ReadContent(file, content)) return CannotModify(startupFile, installDirectory, add);
    if (add) {
        String addition = StartupPathAddition(content, line);
        if (!addition.IsEmpty() && !(file.SeekFromEnd(0) && file.Write(addition.Text(), addition.Length())))
            return CannotModify(startupFile, installDirectory, add);
    } else {
        if (!RemoveStartupPathLine(content, line)) return CannotRemove(startupFile, installDirectory);
        if (!file.Seek(0)) return CannotModify(startupFile, installDirectory, add);
        if (!content.IsEmpty() && !file.Write(content.Text(), content.Length()))
            return CannotModify(startupFile, installDirectory, add);
        if (!file.Truncate()) return CannotModify(startupFile, installDirectory, add);
    }
    return String();
}
