// Numbers read from a product's version text ("2.15", "Version 3,000.1"):
// the major and minor parts the registration stores and the whole version
// as one number for comparing an installed version with a new one.
#ifndef QUILLPACK_RECORDS_VERSION_TEXT_H
#define QUILLPACK_RECORDS_VERSION_TEXT_H

#include "core/string.h"

// Major and minor are recorded only for a version text with a ".".
bool HasVersionParts(const String& version);

// From the first digit, sign or "." on, with every "," left out: an
// optional sign and the decimal digits that follow (so "2.15" gives 2).
// 0 without such a character. Values beyond 32 bits stop at the limit.
int32 VersionMajor(const String& version);

// After the first ".": an optional sign and decimal digits; no digits give
// 0, and a "." at the very end gives kNoMinorVersion.
const int32 kNoMinorVersion = INT32_MIN;
int32 VersionMinor(const String& version);

// The version as a decimal number: from the first digit, sign or "." on,
// every "," left out, the longest prefix of the form
// [sign] digits [. digits] [e [sign] digits]; 0 when there is none.
// Hexadecimal, "inf" and "nan" are not numbers here.
double VersionNumber(const String& version);

#endif  // QUILLPACK_RECORDS_VERSION_TEXT_H
