// Settling the installation directory: taken as given and created, or
// chosen by the user in the directory dialog, checked, tested for free
// space and confirmed.
#ifndef QUILLPACK_INSTALLER_INSTALL_DIRECTORY_H
#define QUILLPACK_INSTALLER_INSTALL_DIRECTORY_H

#include "archive/manifest.h"
#include "core/string.h"

// The whole of the directory choice: empty -> the manifest's defaultDirectory; automatic mode or
// no AskDirectory -> CreateDirectoryOrDie; otherwise the dialog loop with every check and message.
// Returns with the directory accepted and existing, or ends the process (AbortProgram on cancel).
void ChooseInstallationDirectory(String& directory, const Manifest& manifest, const String& productName);

// Sum of the manifest's file sizes, each rounded up to whole clusters (no rounding when the cluster
// size is 1 or less / unknown), as a 64-bit number.
int64 SpaceNeeded(const Manifest& manifest, int32 clusterSize);

// What the dialog loop asks of the user and the system. The installer uses
// SystemDirectoryHost; tests replace the dialog, the boxes and the drive.
class DirectoryHost {
public:
    // The directory dialog on `directory` (DirectoryPrompt is set); false
    // when the user aborted.
    virtual bool ChooseDirectory(String& directory) = 0;
    // A Yes/No box with the given icon (MB_ICON...); true for Yes.
    virtual bool AskYesNo(const String& text, const char* caption, unsigned icon) = 0;
    // An "Error" box (none in automatic mode).
    virtual void ShowError(const String& text) = 0;
    virtual bool DirectoryExists(const String& path) = 0;
    virtual bool CreateDirectoryPath(const String& path) = 0;
    virtual bool DriveExists(char letter) = 0;
    virtual int32 ClusterSize(char letter) = 0;
    // Negative when it cannot be determined.
    virtual int64 FreeSpace(char letter) = 0;
    virtual String ProgramFilesFolder() = 0;
    // The path as the system resolves it; empty when it cannot.
    virtual String CanonicalPath(const String& path) = 0;

protected:
    ~DirectoryHost() {}
};

// The real dialog, message boxes owned by MainWindow, and the real drives.
class SystemDirectoryHost : public DirectoryHost {
public:
    bool ChooseDirectory(String& directory) override;
    bool AskYesNo(const String& text, const char* caption, unsigned icon) override;
    void ShowError(const String& text) override;
    bool DirectoryExists(const String& path) override;
    bool CreateDirectoryPath(const String& path) override;
    bool DriveExists(char letter) override;
    int32 ClusterSize(char letter) override;
    int64 FreeSpace(char letter) override;
    String ProgramFilesFolder() override;
    String CanonicalPath(const String& path) override;
};

// The dialog loop alone: returns true with an accepted directory that
// exists, false when the user aborted the dialog.
bool AskInstallationDirectory(String& directory, const Manifest& manifest, const String& productName,
                              DirectoryHost& host);

#endif  // QUILLPACK_INSTALLER_INSTALL_DIRECTORY_H
