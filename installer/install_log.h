// The end of an installation: the completion message, the entry appended
// to "Install.LOG" and the offer to view it.
#ifndef QUILLPACK_INSTALLER_INSTALL_LOG_H
#define QUILLPACK_INSTALLER_INSTALL_LOG_H

#include "core/string.h"
#include "records/log_entry.h"  // InstallLogEntry

// Shows the completion box (not in automatic mode), appends the log entry when AlwaysWriteLog (0x40)
// or problems is not empty, offers to view the log after a partial success.
void FinishInstallation(const String& problems, const String& directory, int32 flags, bool reinstall,
                        bool completed, const String& version, const String& productName);

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

void FinishInstallation(const String& problems, const String& directory, int32 flags, bool reinstall,
                        bool completed, const String& version, const String& productName, FinishHost& host);

#endif  // QUILLPACK_INSTALLER_INSTALL_LOG_H
