// What one installation run has done, kept in memory and appended to its
// "Uninstall.INI" as it goes, so that a run that stops is undone: in the
// process by a fatal stop or an abort, and after a kill by the next run of
// the same setup or by the uninstaller, which find it through the value
// "InstallationPending" of the product's uninstall key.
#ifndef QUILLPACK_UNINSTALL_INSTALL_JOURNAL_H
#define QUILLPACK_UNINSTALL_INSTALL_JOURNAL_H

#include "core/string.h"
#include "records/installation_facts.h"

// Starts telling every folder CreateDirectoryPath makes to the journal;
// those made before BeginJournal are kept until it starts. Folders that a
// killed run made and its undoing could not remove (as told by
// UndoUnfinishedInstallation) count as made by this run, so that they still
// go with it.
void WatchFoldersMade(const Vector<String>* leftByUndoing = nullptr);

// The folders made since WatchFoldersMade, outer ones first.
const Vector<String>& FoldersMade();

// From now on undoes the run on a fatal stop or an abort. On disk (for an
// archive with an uninstaller): writes the record (State=Installing) with
// the folders made so far and marks the product's uninstall key as pending.
// False when that cannot be written.
bool BeginJournal(const InstallationFacts& facts, bool onDisk);

bool JournalActive();

// Appends one line; the record on disk gets it at once.
void JournalAdd(JournalKind kind, const String& path, const String& other = String());

// Before a file is written: a new one is journaled, an existing one is copied
// aside under a name of its own and journaled as replaced, so an undo puts it
// back. False when the existing file cannot be copied: the caller then
// writes over it as before.
bool PrepareToStore(const String& path);

// The run is complete: the pending mark goes, the copies set aside are
// deleted, nothing is undone any more, and the record is rewritten as
// complete (without its journal), or removed when keepRecord is not set.
// False when that last write fails.
bool CompleteJournal(const InstallationFacts& facts, bool keepRecord);

// Undoes the run in this process, as a stop does.
void RollBackJournal();

// When the product's uninstall key says an installation never finished,
// undoes that run from its journal and clears the mark: true when one was
// undone (its folder in undoneDirectory; the folders it made that are still
// there, inner ones first, in folders). Only what lies where such a run
// puts things is touched.
bool UndoUnfinishedInstallation(const String& productName, String* undoneDirectory = nullptr,
                                Vector<String>* folders = nullptr);

#endif  // QUILLPACK_UNINSTALL_INSTALL_JOURNAL_H
