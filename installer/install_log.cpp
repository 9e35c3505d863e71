#include "installer/install_log.h"

#include <windows.h>

#include "archive/format.h"
#include "core/fatal.h"
#include "core/file_date.h"
#include "core/paths.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/globals.h"
#include "platform/process.h"

namespace {

const char kSuccessBody[] = "Success\r\n\r\n";

String requestedLog;
bool requestedLogFailed = false;

// An installation's problems end with an empty line, an uninstallation's not.
String RequestedLogProblem(bool installation) {
    requestedLogFailed = true;
    String line("Unable to append to the log file:\r\n");
    line.Append(requestedLog);
    line.Append(installation ? "\r\n\r\n" : "\r\n");
    return line;
}

// Appends to the requested log; the problem line when that fails.
String AppendToRequestedLog(const String& entry, bool installation, FinishHost& host) {
    if (requestedLog.IsEmpty() || host.AppendToFile(requestedLog, entry)) return String();
    return RequestedLogProblem(installation);
}

}  // namespace

void SetRequestedLog(const String& path) {
    requestedLogFailed = false;
    // Made full against the folder the program was started in, so that
    // messages name the file the system writes.
    String full = CanonicalPath(path);
    requestedLog = full.IsEmpty() ? path : full;
}

const String& RequestedLog() { return requestedLog; }

bool RequestedLogFailed() { return requestedLogFailed; }

String FinishInstallation(const String& given, const String& notes, const String& directory, int32 flags,
                          bool reinstall, bool completed, const String& version, const String& productName,
                          FinishHost& host) {
    String logPath = JoinPath(directory, "Install.LOG");
    // Named as "Install.LOG" itself, the entry is written there once.
    bool requestedIsLog = !requestedLog.IsEmpty() && SamePath(requestedLog, logPath);
    String added;
    if (!requestedIsLog && !requestedLog.IsEmpty()) {
        String body = notes + (completed && given.IsEmpty() ? String(kSuccessBody) : given);
        String entry = InstallLogEntry(productName, host.NowStamp(), reinstall, directory, version, body);
        added = AppendToRequestedLog(entry, true, host);
    }
    String problems = given + added;
    bool clean = problems.IsEmpty();
    bool viewLog = false;
    String body;
    if (completed && clean) {
        body = kSuccessBody;
        if (!AutomaticMode) host.Inform("Installation has been completed successfully.", "Installation Complete");
    } else if (completed) {
        if (!AutomaticMode) viewLog = host.AskYesNo(PartialSuccessText(logPath, true), "Partial Success");
    }
    // Files waiting for the restart are worth a record even on success.
    if ((flags & AlwaysWriteLog) || !clean || requestedIsLog || !notes.IsEmpty()) {
        String entry = InstallLogEntry(productName, host.NowStamp(), reinstall, directory, version,
                                       notes + (clean ? body : problems));
        if (!host.AppendToFile(logPath, entry)) {
            String text("Unable to append to the installation log file:\r\n");
            text.Append(logPath);
            text.Append("\r\n");
            host.ShowError(text);
            viewLog = false;
            if (requestedIsLog) added = RequestedLogProblem(true);
        }
    }
    if (viewLog) host.ViewDocument(logPath);
    return added;
}

String FinishInstallation(const String& problems, const String& notes, const String& directory, int32 flags,
                          bool reinstall, bool completed, const String& version, const String& productName) {
    SystemFinishHost host;
    return FinishInstallation(problems, notes, directory, flags, reinstall, completed, version, productName, host);
}

String LogUninstallation(const String& productName, const String& directory, const String& problems,
                         const String& notes, FinishHost& host) {
    if (requestedLog.IsEmpty()) return String();
    String body = notes + (problems.IsEmpty() ? String(kSuccessBody) : problems + "\r\n");
    return AppendToRequestedLog(UninstallLogEntry(productName, host.NowStamp(), directory, body), false, host);
}

String LogUninstallation(const String& productName, const String& directory, const String& problems,
                         const String& notes) {
    SystemFinishHost host;
    return LogUninstallation(productName, directory, problems, notes, host);
}

void SystemFinishHost::Inform(const String& text, const char* caption) {
    MessageBoxA(MainWindow, text.Text(), caption, MB_OK | MB_ICONINFORMATION);
}

bool SystemFinishHost::AskYesNo(const String& text, const char* caption) {
    return MessageBoxA(MainWindow, text.Text(), caption, MB_YESNO | MB_ICONINFORMATION) == IDYES;
}

void SystemFinishHost::ShowError(const String& text) {
    // ShowError without its formatting: the path may be long.
    if (text.IsEmpty() || AutomaticMode) return;
    HostShowBox(text.Text(), "Error", BoxError);
}

bool SystemFinishHost::AppendToFile(const String& path, const String& text) {
    return AppendText(path.Text(), text.Text());
}

void SystemFinishHost::ViewDocument(const String& path) { ::ViewDocument(path); }

String SystemFinishHost::NowStamp() { return NowStampText(); }
