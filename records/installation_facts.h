// "Uninstall.INI", written beside "Uninstall.DAT": what an installation
// owns, in a record of its own, so that the uninstaller acts on a folder or
// key only when the registration and this file both name it; and how far
// the installation got, so that a run that never finished can be undone.
//
//   [Installation]
//   Product=<product name>
//   InstallLocation=<canonical installation directory>
//   SharedPath=<shared directory, may be empty>
//   ProductRegistry=<product key path below Software, may be empty>
//   RemovalList=<Listed | None | Removed>
//   State=<Installing | Complete>
//
// One "Name=value" per line, CR LF ends. Unknown lines are ignored, so the
// record can grow; a value runs to its line end.
//
// While an installation runs (State=Installing) the record is also its
// journal: one line is appended for each thing it does, so that whatever
// stops it (an abort, a fatal error, a kill) the next run or the
// uninstaller can undo exactly that:
//
//   Folder=<a folder this run made>
//   File=<a file this run made>
//   Replaced=<file>|<where the copy it replaced waits>
//   Shortcut=<a shell link this run made>
//   Font=<display name>|<file name in the Fonts folder>
//   Key=<HKLM or HKCU>|<a key below Software this run made>
//   CountRaised=<SharedDLLs value this run raised>
//   CountReleased=<SharedDLLs value this run lowered>
#ifndef QUILLPACK_RECORDS_INSTALLATION_FACTS_H
#define QUILLPACK_RECORDS_INSTALLATION_FACTS_H

#include "core/string.h"
#include "core/vector.h"

extern const char kFactsFileName[];  // "Uninstall.INI"

// Whether "Uninstall.DAT" is to be expected: written with entries, left out
// because nothing was recordable, or already worked off by an uninstaller.
enum RemovalListState { RemovalListed, RemovalNone, RemovalRemoved };

struct InstallationFacts {
    String product;
    String installLocation;
    String sharedPath;
    String productRegistry;
    RemovalListState removalList = RemovalListed;
    bool complete = false;
};

String FactsText(const InstallationFacts& facts);

enum JournalKind {
    JournalFolder,
    JournalFile,
    JournalReplaced,
    JournalShortcut,
    JournalFont,
    JournalKey,
    JournalCountRaised,
    JournalCountReleased,
    JournalPathEntry,  // the installation directory added to the system Path
};

struct JournalEntry {
    JournalKind kind = JournalFile;
    String path;   // the file, folder, link, key or count; a font's display name
    String other;  // the replaced copy, a font's file name, or the key's hive (HKLM, HKCU)
};

// One journal line with its CR LF. A path with a line end cannot be one.
String JournalLine(const JournalEntry& entry);

// The journal lines of a record, in the order written; anything else is
// passed over. Any bytes are accepted.
void ReadJournal(const String& text, Vector<JournalEntry>& entries);

// False when the text is not such a record (no section, or no product or
// location); any bytes are accepted.
bool ReadFactsText(const String& text, InstallationFacts& facts);

#endif  // QUILLPACK_RECORDS_INSTALLATION_FACTS_H
