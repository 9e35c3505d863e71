#include "installer/extraction.h"

#include <windows.h>

#include "archive/archive.h"
#include "archive/lz_codec.h"
#include "archive/payload.h"
#include "archive/safe_name.h"
#include "core/paths.h"
#include "records/quoted_list.h"
#include "core/text_builder.h"
#include "installer/archive_locate.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/special_folders.h"
#include "uninstall/registration.h"
#include "ui/dialogs.h"
#include "uninstall/install_journal.h"
#include "uninstall/removal_record.h"

namespace {

// Percentages steps before each part and each record; 64-bit so that large
// payloads do not overflow the product.
int32 Share(int32 base, int32 span, int64 done, int64 total) {
    if (total <= 0) return base;
    return base + int32(int64(span) * done / total);
}

// The insert-disk prompt and its abort question; both appear in automatic
// mode too, since nobody else can supply the disk.
void AskForDisk(int32 disk, const String& path) {
    char letter = DriveLetterOf(path);
    String text;
    if (letter) {
        text.Format("Please insert disk #%d into drive %c:.", int(disk), letter);
    } else {
        // A program started from a network path has no drive to name.
        text.Format("Please insert disk #%d holding ", int(disk));
        text.Append(path);
        text.Append('.');
    }
    for (;;) {
        if (AskUser(text, "Insert Disk", MB_OKCANCEL | MB_ICONQUESTION) == IDOK) return;
        if (AskUser("Do you want to abort the installation?", "Abort", MB_YESNO | MB_ICONQUESTION) == IDYES)
            AbortProgram();
        // No: the insert-disk prompt again.
    }
}

// Records up to this size are stored whole, larger ones as their pieces
// arrive; with the decoder's window this bounds the memory of any payload.
const int32 kHeldRecord = 8 * 1024 * 1024;

// True when a file could not be opened because another program has it open.
bool InUse(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }

// Files that take their place only at the next restart, one line each.
TextBuilder ReplacedAtRestart;

void AppendLine(TextBuilder& problems, const char* what, const String& path) {
    problems.Append(what);
    problems.Append(path);
    problems.Append("\r\n\r\n");
}

// One file being written: in place, or, when the file there is in use,
// beside it, to take its place at the next restart. A file in use would
// otherwise leave the product half old, half new.
class TargetFile {
public:
    bool Open(const String& path, TextBuilder& problems) {
        path_ = path;
        written_ = path;
        atRestart_ = false;
        PrepareToStore(path);
        if (file_.Create(path, true)) return true;
        uint32 attributes = FileAttributes(path);
        if (!InUse(GetLastError()) || attributes == kNoAttributes || (attributes & kAttributeDirectory)) {
            AppendLine(problems, "Unable to create file: ", path);
            return false;
        }
        written_ = path + ".qpk-new";
        PrepareToStore(written_);
        atRestart_ = file_.Create(written_, true);
        if (!atRestart_) AppendLine(problems, "Unable to create file: ", path);
        return atRestart_;
    }

    bool Write(const char* data, int32 size, TextBuilder& problems) {
        if (file_.Write(data, size)) return true;
        AppendLine(problems, "Unable to write file: ", path_);
        Abandon();
        return false;
    }

    // Sets the date through the handle that wrote the file (a second open
    // would double the cost of every small file) and, for a file written
    // beside its old self, asks the system to swap them at the restart.
    bool Finish(const FileDate& date, TextBuilder& problems) {
        if (date.IsSet() && !file_.SetTime(date, false)) {
            problems.Append("Failed to set file date:\r\n");
            problems.Append(path_);
            problems.Append("\r\n");
            problems.Append(date.Text());
            problems.Append("\r\n\r\n");
        }
        file_.Close();
        if (!atRestart_) return true;
        if (!MoveFileExA(written_.Text(), path_.Text(), MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING)) {
            // Without the right to schedule it, the file in use stays old.
            RemoveFile(written_);
            AppendLine(problems, "Unable to create file: ", path_);
            return false;
        }
        ReplacedAtRestart.Append("Replaced at restart: ");
        ReplacedAtRestart.Append(path_);
        ReplacedAtRestart.AppendBytes("\r\n", 2);
        return true;
    }

