// The end of an installation: the completion message, the entry appended
// to "Install.LOG" and the offer to view it.
#ifndef QUILLPACK_INSTALLER_INSTALL_LOG_H
#define QUILLPACK_INSTALLER_INSTALL_LOG_H

#include "core/string.h"
#include "records/log_entry.h"  // InstallLogEntry, UninstallLogEntry

// The log file the caller named with /log:. It gets the entry of every
// installation and uninstallation of this run, whatever the flags say. Made
// a full path; empty names none.
void SetRequestedLog(const String& path);
const String& RequestedLog();
// An entry could not be appended to it in this run.
bool RequestedLogFailed();

// Appends the entry to the requested log first, then shows the completion
// box (not in automatic mode), appends the entry to "Install.LOG" when
// AlwaysWriteLog (0x40) or there are problems, and offers to view it after a
// partial success. Notes ("Replaced at restart: ..." lines) open the entry
// and have it written to "Install.LOG" even on success. A requested log
// that cannot be written is one more problem: its line is in the box and in
// "Install.LOG", and is returned for the caller's problem report (empty
// otherwise).
String FinishInstallation(const String& problems, const String& notes, const String& directory, int32 flags,
                          bool reinstall, bool completed, const String& version, const String& productName);

// What finishing asks of the user and the system. The installer uses
// SystemFinishHost; tests replace the boxes, the clock and the viewer.
class FinishHost {
public:
    // An information box with an OK button.
    virtual void Inform(const String& text, const char* caption) = 0;
    // A Yes/No box with the information icon; true for Yes.
    virtual bool AskYesNo(const String& text, const char* caption) = 0;
    // An "Error" box (none in automatic mode).
    virtual void ShowError(const String& text) = 0;
    // Appends to the file, creating it when missing.
    virtual bool AppendToFile(const String& path, const String& text) = 0;
    virtual void ViewDocument(const String& path) = 0;
    virtual String NowStamp() = 0;

protected:
    ~FinishHost() {}
};

// Boxes owned by MainWindow, the real file, clock and text editor.
class SystemFinishHost : public FinishHost {
public:
    void Inform(const String& text, const char* caption) override;
    bool AskYesNo(const String& text, const char* caption) override;
    void ShowError(const String& text) override;
    bool AppendToFile(const String& path, const String& text) override;
    void ViewDocument(const String& path) override;
    String NowStamp() override;
};

String FinishInstallation(const String& problems, const String& notes, const String& directory, int32 flags,
                          bool reinstall, bool completed, const String& version, const String& productName,
                          FinishHost& host);

// Appends the uninstallation's entry (its body "Success" or the problem
// report, after the notes: "Removed at restart: ..." lines) to the requested
// log, if there is one. The problem line when it
// cannot be written, else empty.
String LogUninstallation(const String& productName, const String& directory, const String& problems,
                         const String& notes);
String LogUninstallation(const String& productName, const String& directory, const String& problems,
                         const String& notes, FinishHost& host);

#endif  // QUILLPACK_INSTALLER_INSTALL_LOG_H
