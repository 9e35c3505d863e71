#include "installer/install_directory.h"

#include <windows.h>

#include "core/fatal.h"
#include "core/numbers.h"
#include "core/paths.h"
#include "records/space_estimate.h"
#include "platform/file_system.h"
#include "platform/globals.h"
#include "platform/special_folders.h"
#include "ui/dialogs.h"

namespace {

const char kConfirmCaption[] = "Choosing Installation Directory";

// The drive letter a message names: the upper-cased letter, or whatever
// stands first when that is no letter at all.
char DriveLetterForMessage(const String& directory) {
    char letter = DriveLetterOf(directory);
    return letter ? letter : directory.First();
}

// A drive root, also when written with more than one trailing backslash.
bool IsRootDirectory(const String& directory) {
    if (directory.Length() <= 3) return true;
    String trimmed(directory);
    trimmed.TrimRight('\\');
    return trimmed.Length() <= 2;
}

// The "Error" text for a directory that cannot be used at all, or empty.
// Outside text is appended, never used as a format.
String DirectoryProblem(const String& directory, DirectoryHost& host) {
    String text;
    if (!IsLegalPath(directory)) {
        text = "This file path is illegal:\r\n";
        text.Append(directory);
        return text;
    }
    if (!IsFullPath(directory)) {
        return "You must specify a complete drive and path such as \"c:\\work\".\r\n";
    }
    // IsFullPath does not look at the first character; a digit or a sign
    // there is no drive, whatever the system makes of it.
    char letter = DriveLetterOf(directory);
    if (!letter || !host.DriveExists(letter)) {
        text = "Drive ";
        text.Append(DriveLetterForMessage(directory));
        text.Append(": is not available.\r\n");
        return text;
    }
    // Judged on the folder the system will use: "C:\Program Files\.", an
    // 8.3 name or "c:\\" are the folders they resolve to.
    String resolved = host.CanonicalPath(directory);
    if (resolved.IsEmpty()) resolved = directory;
    if (IsRootDirectory(directory) || IsRootDirectory(resolved)) return "You cannot install to a root directory.\r\n";
    String programFiles = host.ProgramFilesFolder();
    String programFilesResolved = host.CanonicalPath(programFiles);
    if (SamePath(directory, programFiles) ||
        (!programFilesResolved.IsEmpty() && SamePath(resolved, programFilesResolved))) {
        text = "You cannot install to the root of the ";
        text.Append(programFiles);
        text.Append(" directory.  You can only install to a subdirectory of it.\r\n");
        return text;
    }
    return text;
}

// True to go on with this directory: enough room, or the user wants it anyway.
bool SpaceAccepted(const String& directory, const Manifest& manifest, const String& productName,
                   DirectoryHost& host) {
    char letter = DriveLetterOf(directory);
    int64 available = host.FreeSpace(letter);
    // Unknown free space says nothing about room; a warning claiming
    // "-1 bytes" would be wrong.
    if (available < 0) return true;
    int64 needed = SpaceNeeded(manifest, host.ClusterSize(letter));
    if (needed < available) return true;
    String text(productName);
    text.Append(" requires ");
    text.Append(SizeText(needed));
    text.Append(" of hard disk space.\r\nDrive ");
    text.Append(letter);
    text.Append(": only has ");
    text.Append(SizeText(available));
    text.Append(" available.\r\nDo you still wish to install to ");
    text.Append(directory);
    text.Append("? ");
    return host.AskYesNo(text, "Not Enough Space", MB_ICONERROR);
}

// True when the directory is accepted and exists.
bool Confirmed(const String& directory, DirectoryHost& host) {
    bool exists = host.DirectoryExists(directory);
    String text("The directory ");
    text.Append(directory);
    text.Append(exists ? " already exists.\r\n\r\nAre you sure you want to proceed?"
                       : " does not exist.\r\n\r\nDo you want to create it?");
    if (!host.AskYesNo(text, kConfirmCaption, MB_ICONQUESTION)) return false;
    if (exists || host.CreateDirectoryPath(directory)) return true;
    text = "Unable to create directory: ";
    text.Append(directory);
    text.Append("\r\n");
    host.ShowError(text);
    return false;
}

}  // namespace

int64 SpaceNeeded(const Manifest& manifest, int32 clusterSize) {
    return SpaceOnDisk(manifest.fileSizes, manifest.fileCount, clusterSize);
}

bool AskInstallationDirectory(String& directory, const Manifest& manifest, const String& productName,
                              DirectoryHost& host) {
    for (;;) {
        DirectoryPrompt = "Choose the directory where ";
        DirectoryPrompt.Append(productName);
        DirectoryPrompt.Append(" should be installed.");
        if (!host.ChooseDirectory(directory)) return false;
        directory.Trim();
        if (directory.IsEmpty()) continue;
        String problem = DirectoryProblem(directory, host);
        if (!problem.IsEmpty()) {
            host.ShowError(problem);
            continue;
        }
        if (!SpaceAccepted(directory, manifest, productName, host)) continue;
        if (Confirmed(directory, host)) return true;
    }
}

void ChooseInstallationDirectory(String& directory, const Manifest& manifest, const String& productName) {
    if (directory.IsEmpty()) directory = manifest.defaultDirectory;
    if (AutomaticMode || !manifest.Has(AskDirectory)) {
        CreateDirectoryOrDie(directory);
        return;
    }
    SystemDirectoryHost host;
    if (!AskInstallationDirectory(directory, manifest, productName, host)) AbortProgram();
}

bool SystemDirectoryHost::ChooseDirectory(String& directory) { return ::ChooseDirectory(directory); }

bool SystemDirectoryHost::AskYesNo(const String& text, const char* caption, unsigned icon) {
    return MessageBoxA(MainWindow, text.Text(), caption, MB_YESNO | icon) == IDYES;
}

void SystemDirectoryHost::ShowError(const String& text) {
    // ShowError without its formatting: a long directory must not reach
    // the format buffer's limit.
    if (text.IsEmpty() || AutomaticMode) return;
    HostShowBox(text.Text(), "Error", BoxError);
}

bool SystemDirectoryHost::DirectoryExists(const String& path) { return ::DirectoryExists(path); }
bool SystemDirectoryHost::CreateDirectoryPath(const String& path) { return ::CreateDirectoryPath(path); }
bool SystemDirectoryHost::DriveExists(char letter) { return ::DriveExists(letter); }
int32 SystemDirectoryHost::ClusterSize(char letter) { return ::ClusterSize(letter); }
int64 SystemDirectoryHost::FreeSpace(char letter) { return ::FreeSpace(letter); }
String SystemDirectoryHost::ProgramFilesFolder() { return ::ProgramFilesFolder(); }
String SystemDirectoryHost::CanonicalPath(const String& path) { return ::CanonicalPath(path); }
