#include "installer/previous_install.h"

#include <windows.h>

#include "core/fatal.h"
#include "records/version_order.h"
#include "installer/install_log.h"
#include "uninstall/registration.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "ui/dialogs.h"
#include "uninstall/uninstaller.h"

namespace {

const char kCaption[] = "Previous Installation Found";
const char kNotUninstalled[] = "The previous installation could not be uninstalled.\r\n\r\n";

bool AskYesNo(const String& text, const char* caption, unsigned icon) {
    return AskUser(text, caption, MB_YESNO | icon) == IDYES;
}

// Logs the stop in the previous installation's folder and ends.
[[noreturn]] void StopInstallation(const PreviousInstall& previous, const Manifest& manifest,
                                   const String& productName, int exitCode) {
    FinishInstallation(kNotUninstalled, String(), previous.location, manifest.flags, false, false, manifest.version,
                       productName);
    ExitProgram(exitCode);
}

}  // namespace

bool IsProductInstalled(const String& productName) {
    if (!IsRegistrableProductName(productName)) return false;
    String key = UninstallKeyPath(productName);
    if (!SoftwareKeyExists(key.Text(), false)) return false;
    if (OpenSoftwareKey(key.Text(), false, RegOpenOnly) == OpenFailed) return false;
    bool installed = ValueExists("UninstallString") || ValueExists("QuietUninstallString");
    CloseKey();
    return installed;
}

void CheckRequiredProduct(const String& requiredProduct, const String& productName) {
    String required = requiredProduct.IsBlank() ? productName : requiredProduct;
    if (IsProductInstalled(required)) return;
    String text(required);
    text.Append(" is not currently installed on your system.  This self-extracting archive can only update "
                "existing installations.");
    ShowError("%s", text.Text());
    ExitProgram(ExitFatal);
}

PreviousInstall LookUpPreviousInstallation(const String& productName) {
    PreviousInstall previous;
    if (!IsRegistrableProductName(productName)) return previous;
    if (OpenSoftwareKey(UninstallKeyPath(productName).Text(), false, RegOpenOnly) == OpenFailed) return previous;
    previous.location = ReadString("InstallLocation", "");
    previous.sharedFiles = ReadString("SharedFiles", "");
    previous.version = ReadString("DisplayVersion", "");
    CloseKey();
    previous.found = !previous.location.IsEmpty() && DirectoryExists(previous.location);
    return previous;
}

bool DecidePreviousInstallation(const PreviousInstall& previous, const Manifest& manifest,
                                const String& productName, String& directory) {
    bool copyOver;
    if (AutomaticMode) {
        copyOver = !manifest.Has(MustUninstallFirst);
    } else {
        String text(VersionPhrase(previous.version, manifest.version));
        text.Append(" of ");
        text.Append(productName);
        text.Append(" is installed at:\r\n");
        text.Append(previous.location);
        text.Append("\r\n\r\n");
        if (manifest.Has(MustUninstallFirst)) {
            text.Append("You must uninstall the previous installation first.\r\nDo you wish to do this now?");
            if (!AskYesNo(text, kCaption, MB_ICONQUESTION)) ExitProgram(ExitCancelled);
            copyOver = false;
        } else {
            text.Append("Do you want to copy over the previous installation?  This will not erase any of your "
                        "working files and is generally safe.");
            copyOver = AskYesNo(text, kCaption, MB_ICONQUESTION);
            if (!copyOver) {
                String twice("You cannot install ");
                twice.Append(productName);
                twice.Append(" twice.\r\n\r\nDo you want to uninstall it?");
                if (!AskYesNo(twice, kCaption, MB_ICONEXCLAMATION)) ExitProgram(ExitCancelled);
            }
        }
    }
    if (copyOver) {
        directory = previous.location;
        return true;
    }

    if (UninstallProduct(productName).result != UninstallComplete) {
        if (AutomaticMode) StopInstallation(previous, manifest, productName, ExitFatal);
        String text("The previous installation could not be uninstalled.\r\n\r\nAre you sure you want to proceed "
                    "with the installation?");
        if (!AskYesNo(text, "Uninstallation Failed", MB_ICONQUESTION))
            StopInstallation(previous, manifest, productName, ExitCancelled);
    }
    return false;
}
