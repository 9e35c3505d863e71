#include "uninstall/installation_record.h"

#include "platform/file_system.h"

namespace {

// A record holds a few paths; anything larger is not one of ours.
const int32 kMaxRecordSize = 64 * 1024;

}  // namespace

bool SaveInstallationFacts(const String& installDirectory, const InstallationFacts& facts) {
    return WriteBufferToFile(JoinPath(installDirectory, kFactsFileName), FactsText(facts));
}

bool LoadInstallationFacts(const String& installDirectory, InstallationFacts& facts) {
    String path = JoinPath(installDirectory, kFactsFileName);
    int32 size = FileSizeOf(path);
    if (size < 0 || size > kMaxRecordSize) return false;
    String text;
    return ReadWholeFile(path, text) && ReadFactsText(text, facts);
}

void RemoveInstallationFacts(const String& installDirectory) {
    RemoveFile(JoinPath(installDirectory, kFactsFileName));
}
