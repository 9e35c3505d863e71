#include "archive/manifest.h"

#include <string.h>

#include "archive/archive.h"
#include "archive/safe_name.h"
#include "core/byte_stream.h"
#include "core/paths.h"

namespace {

int32 Remaining(ByteStream& in) {
    int32 left = in.Bytes().Length() - in.Position();
    return left > 0 ? left : 0;
}

uint32 ReadUInt32(ByteStream& in) {
    int32 value = 0;
    in.ReadInt32(value);
    return uint32(value);
}

int32 ReadSigned(ByteStream& in) {
    int32 value = 0;
    in.ReadInt32(value);
    return value;
}

}  // namespace

int32 ParseManifest(ByteStream& in, Manifest& m) {
    m.flags = ReadSigned(in);
    in.ReadFileDate(m.uninstallerDate);
    m.uninstallerChecksum = ReadUInt32(in);
    int32 count = ReadSigned(in);
    // The size table must fit in what is left of the block: a damaged count
    // must not decide how much memory is taken.
    if (count < 1 || count > Remaining(in) / 4) return CorruptFileCount;
    Free(m.fileSizes);
    m.fileSizes = static_cast<int32*>(Allocate(size_t(count) * sizeof(int32)));
    memset(m.fileSizes, 0, size_t(count) * sizeof(int32));
    m.fileCount = count;
    for (int32 i = 0; i < count; ++i) {
        m.fileSizes[i] = ReadSigned(in);
        if (m.fileSizes[i] < 0) return CorruptFileSize;
    }
    m.payloadLength = ReadSigned(in);
    if (m.payloadLength < 1) return CorruptPayloadLength;
    m.payloadChecksum = ReadUInt32(in);

    in.ReadText(m.publisher);
    in.ReadText(m.productName);
    in.ReadText(m.startMenuText);
    in.ReadText(m.defaultDirectoryText);
    // Both become folders below system folders (Common Files, the start
    // menu); the default directory may be absolute, the user confirms it.
    if (!IsContainedName(m.publisher) || !IsContainedName(m.startMenuText)) return CorruptFolderName;
    in.ReadText(m.version);
    in.ReadText(m.registryKey);
    in.ReadText(m.welcomeText);
    in.ReadText(m.licenseText);
    in.ReadText(m.readmeText);
    in.ReadText(m.displayTitle);
    m.titleColor = ReadUInt32(in);
    m.topColor = ReadUInt32(in);
    m.bottomColor = ReadUInt32(in);
    m.bitmapLength = ReadSigned(in);
    m.bitmap.Clear();
    if (m.bitmapLength > 0) {
        // A bitmap cut off by the end of the block is no bitmap; skipping
        // it keeps a damaged length from claiming memory.
        if (m.bitmapLength <= Remaining(in)) {
            in.ReadAppend(m.bitmap, m.bitmapLength);
        } else {
            in.Skip(m.bitmapLength);
        }
    }
    m.requiredProduct.Clear();
    if (m.Has(UpdateOnly)) in.ReadText(m.requiredProduct);
    in.ReadText(m.batchBefore);
    in.ReadText(m.batchAfter);
    in.ReadText(m.batchFinal);
    in.ReadText(m.uninstallBatch1);
    in.ReadText(m.uninstallBatch2);
    return CorruptNone;
}

void ReadManifest(ByteStream& header, Manifest& manifest) {
    int32 code = ParseManifest(header, manifest);
    if (code != CorruptNone) ReportCorruptArchive(code);
}

int32 ReadFileRecord(ByteStream& in, int32 size, bool verifyChecksum, FileRecord& r) {
    in.ReadText(r.name);
    // The name is joined to the installation, shared or fonts folder.
    if (r.name.IsEmpty() || !IsContainedName(r.name)) return CorruptEmptyName;
    r.kind = ReadSigned(in);
    r.shortcutBits = ReadSigned(in);
    if (size < 0) return CorruptNegativeData;
    if (size > Remaining(in)) return CorruptFileOverrun;
    r.data = in.Bytes().Text() + in.Position();
    r.size = size;
    in.Skip(size);
    r.checksum = ReadUInt32(in);
    if (verifyChecksum && Checksum(r.data, size) != r.checksum) return CorruptFileChecksum;
    in.ReadFileDate(r.date);
    in.ReadText(r.shortcutName);
    if (r.kind != Normal && r.kind != Shared && r.kind != Font && r.kind != StartupProgram) {
        return CorruptFileKind;
    }
    return CorruptNone;
}

String ReplaceOsMarker(const String& text, const String& windowsDirectory) {
    static const char kMarker[] = "<os>";
    String result;
    int32 from = 0;
    for (;;) {
        int32 at = text.Find(kMarker, from);
        if (at < 0) break;
        result.Append(text.Mid(from, at - from));
        result.Append(windowsDirectory);
        from = at + 4;
    }
    result.Append(text.Mid(from));
    return result;
}

void DeriveManifestValues(Manifest& m, String& productName, ManifestHost& host) {
    if (productName.IsEmpty()) productName = m.productName;

    m.sharedDirectory.Clear();
    if (m.Has(WithUninstaller)) {
        m.sharedDirectory = JoinPath(host.CommonFilesFolder(), m.publisher);
        host.CreateDirectoryPath(m.sharedDirectory);
    }

    if (!m.startMenuText.IsEmpty()) {
        m.startMenuFolder = m.startMenuText;
    } else {
        m.startMenuFolder.Clear();
        if (!m.publisher.IsEmpty()) {
            m.startMenuFolder = m.publisher;
            m.startMenuFolder.Append('\\');
        }
        m.startMenuFolder.Append(productName);
    }

    if (m.defaultDirectoryText.IsEmpty()) {
        m.defaultDirectory = productName;
    } else {
        m.defaultDirectory = ReplaceOsMarker(m.defaultDirectoryText, host.WindowsDirectory());
    }
    MakeAbsolute(m.defaultDirectory, host.ProgramFilesFolder());

    bool repaint = false;
    if (!m.displayTitle.IsEmpty()) {
        host.SetBackgroundTitle(m.displayTitle);
        repaint = true;
    }
    if (m.Has(CustomColors)) {
        host.SetTitleColor(m.titleColor);
        host.SetBackgroundColors(m.topColor, m.bottomColor, m.topColor == m.bottomColor);
        repaint = true;
    }
    if (m.bitmapLength > 0) {
        host.SetTitleColor(m.titleColor);
        host.SetBackgroundBitmap(m.bitmap);
        repaint = true;
    }
    if (repaint) host.RepaintBackground();

    if (m.Has(UpdateOnly)) host.CheckUpdateOnly(m.requiredProduct);
}
