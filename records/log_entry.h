// The texts of the end of an installation: the entry appended to the
// installation log and the partial-success message. Built by appending, so
// a problem report of any length never passes through the format buffer.
#ifndef QUILLPACK_RECORDS_LOG_ENTRY_H
#define QUILLPACK_RECORDS_LOG_ENTRY_H

#include "core/string.h"

// The header lines (product, date, type, location, installer version and,
// when not empty, the product version), an empty line, then the body.
// Starts with "\r\n" so entries stay apart in the log.
String InstallLogEntry(const String& productName, const String& stamp, bool reinstall,
                       const String& directory, const String& version, const String& body);

// The same form for an uninstallation: "Install type: Uninstall", no
// product version.
String UninstallLogEntry(const String& productName, const String& stamp, const String& directory,
                         const String& body);

// "Installation has been completed with partial success. ..." naming the
// log path, with the question about viewing it when askToView.
String PartialSuccessText(const String& logPath, bool askToView);

#endif  // QUILLPACK_RECORDS_LOG_ENTRY_H
