#include "archive/build/archive_writer.h"

#include <cstdio>
#include <fstream>
#include <memory>

#include "archive/archive.h"
#include "archive/build/lze_encoder.h"
#include "archive/payload.h"
#include "archive/pe_image.h"
#include "archive/safe_name.h"
#include "core/string.h"

namespace {

void PutInt(std::string& out, int32_t value) {
    uint32_t v = uint32_t(value);
    char bytes[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    out.append(bytes, 4);
}

void PutDate(std::string& out, const FileDate& d) {
    PutInt(out, d.year);
    PutInt(out, d.month);
    PutInt(out, d.day);
    PutInt(out, d.hour);
    PutInt(out, d.minute);
    PutInt(out, d.second);
}

// A NUL inside would end the text early for the reader.
void PutText(std::string& out, const std::string& text, const char* what) {
    if (text.find('\0') != std::string::npos) {
        throw BuildError(std::string(what) + " contains a NUL character");
    }
    if (int64_t(text.size()) >= ArchiveMaxLength) throw BuildError(std::string(what) + " is too long");
    out += text;
    out += '\0';
}

int32_t CheckedLength(size_t size, const char* what) {
    if (int64_t(size) > ArchiveMaxLength) {
        throw BuildError(std::string(what) + " is larger than 2 GB, the format's limit");
    }
    return int32_t(size);
}

uint32_t ChecksumOf(const std::string& bytes) {
    return Checksum(bytes.data(), CheckedLength(bytes.size(), "a checksummed block"));
}

std::string Encode(const std::string& data, LzLevel level) {
    std::vector<uint8_t> block =
        LzEncode(reinterpret_cast<const uint8_t*>(data.data()), data.size(), level);
    return std::string(block.begin(), block.end());
}

// Where each file's data lies in the records: offset and size.
using DataSpans = std::vector<std::pair<size_t, size_t>>;

// The whole payload compressed by the chosen method. With lze the code
// sections of each file that is an x86 image go through the branch filter.
std::vector<uint8_t> EncodePayload(const std::string& records, const DataSpans& spans, const BuildOptions& options) {
    const uint8_t* data = reinterpret_cast<const uint8_t*>(records.data());
    if (options.method == PayloadCompression::Lz) return LzEncode(data, records.size(), options.level);
    LzeOptions lze;
    lze.level = options.level == LzLevel::Fast ? LzeLevel::Fast : LzeLevel::Max;
    for (const auto& span : spans) {
        for (const auto& code : X86CodeRanges(data + span.first, span.second)) {
            lze.filterRanges.emplace_back(span.first + code.first, span.first + code.second);
        }
    }
    lze.progress = CurrentLzProgress();
    return LzeEncode(data, records.size(), lze);
}

}  // namespace

void CheckJoinedName(const std::string& text, const std::string& what) {
    if (text.find('\0') != std::string::npos) throw BuildError(what + " contains a NUL character");
    if (!IsContainedName(text.c_str())) {
        throw BuildError(what + " \"" + text +
                         "\" would leave the folder it is joined to (a drive, a leading \\ or /, "
                         "a \"..\" component or a device name such as NUL)");
    }
}

std::string CheckDestinationName(const std::string& name) {
    std::string stored = name;
    for (char& c : stored) {
        if (c == '/') c = '\\';
    }
    if (stored.empty()) throw BuildError("a destination name is empty");
    CheckJoinedName(name, "destination name");
    // Contained, yet not a file's name: the installer would make a folder
    // of "a\.\b" or try to write "a\" as a file.
    size_t start = 0;
    for (;;) {
        size_t end = stored.find('\\', start);
        std::string part = stored.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part.empty() || part == ".") {
            throw BuildError("destination name \"" + name + "\" has an empty or \".\" component");
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return stored;
}

void CheckJoinedTexts(const BuildManifest& m, const std::vector<BuildFile>& files) {
    CheckJoinedName(m.publisher, "the publisher");
    if (!m.startMenuFolder.empty()) {
        CheckJoinedName(m.startMenuFolder, "the start-menu folder");
    } else {
        // Without one the installer makes it of the publisher and the name.
        CheckJoinedName(m.productName, "the product name (the start-menu folder when none is given)");
    }
    for (const BuildFile& f : files) {
        CheckDestinationName(f.name);
        if (f.kind == Normal || f.kind == StartupProgram) {
            CheckJoinedName(f.shortcutName, "the shortcut name of " + f.name);
        }
    }
}

std::string SerializeManifest(const BuildManifest& m, const std::vector<int32_t>& sizes,
                              int32_t payloadLength, uint32_t payloadChecksum,
                              uint32_t uninstallerChecksum) {
    std::string out;
    PutInt(out, m.flags);
    PutDate(out, m.uninstallerDate);
    PutInt(out, int32_t(uninstallerChecksum));
    PutInt(out, int32_t(sizes.size()));
    for (int32_t size : sizes) PutInt(out, size);
    PutInt(out, payloadLength);
    PutInt(out, int32_t(payloadChecksum));
    PutText(out, m.publisher, "the publisher");
    PutText(out, m.productName, "the product name");
    PutText(out, m.startMenuFolder, "the start-menu folder");
    PutText(out, m.defaultDirectory, "the default directory");
    PutText(out, m.version, "the version");
    PutText(out, m.registryKey, "the registry key");
    PutText(out, m.welcomeText, "the welcome text");
    PutText(out, m.licenseText, "the license text");
    PutText(out, m.readmeText, "the readme text");
    PutText(out, m.displayTitle, "the display title");
    PutInt(out, int32_t(m.titleColor));
    PutInt(out, int32_t(m.topColor));
    PutInt(out, int32_t(m.bottomColor));
    PutInt(out, CheckedLength(m.bitmap.size(), "the bitmap"));
    out += m.bitmap;
    if (m.flags & UpdateOnly) PutText(out, m.requiredProduct, "the required product");
    PutText(out, m.batchBefore, "the batch-before text");
    PutText(out, m.batchAfter, "the batch-after text");
    PutText(out, m.batchFinal, "the batch-final text");
    PutText(out, m.uninstallBatch1, "the uninstall batch 1 text");
    PutText(out, m.uninstallBatch2, "the uninstall batch 2 text");
    return out;
}

namespace {

// A record's fields in front of its data, and behind it.
std::string RecordHead(const BuildFile& f) {
    std::string out;
    PutText(out, CheckDestinationName(f.name), "a destination name");
    PutInt(out, f.kind);
    PutInt(out, f.shortcutBits);
    return out;
}

std::string RecordTail(const BuildFile& f, uint32_t dataChecksum) {
    std::string out;
    PutInt(out, int32_t(dataChecksum));
    PutDate(out, f.date);
    PutText(out, f.shortcutName, ("the shortcut name of " + f.name).c_str());
    return out;
}

// The checks made before a byte is written.
void CheckProduct(const std::string& stub, const BuildManifest& manifest, const std::vector<BuildFile>& files,
                  const BuildOptions& options) {
    if (stub.empty()) throw BuildError("the stub is empty");
    if (files.empty()) throw BuildError("the product has no files; the format needs at least one");
    if (options.diskMax == 0) throw BuildError("the disk size limit must be at least 1 byte");
    CheckJoinedTexts(manifest, files);
}

void CheckKind(const BuildFile& f) {
    if (f.kind != Normal && f.kind != Shared && f.kind != Font && f.kind != StartupProgram) {
        throw BuildError("file " + f.name + " has an unknown kind");
    }
}

// The header block as stored (compressed when asked, scrambled) and its key.
std::string StoredHeader(const std::string& stub, const BuildManifest& manifest, const BuildOptions& options,
                         const std::vector<int32_t>& sizes, int32_t payloadLength, uint32_t payloadChecksum,
                         uint32_t& key) {
    BuildManifest m = manifest;
    m.flags &= ~(CompressedPayload | Checksums);
    if (options.compress) m.flags |= CompressedPayload;
    if (options.checksums) m.flags |= Checksums;
    // The stub's checksum leaves out the two header fields signing changes,
    // so the setup can be signed after it is built.
    uint32_t stubChecksum = ProgramImageChecksum(stub.data(), CheckedLength(stub.size(), "the stub"));
    std::string header = SerializeManifest(m, sizes, payloadLength, payloadChecksum, stubChecksum);
    // The key doubles as the header checksum, so it is always the checksum:
    // then the same inputs give the same bytes.
    key = ChecksumOf(header);
    std::string stored = options.compress ? Encode(header, options.level) : header;
    Scramble(&stored[0], int32_t(stored.size()), key);
    return stored;
}

// Bytes of the payload in the setup program: all, or firstPartMax.
int64_t FirstPartBytes(int64_t payload, const BuildOptions& options) {
    return options.firstPartMax >= 0 && options.firstPartMax < payload ? options.firstPartMax : payload;
}

}  // namespace

std::string SerializeFileRecord(const BuildFile& f) {
    CheckedLength(f.data.size(), ("file " + f.name).c_str());
    return RecordHead(f) + f.data + RecordTail(f, ChecksumOf(f.data));
}

std::string AssembleSetup(const std::string& stub, const std::string& storedHeader, uint32_t key,
                          const std::string& firstPart) {
    std::string out = stub;
    int32_t offset = CheckedLength(stub.size(), "the stub");
    PutInt(out, ArchiveMagic);
    PutInt(out, CheckedLength(storedHeader.size(), "the header block"));
    PutInt(out, int32_t(key));
    out += storedHeader;
    out += firstPart;
    PutInt(out, offset);
    CheckedLength(out.size(), "the setup program");
    return out;
}

BuildOutput BuildArchive(const std::string& stub, const BuildManifest& manifest,
                         const std::vector<BuildFile>& files, const BuildOptions& options) {
    CheckProduct(stub, manifest, files, options);

    std::string records;
    std::vector<int32_t> sizes;
    DataSpans spans;
    for (const BuildFile& f : files) {
        CheckKind(f);
        spans.emplace_back(records.size() + RecordHead(f).size(), f.data.size());
        records += SerializeFileRecord(f);
        sizes.push_back(int32_t(f.data.size()));
        CheckedLength(records.size(), "the payload");
    }
    std::string payload = records;
    if (options.compress) {
        std::vector<uint8_t> block = EncodePayload(records, spans, options);
        payload.assign(block.begin(), block.end());
    }
    int32_t payloadLength = CheckedLength(payload.size(), "the payload");

    uint32_t key = 0;
    std::string stored = StoredHeader(stub, manifest, options, sizes, payloadLength, ChecksumOf(payload), key);
    size_t first = size_t(FirstPartBytes(int64_t(payload.size()), options));
    BuildOutput out;
    out.setup = AssembleSetup(stub, stored, key, payload.substr(0, first));
    // Disk files are never empty: the installer refuses an empty disk.
    size_t pos = first;
    while (pos < payload.size()) {
        size_t n = payload.size() - pos;
        if (options.diskMax > 0 && uint64_t(options.diskMax) < n) n = size_t(options.diskMax);
        out.disks.push_back(payload.substr(pos, n));
        pos += n;
    }
    return out;
}

// --- Writing in bounded memory -------------------------------------------------

namespace {

const size_t kPieceBytes = size_t(1) << 20;

std::ofstream Create(const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw BuildError("cannot write " + path);
    return out;
}

void Write(std::ofstream& out, const std::string& path, const void* data, size_t n) {
    out.write(static_cast<const char*>(data), std::streamsize(n));
    if (!out) throw BuildError("cannot write " + path);
}

void Close(std::ofstream& out, const std::string& path) {
    out.close();
    if (!out) throw BuildError("cannot write " + path);
}

// The payload's bytes as they are made: to the scratch file, counted and
// summed.
class PayloadFile {
public:
    explicit PayloadFile(const std::string& path) : path_(path), out_(Create(path)) {}
    ~PayloadFile() {
        if (out_.is_open()) out_.close();
        std::remove(path_.c_str());
    }
    void Put(const uint8_t* data, size_t n) {
        Write(out_, path_, data, n);
        sum_.Add(data, n);
    }
    void Close() { ::Close(out_, path_); }
    int32_t Length() const { return CheckedLength(size_t(sum_.Length()), "the payload"); }
    uint32_t Checksum() const { return sum_.Value(); }

    // Copies n bytes from where `in` is to `out`.
    void CopyTo(std::ifstream& in, std::ofstream& out, const std::string& outPath, int64_t n, std::vector<char>& piece) {
        while (n > 0) {
            size_t take = size_t(std::min<int64_t>(n, int64_t(piece.size())));
            in.read(piece.data(), std::streamsize(take));
            if (size_t(in.gcount()) != take) throw BuildError("cannot read " + path_);
            Write(out, outPath, piece.data(), take);
            n -= int64_t(take);
        }
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::ofstream out_;
    RunningChecksum sum_;
};

}  // namespace

WrittenArchive WriteArchive(const std::string& stub, const BuildManifest& manifest,
                            const std::vector<BuildFile>& files, const BuildOptions& options,
                            const ArchivePaths& paths) {
    CheckProduct(stub, manifest, files, options);
    std::vector<int32_t> sizes;
    uint64_t total = 0;
    WrittenArchive written;
    for (const BuildFile& f : files) {
        CheckKind(f);
        int64_t size = f.source.empty() ? int64_t(f.data.size()) : f.sourceSize;
        if (size < 0 || size > ArchiveMaxLength) throw BuildError("file " + f.name + " is larger than 2 GB, the format's limit");
        sizes.push_back(int32_t(size));
        total += RecordHead(f).size() + uint64_t(size) + RecordTail(f, 0).size();
        written.dataBytes += uint64_t(size);
    }
    CheckedLength(size_t(total), "the payload");

    PayloadFile payload(paths.scratch);
    std::string held;  // the records, for the max level and the lze method
    DataSpans spans;   // the files' data in them
    std::unique_ptr<LzStreamEncoder> encoder;
    const bool stream =
        options.compress && options.method == PayloadCompression::Lz && options.level == LzLevel::Fast;
    if (stream) encoder.reset(new LzStreamEncoder(total, [&](const uint8_t* p, size_t n) { payload.Put(p, n); }));
    auto put = [&](const void* data, size_t n) {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        if (stream) {
            encoder->Feed(p, n);
        } else if (options.compress) {
            held.append(reinterpret_cast<const char*>(p), n);
        } else {
            payload.Put(p, n);
        }
    };

    std::vector<char> piece(kPieceBytes);
    for (const BuildFile& f : files) {
        std::string head = RecordHead(f);
        put(head.data(), head.size());
        spans.emplace_back(held.size(), size_t(f.source.empty() ? int64_t(f.data.size()) : f.sourceSize));
        RunningChecksum sum;
        if (f.source.empty()) {
            put(f.data.data(), f.data.size());
            sum.Add(f.data.data(), f.data.size());
        } else {
            std::ifstream in(f.source, std::ios::binary);
            if (!in) throw BuildError("file " + f.name + ": cannot read " + f.source);
            int64_t left = f.sourceSize;
            bool longer = false;
            for (;;) {
                in.read(piece.data(), std::streamsize(piece.size()));
                size_t n = size_t(in.gcount());
                if (n == 0) break;
                if (int64_t(n) > left) {
                    longer = true;
                    break;
                }
                put(piece.data(), n);
                sum.Add(piece.data(), n);
                left -= int64_t(n);
            }
            if (left != 0 || longer) {
                throw BuildError("file " + f.name + ": " + f.source + " changed while the archive was written; expected " +
                                 std::to_string(f.sourceSize) + " bytes");
            }
        }
        std::string tail = RecordTail(f, sum.Value());
        put(tail.data(), tail.size());
    }
    if (stream) encoder->Finish();
    if (options.compress && !stream) {
        std::vector<uint8_t> block = EncodePayload(held, spans, options);
        std::string().swap(held);
        payload.Put(block.data(), block.size());
    }
    payload.Close();
    const int32_t payloadLength = payload.Length();

    uint32_t key = 0;
    std::string stored = StoredHeader(stub, manifest, options, sizes, payloadLength, payload.Checksum(), key);
    const int64_t first = FirstPartBytes(payloadLength, options);
    if (paths.beforeWriting) {
        int64_t disks = 0;
        if (payloadLength > first) {
            disks = options.diskMax > 0 ? (payloadLength - first + options.diskMax - 1) / options.diskMax : 1;
        }
        paths.beforeWriting(int32_t(disks));
    }
    std::ifstream in(payload.Path(), std::ios::binary);
    if (!in) throw BuildError("cannot read " + payload.Path());
    {
        std::ofstream setup = Create(paths.setup);
        int32_t offset = CheckedLength(stub.size(), "the stub");
        CheckedLength(stub.size() + 16 + stored.size() + size_t(first), "the setup program");
        std::string head;
        PutInt(head, ArchiveMagic);
        PutInt(head, CheckedLength(stored.size(), "the header block"));
        PutInt(head, int32_t(key));
        Write(setup, paths.setup, stub.data(), stub.size());
        Write(setup, paths.setup, head.data(), head.size());
        Write(setup, paths.setup, stored.data(), stored.size());
        payload.CopyTo(in, setup, paths.setup, first, piece);
        std::string trailer;
        PutInt(trailer, offset);
        Write(setup, paths.setup, trailer.data(), trailer.size());
        Close(setup, paths.setup);
        written.setupBytes = int64_t(stub.size() + 16 + stored.size()) + first;
    }
    // Disk files are never empty: the installer refuses an empty disk.
    for (int64_t pos = first; pos < payloadLength;) {
        int64_t n = payloadLength - pos;
        if (options.diskMax > 0 && options.diskMax < n) n = options.diskMax;
        std::string path = paths.disk(written.disks + 2);
        std::ofstream disk = Create(path);
        payload.CopyTo(in, disk, path, n, piece);
        Close(disk, path);
        ++written.disks;
        written.diskBytes += n;
        pos += n;
    }
    written.payloadBytes = payloadLength;
    return written;
}
