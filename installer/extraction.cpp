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

// Appends count bytes of the open file to the payload; a failed read is
// corruption of the payload.
void ReadPart(File& file, int32 count, ByteStream& payload) {
    String& bytes = payload.Bytes();
    int32 before = bytes.Length();
    if (count > kMaxStringLength - before) ReportCorruptArchive(CorruptPartRead);
    char* target = bytes.Extend(count);
    if (!file.Read(target, count)) ReportCorruptArchive(CorruptPartRead);
}

class Installer : public RecordSink {
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

    void Store(int32, const FileRecord& record) override {
        String destination;
        switch (record.kind) {
            case Normal:
            case StartupProgram:
                destination = JoinPath(installDirectory_, record.name);
                if (record.shortcutBits & (DesktopShortcut | StartMenuShortcut)) AddShortcut(record, destination);
                PrepareDirectory(destination);
                if (record_) RecordRemovalPath(destination, false);
                break;
            case Shared:
                destination = JoinPath(sharedDirectory_, record.name);
                stored_.sharedNames.Append(record.name);
                if (!MayReplace(destination, record.date, "shared")) return;
                // Made only now that a shared file is stored there.
                CreateDirectoryPath(ParentDirectory(destination));
                break;
            case Font:
                destination = JoinPath(fontsFolder_, record.name);
                if (!MayReplace(destination, record.date, "font")) return;
                break;
            default:
                ReportCorruptArchive(CorruptFileKind);
        }
        String fileProblems;
        bool stored = StoreFile(destination, record.data, record.size, record.date, fileProblems);
        problems_.Append(fileProblems);
        if (!stored) return;
        stored_.storedBytes += record.size;
        if (record.kind == Font) InstallFont(record);
        if (!manifest_.Has(QuietFileList)) {
            String line(record.name);
            line.Append(" -> ");
            line.Append(destination);
            SetProgressLine(line);
        }
    }

private:
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
};

}  // namespace

void GatherPayload(File& own, int64 payloadStart, const Manifest& manifest, ByteStream& payload) {
    // The first part ends at the trailer, which a signature's certificate
    // table may follow.
    int64 archiveEnd = LocatedArchiveEnd();
    int64 first = archiveEnd - payloadStart - ArchiveTrailerSize;
    if (archiveEnd < 0 || first < 0) ReportCorruptArchive(CorruptFirstPart);
    payload.Clear();
    int64 received = 0;
    int32 disk = 1;
    int64 partLength = first;
    File diskFile;
    File* current = &own;
    if (partLength > 0 && !own.Seek(int32(payloadStart))) ReportCorruptArchive(CorruptPartRead);
    for (;;) {
        SetProgressPercent(Share(5, 30, received, manifest.payloadLength));
        if (partLength > 0) {
            ReadPart(*current, int32(partLength), payload);
            received += partLength;
            if (received >= manifest.payloadLength) break;
        }
        ++disk;
        String name;
        name.Format(DISK_FILE_FORMAT, int(disk));
        String path = PathInModuleDirectory(name);
        while (!diskFile.OpenForReading(path, true)) AskForDisk(disk, path);
        current = &diskFile;
        partLength = diskFile.Size();
        if (partLength == 0) FatalError("The file %s is empty.", path.Text());
        if (partLength < 0) ReportCorruptArchive(CorruptPartRead);
    }
    diskFile.Close();
    own.Close();

    if (payload.Bytes().Checksum() != manifest.payloadChecksum) ReportCorruptArchive(CorruptPayloadChecksum);
    if (manifest.Has(CompressedPayload)) {
        SetProgressPercent(40);
        SetProgressLine("Decompressing...");
        if (!DecodeBlock(payload.Bytes())) ReportCorruptArchive(CorruptPayloadDecode);
    }
    payload.Rewind();
}

void StoreAllFiles(ByteStream& payload, const Manifest& manifest, const String& installDirectory,
                   String& problems, StoredFiles& stored) {
    payload.Rewind();
    Installer installer(manifest, installDirectory, stored);
    int32 code = SplitPayload(payload, manifest, installer);
    problems.Append(installer.TakeProblems());
    if (code != CorruptNone) ReportCorruptArchive(code);
}

bool StoreFile(const String& path, const char* data, int32 size, const FileDate& date, String& problems) {
    if (size < 0) ReportCorruptArchive(CorruptNegativeData);
    // Journaled before it is written, an existing copy set aside, so that a
    // stopped installation can put everything back.
    PrepareToStore(path);
    File file;
    if (!file.Create(path, true)) {
        problems.Append("Unable to create file: ");
        problems.Append(path);
        problems.Append("\r\n\r\n");
        return false;
    }
    if (!file.Write(data, size)) {
        problems.Append("Unable to write file: ");
        problems.Append(path);
        problems.Append("\r\n\r\n");
        return false;
    }
    // The date is set through the handle that wrote the data: opening the
    // file a second time would double the cost of every small file.
    if (date.IsSet()) {
        if (!file.SetTime(date, false)) {
            problems.Append("Failed to set file date:\r\n");
            problems.Append(path);
            problems.Append("\r\n");
            problems.Append(date.Text());
            problems.Append("\r\n\r\n");
        }
    }
    file.Close();
    return true;
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
