#include "installer/install_sequence.h"

#include <windows.h>

#include "archive/archive.h"
#include "archive/manifest.h"
#include "archive/pe_image.h"
#include "archive/safe_name.h"
#include "core/fatal.h"
#include "core/paths.h"
#include "installer/archive_locate.h"
#include "installer/command_line.h"
#include "installer/extraction.h"
#include "installer/install_directory.h"
#include "installer/install_log.h"
#include "installer/previous_install.h"
#include "uninstall/registration.h"
#include "platform/file_system.h"
#include "platform/globals.h"
#include "platform/registry.h"
#include "platform/special_folders.h"
#include "ui/background_window.h"
#include "ui/dialogs.h"
#include "uninstall/batch_script.h"
#include "uninstall/install_journal.h"
#include "uninstall/installation_record.h"
#include "uninstall/removal_record.h"
#include "uninstall/startup_path.h"
#include "uninstall/system_path.h"

namespace {

// The installer's own version, shown in the welcome box and in the log.
const double kInstallerVersion = 4.0;

// The real folders and the background window behind the manifest reader.
class WindowsManifestHost : public ManifestHost {
public:
    String WindowsDirectory() override { return ::WindowsDirectory(); }
    String ProgramFilesFolder() override { return ::ProgramFilesFolder(); }
    String CommonFilesFolder() override { return ::CommonFilesFolder(); }
    // The shared folder is made when a shared file is about to be stored, so
    // that an installation cancelled at a question leaves no empty folder.
    void CreateDirectoryPath(const String&) override {}
    void SetBackgroundTitle(const String& title) override { ::SetBackgroundTitle(title.Text()); }
    void SetTitleColor(uint32 color) override { SetBackgroundTitleColor(color); }
    void SetBackgroundColors(uint32 top, uint32 bottom, bool) override { ::SetBackgroundColors(top, bottom); }
    void SetBackgroundBitmap(const String& packed) override {
        ::SetBackgroundBitmap(packed.Text(), packed.Length());
    }
    void RepaintBackground() override { ::RepaintBackground(); }

    // An update can only go where the product already is.
    void CheckUpdateOnly(const String& requiredProduct) override { CheckRequiredProduct(requiredProduct, productName); }

    String productName;
};

class Installation {
public:
    Installation(File& own, const String& ownPath, const Manifest& manifest, const String& productName)
        : own_(own), ownPath_(ownPath), manifest_(manifest), productName_(productName) {
        uninstallArgument_ = "/u:\"";
        uninstallArgument_.Append(productName);
        uninstallArgument_.Append('"');
    }

    [[noreturn]] void Run(const String& directoryOverride);

private:
    bool Has(int32 flag) const { return manifest_.Has(flag); }
    void Problem(const String& text) { problems_.Append(text); }

    void Welcome();
    void ShowDocument(const char* templateName, const String& text);
    void StoreUninstaller();
    void CreateShortcuts();
    void CreateUninstallShortcuts();
    void SaveBackground();
    void Register(const String& sharedFilesList);
    InstallationFacts Facts() const;
    bool AskForRestart();
    [[noreturn]] void Restart(int exitCode);