    void Abandon() {
        file_.Close();
        RemoveFile(written_);
    }

private:
    File file_;
    String path_;
    String written_;
    bool atRestart_ = false;
};

class Installer : public RecordStreamSink {
public:
    Installer(const Manifest& manifest, const String& installDirectory, StoredFiles& stored)
        : manifest_(manifest),
          installDirectory_(installDirectory),
          stored_(stored),
          sharedDirectory_(manifest.sharedDirectory),
          fontsFolder_(FontsFolder()),
          record_(!manifest.Has(NoRemovalList)) {
        // Without an uninstaller the manifest names no shared directory; a
        // shared file must still not land in whatever the current directory is.
        if (sharedDirectory_.IsEmpty()) sharedDirectory_ = JoinPath(CommonFilesFolder(), manifest.publisher);
    }

    // Thousands of failing files would make the report grow quadratically
    // if every line went straight into one String.
    String TakeProblems() { return problems_.Take(); }

    void BeforeRecord(int32 index, int32 count) override { SetProgressPercent(Share(45, 40, index, count)); }

    // A record whole, or the end of one that came in pieces.
    void Store(int32, const FileRecord& record) override {
        if (streaming_) {
            streaming_ = false;
            if (destination_.IsEmpty()) return;
            // The shortcut's name follows the data: known only now.
            if (IsProgram(record) && (record.shortcutBits & (DesktopShortcut | StartMenuShortcut)))
                AddShortcut(record, destination_);
            if (!writing_) return;
            writing_ = false;
            if (target_.Finish(record.date, problems_)) Stored(record, destination_);
            return;
        }
        if (IsProgram(record) && (record.shortcutBits & (DesktopShortcut | StartMenuShortcut)))
            AddShortcut(record, JoinPath(installDirectory_, record.name));
        String destination = Destination(record);
        if (destination.IsEmpty()) return;
        String fileProblems;
        bool stored = StoreFile(destination, record.data, record.size, record.date, fileProblems);
        problems_.Append(fileProblems);
        if (stored) Stored(record, destination);
    }

    void BeginData(int32, const FileRecord& head) override {
        streaming_ = true;
        destination_.Clear();
        // A kind the format does not know is refused once the record is
        // complete; until then nothing of it is written anywhere.
        if (!IsProgram(head) && head.kind != Shared && head.kind != Font) return;
        destination_ = Destination(head);
        writing_ = !destination_.IsEmpty() && target_.Open(destination_, problems_);
    }

    void Data(const char* piece, int32 length) override {
        if (writing_ && !target_.Write(piece, length, problems_)) writing_ = false;
    }

    void Discard(int32) override {
        if (writing_) target_.Abandon();
        streaming_ = writing_ = false;
    }

private:
    static bool IsProgram(const FileRecord& record) {
        return record.kind == Normal || record.kind == StartupProgram;
    }

    // Where the record goes, with what that takes first (its folders and its
    // line in the removal record); empty when it is not stored.
    String Destination(const FileRecord& record) {
        String destination;
        switch (record.kind) {
            case Normal:
            case StartupProgram:
                destination = JoinPath(installDirectory_, record.name);
                PrepareDirectory(destination);
                if (record_) RecordRemovalPath(destination, false);
                break;
            case Shared:
                destination = JoinPath(sharedDirectory_, record.name);
                stored_.sharedNames.Append(record.name);
                if (!MayReplace(destination, record.date, "shared")) return String();
                // Made only now that a shared file is stored there.
                CreateDirectoryPath(ParentDirectory(destination));
                break;
            case Font:
                destination = JoinPath(fontsFolder_, record.name);
                if (!MayReplace(destination, record.date, "font")) return String();
                break;
            default:
                ReportCorruptArchive(CorruptFileKind);
        }
        return destination;
    }

