#include "installer/install_log.h"

#include <windows.h>

#include "archive/format.h"
#include "core/fatal.h"
#include "core/file_date.h"
#include "core/paths.h"
#include "platform/file.h"
#include "platform/globals.h"
#include "platform/process.h"

void FinishInstallation(const String& problems, const String& directory, int32 flags, bool reinstall,
                        bool completed, const String& version, const String& productName, FinishHost& host) {
    String logPath = JoinPath(directory, "Install.LOG");
    bool clean = problems.IsEmpty();
    bool viewLog = false;
    String body;
    if (completed && clean) {
        body = "Success\r\n\r\n";
        if (!AutomaticMode) host.Inform("Installation has been completed successfully.", "Installation Complete");
    } else if (completed) {
        if (!AutomaticMode) viewLog = host.AskYesNo(PartialSuccessText(logPath, true), "Partial Success");
    }
    if ((flags & AlwaysWriteLog) || !clean) {
        String entry = InstallLogEntry(productName, host.NowStamp(), reinstall, directory, version,
                                       clean ? body : problems);
        if (!host.AppendToFile(logPath, entry)) {
            String text("Unable to append to the installation log file:\r\n");
            text.Append(logPath);
            text.Append("\r\n");
            host.ShowError(text);
            viewLog = false;
        }
    }
    if (viewLog) host.ViewDocument(logPath);
}

void FinishInstallation(const String& problems, const String& directory, int32 flags, bool reinstall,
                        bool completed, const String& version, const String& productName) {
    SystemFinishHost host;
    FinishInstallation(problems, directory, flags, reinstall, completed, version, productName, host);
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
