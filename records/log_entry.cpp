#include "records/log_entry.h"

namespace {

// The program's own version, as the welcome caption shows it too.
const char kInstallerVersionText[] = "4.0";

void AppendLine(String& entry, const char* label, const String& value) {
    entry.Append(label);
    entry.Append(value);
    entry.Append("\r\n");
}

String LogEntry(const String& productName, const String& stamp, const char* type, const String& directory,
               const String& version, const String& body) {
    String entry;
    AppendLine(entry, "\r\nInstallation log for: ", productName);
    AppendLine(entry, "Install date: ", stamp);
    AppendLine(entry, "Install type: ", type);
    AppendLine(entry, "Install location: ", directory);
    AppendLine(entry, "Installer version: ", kInstallerVersionText);
    if (!version.IsEmpty()) AppendLine(entry, "Product version: ", version);
    entry.Append("\r\n");
    // The body last: the only long part is copied once.
    entry.Append(body);
    return entry;
}

}  // namespace

String InstallLogEntry(const String& productName, const String& stamp, bool reinstall,
                       const String& directory, const String& version, const String& body) {
    return LogEntry(productName, stamp, reinstall ? "Reinstall" : "New", directory, version, body);
}

String UninstallLogEntry(const String& productName, const String& stamp, const String& directory,
                         const String& body) {
    return LogEntry(productName, stamp, "Uninstall", directory, String(), body);
}

String PartialSuccessText(const String& logPath, bool askToView) {
    String text("Installation has been completed with partial success.   The installation log is stored at:\r\n");
    text.Append(logPath);
    if (askToView) text.Append("\r\n\r\nDo you wish to view the log? ");
    return text;
}
