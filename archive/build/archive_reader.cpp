#include "archive/build/archive_reader.h"

#include <stdio.h>
#include <string.h>

#include <fstream>

#include "archive/payload.h"
#include "archive/pe_image.h"
#include "core/byte_stream.h"

namespace {

void Fail(Inspection& result, int32_t code) {
    result.code = code;
    result.problem = std::string("corrupt archive, error code ") + std::to_string(code) + ": " +
                     CorruptCodeMeaning(code);
}

std::string DiskFileName(int32_t disk) {
    char name[32];
    snprintf(name, sizeof name, DISK_FILE_FORMAT, int(disk));
    return name;
}

// The stored payload as the installer gathers it: the first part from the
// setup program, then whole disk files until the manifest's length is
// reached. What went wrong is kept, for the reader's own messages.
class PartsPayload : public PayloadSource {
public:
    enum Fault { kNoFault, kMissing, kEmpty, kTooLong, kUnreadable };

    PartsPayload(SetupParts& parts, int64 payloadStart, int64 firstLength, int64 payloadLength)
        : parts_(parts), payloadStart_(payloadStart), first_(firstLength), payloadLength_(payloadLength) {
        Rewind();
    }

    void Rewind() {
        disk_ = 1;
        partLeft_ = first_;
        received_ = 0;
        ended_ = false;
        fault_ = kNoFault;
        if (first_ > 0 && !parts_.Setup().SeekTo(payloadStart_)) Stop(kUnreadable);
    }

    int32 Read(char* into, int32 room) override {
        if (fault_ != kNoFault) return -1;
        if (ended_) return 0;
        while (partLeft_ == 0) {
            if (received_ >= payloadLength_) {
                ended_ = true;
                return 0;
            }
            ++disk_;
            int64_t size = 0;
            if (!parts_.OpenDisk(disk_, size)) return Stop(kMissing);
            if (size <= 0) return Stop(kEmpty);
            // The format's lengths are 32-bit: a longer payload cannot match.
            if (size > ArchiveMaxLength - received_) return Stop(kTooLong);
            partLeft_ = size;
            disksRead_ = disk_ - 1;
        }
        int32 count = partLeft_ < room ? int32(partLeft_) : room;
        bool read = disk_ == 1 ? parts_.Setup().ReadExact(into, count) : parts_.ReadDisk(into, count);
        if (!read) return Stop(kUnreadable);
        partLeft_ -= count;
        received_ += count;
        return count;
    }

    // Maps a part that could not be read to the reader's report; false when
    // nothing went wrong with the parts.
    bool Report(Inspection& result) const {
        switch (fault_) {
        case kNoFault:
            return false;
        case kMissing:
            Fail(result, CorruptPartRead);
            result.problem += " (" + DiskFileName(disk_) + " is missing)";
            return true;
        case kEmpty:
            result.problem = "The file " + DiskFileName(disk_) + " is empty.";
            return true;
        case kTooLong:
            Fail(result, CorruptPayloadChecksum);
            return true;
        case kUnreadable:
            Fail(result, CorruptPartRead);
            return true;
        }
        return false;
    }

    int64 Received() const { return received_; }
    int32_t DisksRead() const { return disksRead_; }

private:
    int32 Stop(Fault fault) {
        fault_ = fault;
        return -1;
    }

    SetupParts& parts_;
    const int64 payloadStart_;
    const int64 first_;
    const int64 payloadLength_;
    int32_t disk_ = 1;
    int64 partLeft_ = 0;
    int64 received_ = 0;
    int32_t disksRead_ = 0;
    bool ended_ = false;
    Fault fault_ = kNoFault;
};

// The records as the second pass hands them on: into the inspection's file
// table, their data to the caller's sink and, when asked, into the table.
class Collector : public RecordStreamSink {
public:
    Collector(std::vector<InspectedFile>& files, InspectedData* data, bool keepData)
        : files_(files), data_(data), keepData_(keepData) {}

    void BeforeRecord(int32, int32) override {}

    void BeginData(int32, const FileRecord& head) override {
        current_ = Head(head);
        if (data_) data_->Begin(current_);
    }

    void Data(const char* piece, int32 length) override {
        if (data_) data_->Data(piece, size_t(length));
        if (keepData_) current_.data.append(piece, size_t(length));
    }

    void Discard(int32) override {
        if (data_) data_->Discard();
        current_ = InspectedFile();
    }

    void Store(int32, const FileRecord& record) override {
        if (record.data) {
            // Held whole: it never went through BeginData.
            current_ = Head(record);
            if (data_) {
                data_->Begin(current_);
                data_->Data(record.data, size_t(record.size));
            }
            if (keepData_) current_.data.assign(record.data, size_t(record.size));
        }
        current_.checksum = record.checksum;
        current_.date = record.date;
        current_.shortcutName.assign(record.shortcutName.Text(), size_t(record.shortcutName.Length()));
        if (data_) data_->End(current_);
        files_.push_back(std::move(current_));
        current_ = InspectedFile();
    }

private:
    static InspectedFile Head(const FileRecord& record) {
        InspectedFile f;
        f.name.assign(record.name.Text(), size_t(record.name.Length()));
        f.kind = record.kind;
        f.shortcutBits = record.shortcutBits;
        f.size = record.size;
        return f;
    }