    void Stored(const FileRecord& record, const String& destination) {
        stored_.storedBytes += record.size;
        if (record.kind == Font) InstallFont(record);
        if (!manifest_.Has(QuietFileList)) {
            String line(record.name);
            line.Append(" -> ");
            line.Append(destination);
            SetProgressLine(line);
        }
    }

    void AddShortcut(const FileRecord& record, const String& destination) {
        // The shortcut's name becomes a file in the desktop or programs
        // folder: it must stay inside them like the record's own name.
        if (!IsContainedName(record.shortcutName)) ReportCorruptArchive(CorruptEmptyName);
        ShortcutRequest request;
        request.desktop = (record.shortcutBits & DesktopShortcut) != 0;
        request.startMenu = (record.shortcutBits & StartMenuShortcut) != 0;
        request.startup = record.kind == StartupProgram;
        request.target = destination;
        request.name = record.shortcutName;
        stored_.shortcuts.Append(request);
    }

    // Creates the folders between the installation directory and the file,
    // recording each one created so that the uninstaller can take it away
    // again; an inner folder alone would leave its empty parents behind.
    void PrepareDirectory(const String& destination) {
        String directory = ParentDirectory(destination);
        if (SamePath(directory, installDirectory_)) return;
        // Files of one folder come one after another: the folder is made and
        // recorded once for all of them.
        if (directory == lastDirectory_) return;
        lastDirectory_ = directory;
        if (!CreateDirectoryPath(directory)) {
            problems_.Append("Unable to create directory: ");
            problems_.Append(directory);
            problems_.Append("\r\n\r\n");
        }
        if (!record_) return;
        Vector<String> levels;
        String level = directory;
        while (level.Length() > installDirectory_.Length() && StartsWithPath(level, installDirectory_)) {
            levels.Prepend(level);
            if (!StripLastComponent(level)) break;
        }
        if (levels.Count() == 0) levels.Append(directory);
        for (int32 i = 0; i < levels.Count(); ++i) RecordRemovalPath(levels[i], true);
    }

    void InstallFont(const FileRecord& record) {
        if (!RegisterFont(record.name, record.shortcutName)) {
            problems_.Append("Failed to install font: ");
            problems_.Append(record.name);
            problems_.Append("\r\n\r\n");
            ShowError("Failed to install font: %s", record.name.Text());
            return;
        }
        JournalAdd(JournalFont, record.shortcutName.IsEmpty() ? record.name : record.shortcutName, record.name);
        AppendFontItem(stored_.fontsList, record.shortcutName, record.name);
        stored_.anyFontRegistered = true;
    }

    const Manifest& manifest_;
    const String& installDirectory_;
    TextBuilder problems_;
    StoredFiles& stored_;
    String sharedDirectory_;
    String fontsFolder_;
    String lastDirectory_;
    bool record_;
    // The record arriving in pieces.
    bool streaming_ = false;
    bool writing_ = false;
    String destination_;
    TargetFile target_;
};

}  // namespace

StoredPayload::StoredPayload(File& own, int64 payloadStart, const Manifest& manifest)
    : own_(own), payloadStart_(payloadStart), manifest_(manifest) {
    Rewind();
}

void StoredPayload::Rewind() {
    // The first part ends at the trailer, which a signature's certificate
    // table may follow.
    int64 archiveEnd = LocatedArchiveEnd();
    int64 first = archiveEnd - payloadStart_ - ArchiveTrailerSize;
    if (archiveEnd < 0 || first < 0) ReportCorruptArchive(CorruptFirstPart);
    disk_.Close();
    current_ = &own_;
    diskNumber_ = 1;
    partLeft_ = first;
    received_ = 0;
    ended_ = false;
    if (first > 0 && !own_.Seek(int32(payloadStart_))) partLeft_ = -1;
}

