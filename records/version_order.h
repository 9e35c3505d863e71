// Ordering two product versions for the previous-installation question:
// dotted numbers compared part by part, so "1.10" is newer than "1.9" and
// "1.1" and "1.10" are not the same version.
#ifndef QUILLPACK_RECORDS_VERSION_ORDER_H
#define QUILLPACK_RECORDS_VERSION_ORDER_H

#include "core/string.h"

// -1, 0 or 1. Each text is read from its first digit: numbers separated by
// single dots, up to the first other character; missing parts count as 0
// ("2" equals "2.0"). Commas are left out, as in "3,000.1".
int CompareVersions(const String& a, const String& b);

// The phrase that opens the previous-installation message. previous is the
// installed "DisplayVersion", current the new archive's version text.
// "A previous copy" when either gives no number (or the number 0).
const char* VersionPhrase(const String& previous, const String& current);

#endif  // QUILLPACK_RECORDS_VERSION_ORDER_H