    File& own_;
    const String& ownPath_;
    const Manifest& manifest_;
    const String& productName_;
    String directory_;
    String uninstallerPath_;
    String uninstallArgument_;
    String problems_;
    StoredFiles stored_;
    bool copyOver_ = false;
    bool startMenuShortcutMade_ = false;
    String firstStartMenuTarget_;
    int64 uninstallerBytes_ = 0;
};

void Installation::Welcome() {
    String text = manifest_.welcomeText;
    text.ReplaceAll("<product>", productName_.Text(), true);
    text = ReplaceOsMarker(text, WindowsDirectory());
    String caption;
    caption.Format("Quillpack Utility v%.1f", kInstallerVersion);
    if (AskUser(text, caption.Text(), MB_YESNO | MB_ICONINFORMATION) != IDYES) AbortProgram();
}

void Installation::ShowDocument(const char* templateName, const String& text) {
    if (AutomaticMode || text.IsEmpty()) return;
    if (ShowTextDialog(templateName, text.Text()) != IDC_ACCEPT) AbortProgram();
}

void Installation::StoreUninstaller() {
    const ArchiveHead& head = LocatedArchive();
    String image;
    if (!own_.ReadRange(image, 0, head.offset)) ReportCorruptArchive(CorruptUninstallerRead);
    if (Has(Checksums) && !UninstallerChecksumMatches(image.Text(), image.Length(), manifest_.uninstallerChecksum))
        ReportCorruptArchive(CorruptUninstallerChecksum);
    // The copy of a signed setup's image must not point at the certificate
    // table that stayed behind in the setup program.
    DetachSignature(image.Buffer(), image.Length());
    // No registration may point at an uninstaller that is not there.
    String problem;
    if (!StoreFile(uninstallerPath_, image.Text(), image.Length(), manifest_.uninstallerDate, problem))
        FatalError("The uninstaller could not be saved as:\r\n%s\r\n\r\nThe installation cannot proceed.",
                   uninstallerPath_.Text());
    problems_.Append(problem);
    uninstallerBytes_ = image.Length();
}

void Installation::CreateShortcuts() {
    Cursor cursor;
    for (ShortcutRequest* request = stored_.shortcuts.GetFirst(cursor); request;
         request = stored_.shortcuts.GetNext(cursor)) {
        const char* target = request->target.Text();
        const char* workingDirectory = directory_.Text();
        bool failed = false;
        String link;
        if (request->desktop) {
            if (CreateDesktopShortcut(request->name, target, "", workingDirectory, &link)) {
                JournalAdd(JournalShortcut, link);
                RecordRemovalPath(link, false);
            } else {
                failed = true;
            }
        }
        if (request->startMenu) {
            if (CreateProgramsShortcut(JoinPath(manifest_.startMenuFolder, request->name), target, "",
                                       workingDirectory, &link)) {
                JournalAdd(JournalShortcut, link);
                RecordRemovalPath(link, false);
                startMenuShortcutMade_ = true;
                if (firstStartMenuTarget_.IsEmpty()) firstStartMenuTarget_ = request->target;
            } else {
                failed = true;
            }
        }
        if (request->startup) {
            link = JoinPath(StartupFolder(), request->name);
            if (CreateShortcut(link, target, "", workingDirectory)) {
                JournalAdd(JournalShortcut, link);
                RecordRemovalPath(link, false);
            } else {
                failed = true;
            }
        }
        if (failed) {
            Problem("Unable to create shortcut: ");
            Problem(request->name);
            Problem("\r\n\r\n");
        }
    }
}

void Installation::CreateUninstallShortcuts() {
    String name("Uninstall ");
    name.Append(productName_);
    // The product name may come from the command line: a name that would
    // climb out of its folder is treated as a shortcut that could not be made.
    bool safe = IsContainedName(name);
    String link;
    if (startMenuShortcutMade_) {
        link = JoinPath(ProgramsFolder(), JoinPath(manifest_.startMenuFolder, name));
        if (safe && CreateProgramsShortcut(JoinPath(manifest_.startMenuFolder, name), uninstallerPath_.Text(),
                                           uninstallArgument_.Text(), "", &link)) {
            JournalAdd(JournalShortcut, link);
            RecordRemovalPath(link, false);
        } else {
            Problem("Failed to create start menu uninstaller:\r\n");
            Problem(link);
            Problem("\r\n\r\n");
            ShowError("Failed to create start menu uninstaller:\r\n%s", link.Text());
        }
    }
    link = JoinPath(directory_, name);
    if (safe && CreateShortcut(link, uninstallerPath_.Text(), uninstallArgument_.Text(), "")) {
        JournalAdd(JournalShortcut, link);
        RecordRemovalPath(link, false);
    } else {
        ShowError("Failed to create uninstall shortcut:\r\n%s", link.Text());
    }
}

void Installation::SaveBackground() {
    if (!Has(BackgroundFile) || manifest_.bitmap.IsEmpty() || CurrentBackground().bitmap.IsEmpty()) return;
    String path = JoinPath(directory_, "Installer Background.BMP");
    if (!PrepareToStore(path)) return;
    if (SaveBackgroundBitmap(path.Text())) RecordRemovalPath(path, false);
}

void Installation::Register(const String& sharedFilesList) {
    const BackgroundSettings& background = CurrentBackground();
    UninstallRecordValues values;
    values.uninstallerPath = uninstallerPath_;
    values.productName = productName_;
    values.installerPath = ownPath_;
    values.version = manifest_.version;
    values.publisher = manifest_.publisher;
    values.installDirectory = directory_;
    values.registryPath = manifest_.registryKey;
    values.startMenuFolder = manifest_.startMenuFolder;
    values.sharedDirectory = manifest_.sharedDirectory;
    values.fontsList = stored_.fontsList;
    values.flags = manifest_.flags;
    values.uninstallBatch1 = manifest_.uninstallBatch1;
    values.uninstallBatch2 = manifest_.uninstallBatch2;
    values.sharedFilesList = sharedFilesList;
    values.displayTitle = background.title;
    values.titleColor = background.titleColor;
    values.topColor = background.topColor;
    values.bottomColor = background.bottomColor;
    values.monoColor = background.monoColor;
    values.displayIcon = firstStartMenuTarget_.IsEmpty() ? uninstallerPath_ : firstStartMenuTarget_;
    values.estimatedSizeBytes = stored_.storedBytes + uninstallerBytes_;
    WriteUninstallRecord(values, problems_);
}

// The installation's own record of what it owns, which the uninstaller
// holds against the registration before it deletes a folder or key.
InstallationFacts Installation::Facts() const {
    InstallationFacts facts;
    facts.product = productName_;
    facts.installLocation = directory_;
    facts.sharedPath = manifest_.sharedDirectory;
    facts.productRegistry = manifest_.registryKey;
    facts.removalList = RemovalRecordText().IsEmpty() ? RemovalNone : RemovalListed;
    return facts;
}

bool Installation::AskForRestart() {
    if (AutomaticMode) return true;
    return AskUser("You need to reboot your computer to finish the installation.  Do you wish to reboot now?",
                   "Reboot computer?", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// Current Windows ignores a restart request from a process that has not
// enabled its shutdown privilege first.
bool EnableShutdownPrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool ok = LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid) &&
              AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
              GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return ok;
}

void Installation::Restart(int exitCode) {
    EnableShutdownPrivilege();
    if (ExitWindowsEx(EWX_REBOOT, SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION |
                                      SHTDN_REASON_FLAG_PLANNED))
        ExitProgram(exitCode);
    ShowError("%s", "The computer could not be restarted.  Please restart it yourself to finish the installation.");
    ExitProgram(exitCode == ExitSuccess ? ExitRestartNeeded : exitCode);
}

void Installation::Run(const String& directoryOverride) {
    directory_ = directoryOverride;
    // A run of this setup that was killed is undone before anything else.
    Vector<String> leftByUndoing;
    if (Has(WithUninstaller)) UndoUnfinishedInstallation(productName_, nullptr, &leftByUndoing);

    PreviousInstall previous;
    if (Has(WithUninstaller)) previous = LookUpPreviousInstallation(productName_);
    if (!AutomaticMode) {
        Welcome();
        ShowDocument("LicenseDlg", manifest_.licenseText);
        ShowDocument("ReadmeDlg", manifest_.readmeText);
    }
    if (Has(WithUninstaller) && previous.found) {
        copyOver_ = DecidePreviousInstallation(previous, manifest_, productName_, directory_);
    }
    // Every folder made from here on is this run's to take away again.
    WatchFoldersMade(&leftByUndoing);
    if (!copyOver_) ChooseInstallationDirectory(directory_, manifest_, productName_);
    // Recorded as the system resolves it ("\.", "/", 8.3 names and a
    // trailing "\" gone), so the uninstaller's guards judge the real folder.
    String canonical = CanonicalPath(directory_);
    if (!canonical.IsEmpty()) directory_ = canonical;
    uninstallerPath_ = JoinPath(directory_, "Uninstall.EXE");
    if (!BeginJournal(Facts(), Has(WithUninstaller)))
        FatalError("The record of this installation could not be written in:\r\n%s\r\n\r\nThe installation "
                   "cannot proceed.",
                   directory_.Text());
    const String& shared = manifest_.sharedDirectory;

    RunBatch(directory_, manifest_.batchBefore, shared);
    CreateProgressWindow(productName_.Text());

    SetProgressLine("Installing uninstaller...");
    if (Has(WithUninstaller)) StoreUninstaller();

    SetProgressLine("Extracting files...");
    StoredPayload payload(own_, LocatedArchive().payloadStart, manifest_);
    GatherPayload(payload);

    SetProgressLine("Storing files...");
    ResetRemovalRecord();
    // What the copy below still holds stays listed for its uninstaller.
    if (copyOver_) MergeRemovalRecord(ScopeOfInstallation(directory_));
    // Folders the run made above the installation directory go with the
    // uninstallation once they are empty.
    for (int32 i = 0; i < FoldersMade().Count(); ++i) {
        const String& folder = const_cast<Vector<String>&>(FoldersMade())[i];
        if (IsInsideFolder(directory_, folder)) RecordRemovalPath(folder, true);
    }
    StoreAllFiles(payload, directory_, problems_, stored_);

    // Sent with a time limit: one hung window must not hang the installation.
    if (stored_.anyFontRegistered)
        SendMessageTimeoutA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    SetProgressPercent(87);

    String sharedFilesList;
    if (Has(WithUninstaller)) {
        // The counts the product's registration still holds are taken back
        // first, whether its old folder still exists or not.
        RegisteredLists previous = ReadRegisteredLists(productName_);
        sharedFilesList = CountSharedFiles(shared, stored_.sharedNames, previous.sharedFiles, problems_);
        CountFonts(FontsFolder(), stored_.fontsList, previous.fonts);
    }

    SetProgressPercent(90);
    SetProgressLine("Creating shortcuts...");
    CreateShortcuts();
    if (Has(WithUninstaller)) CreateUninstallShortcuts();
    SetProgressPercent(95);
    SaveBackground();

    if (!manifest_.registryKey.IsEmpty()) PrepareProductKeys(manifest_.registryKey, problems_);
    if (Has(EditPath)) {
        Problem(EditStartupPath(directory_, true));
        Problem(AddToSystemPath(directory_, productName_));
    }
    // The list is complete on disk before the registration names its
    // uninstaller: a registration whose uninstaller would find nothing to
    // remove is never left behind.
    // A list already there (a copy-over) is kept aside until the run is done.
    PrepareToStore(JoinPath(directory_, kRemovalFileName));
    if (!SaveRemovalRecord(directory_))
        FatalError("%s", "The information about what files need to be deleted could not be saved.  The "
                         "installation cannot proceed and has been undone.");
    if (Has(WithUninstaller)) Register(sharedFilesList);
    // From here nothing is undone: the product is installed.
    if (!CompleteJournal(Facts(), Has(WithUninstaller)))
        Problem("The record of what this installation owns could not be saved.  The uninstaller will not be "
                "able to remove all of the files that it should.\r\n\r\n");

    SetProgressLine("Finished");
    SetProgressPercent(100);
    RunBatch(directory_, manifest_.batchAfter, shared);
    DestroyProgressWindow();

    Problem(FinishInstallation(problems_, FilesReplacedAtRestart(), directory_, manifest_.flags, copyOver_, true,
                               manifest_.version, productName_));
    int exitCode = problems_.IsEmpty() ? ExitSuccess : ExitPartial;
    bool restart = false;
    // Files in use take their place at the restart: it is asked for, and an
    // unattended installation says so with its exit code instead.
    bool filesWaiting = !FilesReplacedAtRestart().IsEmpty();
    if (Has(RebootPrompt) || (filesWaiting && !AutomaticMode)) {
        restart = AskForRestart();
        // Declined: installed, but not finished until the machine restarts.
        if (!restart && exitCode == ExitSuccess) exitCode = ExitRestartNeeded;
    } else if (filesWaiting && exitCode == ExitSuccess) {
        exitCode = ExitRestartNeeded;
    }
    RunBatch(directory_, manifest_.batchFinal, shared);
    if (!shared.IsEmpty()) RemoveEmptyDirectory(shared);
    RemoveEmptyDirectory(directory_);
    if (restart) Restart(exitCode);
    ExitProgram(exitCode);
}

}  // namespace

void RunInstallation(File& own, const String& ownPath, ByteStream& header, const String& directoryOverride,
                     const String& productNameOverride) {
    Manifest manifest;
    ReadManifest(header, manifest);
    header.Clear();
    WindowsManifestHost host;
    host.productName = productNameOverride;
    DeriveManifestValues(manifest, host.productName, host);
    // Without a start-menu folder of its own the product name stands in for
    // it, and it names the uninstall shortcut: it must stay inside its folder.
    if (!IsContainedName(manifest.startMenuFolder)) {
        if (!productNameOverride.IsEmpty()) UsageError("Product name not usable as a folder name");
        ReportCorruptArchive(CorruptFolderName);
    }
    Installation installation(own, ownPath, manifest, host.productName);
    installation.Run(directoryOverride);
}