// The next disk file: asked for until it is there; an empty one is fatal.
bool StoredPayload::NextPart() {
    if (received_ >= manifest_.payloadLength) return false;
    ++diskNumber_;
    String name;
    name.Format(DISK_FILE_FORMAT, int(diskNumber_));
    String path = PathInModuleDirectory(name);
    while (!disk_.OpenForReading(path, true)) AskForDisk(diskNumber_, path);
    current_ = &disk_;
    partLeft_ = disk_.Size();
    if (partLeft_ == 0) FatalError("The file %s is empty.", path.Text());
    return true;
}

int32 StoredPayload::Read(char* into, int32 room) {
    if (ended_) return 0;
    while (partLeft_ == 0) {
        if (!NextPart()) {
            ended_ = true;
            return 0;
        }
    }
    if (partLeft_ < 0) return -1;
    int32 count = partLeft_ < room ? int32(partLeft_) : room;
    if (!current_->Read(into, count)) return -1;
    partLeft_ -= count;
    received_ += count;
    if (showProgress) {
        SetProgressPercent(Share(5, 30, received_, manifest_.payloadLength));
    } else {
        // A large file takes many reads: the Abort button must still work.
        PumpMessages();
    }
    return count;
}

void GatherPayload(StoredPayload& payload) {
    const Manifest& manifest = payload.GetManifest();
    SetProgressPercent(5);
    int32 code = CheckPayload(payload, manifest, payload.check);
    if (code != CorruptNone) ReportCorruptArchive(code);
    if (manifest.Has(CompressedPayload)) {
        SetProgressPercent(40);
        SetProgressLine("Decompressing...");
    }
}

void StoreAllFiles(StoredPayload& payload, const String& installDirectory, String& problems, StoredFiles& stored) {
    payload.Rewind();
    payload.showProgress = false;
    Installer installer(payload.GetManifest(), installDirectory, stored);
    int32 code = StreamPayload(payload, payload.GetManifest(), payload.check, installer, kHeldRecord);
    problems.Append(installer.TakeProblems());
    if (code != CorruptNone) ReportCorruptArchive(code);
}

const String& FilesReplacedAtRestart() {
    static String text;
    text = ReplacedAtRestart.Take();
    ReplacedAtRestart.Append(text);
    return text;
}

bool StoreFile(const String& path, const char* data, int32 size, const FileDate& date, String& problems) {
    if (size < 0) ReportCorruptArchive(CorruptNegativeData);
    TextBuilder said;
    TargetFile target;
    bool stored = target.Open(path, said) && target.Write(data, size, said) && target.Finish(date, said);
    problems.Append(said.Take());
    return stored;
}

bool MayReplace(const String& path, const FileDate& date, const char* kindWord) {
    if (!date.IsSet()) return true;
    FileDate existing;
    {
        File file;
        if (!file.OpenForReading(path, false)) return true;
        if (!file.GetTime(&existing)) return true;
    }
    if (existing.Compare(date) <= 0) return true;
    if (AutomaticMode) return false;
    String text("A newer copy of the following ");
    text.Append(kindWord);
    text.Append(" file (dated ");
    text.Append(existing.Text());
    text.Append(") is on your computer:\r\n");
    text.Append(path);
    text.Append("\r\n\r\nDo you wish to overwrite this file with the version dated ");
    text.Append(date.Text());
    text.Append(" (not recommended)?");
    return AskUser(text, "Replace File?", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool RegisterFont(const String& fileName, const String& displayName) {
    if (AddFontResourceA(fileName.Text()) == 0) return false;
    // The font table forgets the font at the next restart; the Fonts key is
    // what brings it back.
    if (OpenSoftwareKey(kFontsKey, false) != OpenFailed) {
        WriteString(displayName.IsEmpty() ? fileName.Text() : displayName.Text(), fileName.Text());
        CloseKey();
    }
    return true;
}
