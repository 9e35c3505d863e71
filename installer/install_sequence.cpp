#include "installer/install_sequence.h"

#include "archive/manifest.h"
#include "core/fatal.h"
#include "platform/file_system.h"
#include "platform/special_folders.h"
#include "ui/background_window.h"

namespace {

// The real folders and the background window behind the manifest reader.
class WindowsManifestHost : public ManifestHost {
public:
    String WindowsDirectory() override { return ::WindowsDirectory(); }
    String ProgramFilesFolder() override { return ::ProgramFilesFolder(); }
    String CommonFilesFolder() override { return ::CommonFilesFolder(); }
    void CreateDirectoryPath(const String& path) override { ::CreateDirectoryPath(path); }
    void SetBackgroundTitle(const String& title) override { ::SetBackgroundTitle(title.Text()); }
    void SetTitleColor(uint32 color) override { SetBackgroundTitleColour(color); }
    void SetBackgroundColors(uint32 top, uint32 bottom, bool) override {
        SetBackgroundColours(top, bottom);
    }
    void SetBackgroundBitmap(const String& packed) override {
        ::SetBackgroundBitmap(packed.Text(), packed.Length());
    }
    void RepaintBackground() override { ::RepaintBackground(); }
    // The previous-installation lookup does not exist yet; the road stops
    // right after the manifest anyway, before anything is installed.
    void CheckUpdateOnly(const String&) override {}
};

}  // namespace

void RunInstallation(File& own, const String& ownPath, ByteStream& header,
                     const String& directoryOverride, const String& productNameOverride) {
    Manifest manifest;
    ReadManifest(header, manifest);
    String productName = productNameOverride;
    WindowsManifestHost host;
    DeriveManifestValues(manifest, productName, host);
    own.Close();
    FatalError("The archive of %s was read, but installing it is not built yet.  Nothing was "
               "installed.",
               productName.IsEmpty() ? "this product" : productName.Text());
}