    std::vector<InspectedFile>& files_;
    InspectedData* data_;
    const bool keepData_;
    InspectedFile current_;
};

// Reads the first count bytes of the source; false when they are not there.
bool ReadPrefix(ArchiveSource& source, int64_t count, std::string& bytes) {
    bytes.assign(size_t(count), '\0');
    return source.SeekTo(0) && (count == 0 || source.ReadExact(&bytes[0], int32(count)));
}

// --- Parts in memory ---------------------------------------------------------------

class MemoryParts : public SetupParts {
public:
    MemoryParts(const std::string& setup, const DiskLoader& loadDisk) : setup_(setup), loadDisk_(loadDisk) {}
    ArchiveSource& Setup() override { return setup_; }
    bool OpenDisk(int32_t disk, int64_t& size) override {
        disk_.clear();
        position_ = 0;
        if (!loadDisk_ || !loadDisk_(disk, disk_)) return false;
        size = int64_t(disk_.size());
        return true;
    }
    bool ReadDisk(char* into, int32_t count) override {
        if (count < 0 || size_t(count) > disk_.size() - position_) return false;
        memcpy(into, disk_.data() + position_, size_t(count));
        position_ += size_t(count);
        return true;
    }

private:
    MemorySource setup_;
    const DiskLoader& loadDisk_;
    std::string disk_;
    size_t position_ = 0;
};

// --- Parts in files -------------------------------------------------------------------

// A file read through ArchiveSource: its size is taken once, when opened.
class FileParts : public SetupParts {
public:
    explicit FileParts(const DiskPath& diskPath) : diskPath_(diskPath) {}
    bool OpenSetup(const std::string& path) { return setup_.Open(path); }
    ArchiveSource& Setup() override { return setup_; }
    bool OpenDisk(int32_t disk, int64_t& size) override {
        std::string path = diskPath_ ? diskPath_(disk) : std::string();
        if (path.empty() || !disk_.Open(path)) return false;
        size = disk_.Size();
        return true;
    }
    bool ReadDisk(char* into, int32_t count) override { return disk_.ReadExact(into, count); }

private:
    const DiskPath& diskPath_;
    FileArchiveSource setup_;
    FileArchiveSource disk_;
};

}  // namespace

bool FileArchiveSource::Open(const std::string& path) {
    in_.close();
    in_.clear();
    in_.open(path, std::ios::binary);
    if (!in_) return false;
    in_.seekg(0, std::ios::end);
    std::streamoff end = in_.tellg();
    in_.seekg(0);
    size_ = end < 0 ? 0 : int64(end);
    return bool(in_);
}

bool FileArchiveSource::SeekTo(int64 position) {
    if (position < 0 || position > size_) return false;
    in_.clear();
    return bool(in_.seekg(std::streamoff(position)));
}

bool FileArchiveSource::ReadExact(void* data, int32 count) {
    if (count < 0) return false;
    in_.read(static_cast<char*>(data), count);
    return in_.gcount() == count;
}

bool MemorySource::SeekTo(int64 position) {
    if (position < 0 || position > int64(bytes_.size())) return false;
    position_ = size_t(position);
    return true;
}

bool MemorySource::ReadExact(void* data, int32 count) {
    if (count < 0) return false;
    size_t n = bytes_.size() - position_;
    if (n > size_t(count)) n = size_t(count);
    memcpy(data, bytes_.data() + position_, n);
    position_ += n;
    return n == size_t(count);
}

Inspection InspectParts(SetupParts& parts, InspectedData* data, bool keepData) {
    Inspection result;
    ArchiveSource& setup = parts.Setup();
    ByteStream header;
    int32_t code = OpenArchive(setup, header, result.head, result.found);
    result.signedImage = result.head.signedImage;
    if (!result.found) {
        result.problem = "no archive is attached";
        return result;
    }
    if (code != CorruptNone) {
        Fail(result, code);
        return result;
    }
    // The program image in front of the archive, which becomes the
    // uninstaller: held whole, as the installer holds it.
    std::string image;
    const int64_t imageLength = result.head.offset;
    const bool imageRead = imageLength <= setup.Size() && ReadPrefix(setup, imageLength, image);
    if (imageRead && imageLength > 0) result.machine = PeMachine(image.data(), imageLength);

    result.manifest.reset(new Manifest);
    Manifest& m = *result.manifest;
    code = ParseManifest(header, m);
    if (code != CorruptNone) {
        Fail(result, code);
        return result;
    }
    if (m.Has(WithUninstaller)) {
        if (!imageRead) {
            Fail(result, CorruptUninstallerRead);
            return result;
        }
        if (m.Has(Checksums) && !UninstallerChecksumMatches(image.data(), int32(imageLength), m.uninstallerChecksum)) {
            Fail(result, CorruptUninstallerChecksum);
            return result;
        }
    }
    std::string().swap(image);

    // A header length past the end of the archive puts the first part there too.
    int64_t firstLength = result.head.end - result.head.payloadStart - ArchiveTrailerSize;
    if (firstLength < 0) {
        Fail(result, CorruptFirstPart);
        return result;
    }
    PartsPayload payload(parts, result.head.payloadStart, firstLength, m.payloadLength);
    PayloadCheck check;
    code = CheckPayload(payload, m, check);
    if (payload.Report(result)) return result;
    result.disksRead = payload.DisksRead();
    result.payloadRead = payload.Received();
    if (code != CorruptNone) {
        Fail(result, code);
        return result;
    }
    result.method = check.method;

    payload.Rewind();
    Collector collector(result.files, data, keepData);
    code = StreamPayload(payload, m, check, collector);
    if (payload.Report(result)) return result;
    if (code != CorruptNone) Fail(result, code);
    return result;
}

Inspection InspectSetup(const std::string& setup, const DiskLoader& loadDisk) {
    MemoryParts parts(setup, loadDisk);
    return InspectParts(parts, nullptr, true);
}

Inspection InspectSetupFile(const std::string& setupPath, const DiskPath& diskPath, InspectedData* data) {
    FileParts parts(diskPath);
    if (!parts.OpenSetup(setupPath)) {
        Inspection result;
        result.problem = "no archive is attached";
        return result;
    }
    return InspectParts(parts, data, false);
}
