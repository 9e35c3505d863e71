// What an installation leaves in the registry for the list of installed
// programs and for its uninstaller: the shared-file reference counts, the
// product's own keys and the uninstall record.
#ifndef QUILLPACK_UNINSTALL_REGISTRATION_H
#define QUILLPACK_UNINSTALL_REGISTRATION_H

#include "core/vector.h"
#include "core/string.h"

// Adds one reference to every shared file of the archive (in archive
// order, whether stored or not) in the system's SharedDLLs counts and
// returns the new SharedFilesList (value "SharedFiles"). The references of
// the product's registration still in place (previousList) are taken back
// first, whether its folder still exists or not, so that a product counts
// each file once. A name that would leave the shared directory is neither
// counted nor listed. Problem lines are appended to problems.
String CountSharedFiles(const String& sharedDirectory, const Vector<String>& sharedNames,
                        const String& previousList, String& problems);

// The same for fonts, counted by their path in the Fonts folder, so that a
// font several products installed stays until the last of them goes.
void CountFonts(const String& fontsFolder, const String& fontsList, const String& previousList);

// The lists of the product's registration as it stands, empty when the
// product is not registered.
struct RegisteredLists {
    String sharedFiles;
    String fonts;
};
RegisteredLists ReadRegisteredLists(const String& productName);

// A SharedDLLs count; 0 when there is none. Setting 0 removes the value.
int32 SharedCount(const String& path);
void SetSharedCount(const String& path, int32 count);

// Keys below "Software" that belong to the system and its registrations: a
// product key path starting with one of these is never deleted, whatever a
// damaged or hostile registration or journal says.
bool IsSystemKeyPath(const String& path);

// The product key path as it is deleted: without trailing "\" or blanks,
// which would otherwise name no key at all.
String ProductKeyPath(const String& registryPath);

// Creates "Software\" + registryPath under the machine and the user hive;
// nothing for an empty path.
void PrepareProductKeys(const String& registryPath, String& problems);

struct UninstallRecordValues {
    String uninstallerPath;  // installation directory + "\Uninstall.EXE"
    String productName;
    String installerPath;    // the running setup program
    String version, publisher, installDirectory, registryPath;
    String startMenuFolder;  // as derived from the manifest, relative to the programs folder
    String sharedDirectory;
    String fontsList, uninstallBatch1, uninstallBatch2, sharedFilesList, displayTitle;
    int32 flags = 0;
    uint32 titleColor = 0, topColor = 0, bottomColor = 0;
    bool monoColor = true;
    String displayIcon;  // the uninstaller or the first program with a start-menu shortcut
    int64 estimatedSizeBytes = 0;
};

// Writes the product's uninstall record and checks the command read back.
// Returns false (and appends a problem line) on failure.
bool WriteUninstallRecord(const UninstallRecordValues& values, String& problems);

// The system's keys below "Software\" that registration and removal share.
extern const char kUninstallListKey[];  // one sub-key per installed product
extern const char kSharedCountsKey[];   // SharedDLLs: one count per shared file
extern const char kFontsKey[];          // display name -> font file

// Key path of a product's registration below "Software\".
String UninstallKeyPath(const String& productName);

// A product name that names exactly one key below the uninstall list: not
// empty and without "\". Anything else would write into, or let the
// uninstaller delete, the list itself or a key of another product.
bool IsRegistrableProductName(const String& productName);

// The uninstall commands as recorded, the path in double quotes.
String UninstallCommand(const String& uninstallerPath, const String& productName, bool quiet);

#endif  // QUILLPACK_UNINSTALL_REGISTRATION_H
