#include "archive/build/archive_writer.h"

#include "archive/archive.h"
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

std::string SerializeFileRecord(const BuildFile& f) {
    std::string out;
    PutText(out, CheckDestinationName(f.name), "a destination name");
    PutInt(out, f.kind);
    PutInt(out, f.shortcutBits);
    CheckedLength(f.data.size(), ("file " + f.name).c_str());
    out += f.data;
    PutInt(out, int32_t(ChecksumOf(f.data)));
    PutDate(out, f.date);
    PutText(out, f.shortcutName, ("the shortcut name of " + f.name).c_str());
    return out;
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
    if (stub.empty()) throw BuildError("the stub is empty");
    if (files.empty()) throw BuildError("the product has no files; the format needs at least one");
    if (options.diskMax == 0) throw BuildError("the disk size limit must be at least 1 byte");
    CheckJoinedTexts(manifest, files);

    std::string records;
    std::vector<int32_t> sizes;
    for (const BuildFile& f : files) {
        if (f.kind != Normal && f.kind != Shared && f.kind != Font && f.kind != StartupProgram) {
            throw BuildError("file " + f.name + " has an unknown kind");
        }
        records += SerializeFileRecord(f);
        sizes.push_back(int32_t(f.data.size()));
        CheckedLength(records.size(), "the payload");
    }
    std::string payload = options.compress ? Encode(records, options.level) : records;
    int32_t payloadLength = CheckedLength(payload.size(), "the payload");

    BuildManifest m = manifest;
    m.flags &= ~(CompressedPayload | Checksums);
    if (options.compress) m.flags |= CompressedPayload;
    if (options.checksums) m.flags |= Checksums;
    // The stub's checksum leaves out the two header fields signing changes,
    // so the setup can be signed after it is built.
    uint32_t stubChecksum = ProgramImageChecksum(stub.data(), CheckedLength(stub.size(), "the stub"));
    std::string header = SerializeManifest(m, sizes, payloadLength, ChecksumOf(payload), stubChecksum);
    // The key doubles as the header checksum, so it is always the checksum:
    // then the same inputs give the same bytes.
    uint32_t key = ChecksumOf(header);
    std::string stored = options.compress ? Encode(header, options.level) : header;
    Scramble(&stored[0], int32_t(stored.size()), key);

    size_t first = payload.size();
    if (options.firstPartMax >= 0 && uint64_t(options.firstPartMax) < first) {
        first = size_t(options.firstPartMax);
    }
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
