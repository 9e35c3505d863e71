#include "records/version_text.h"

#include <stdlib.h>

namespace {

// Sign and digits from pos on, skipping "," when asked; saturates rather
// than overflow.
int32 SignedDigits(const String& text, int32 pos, bool skipCommas) {
    bool negative = false;
    if (text.At(pos) == '+' || text.At(pos) == '-') negative = text.At(pos++) == '-';
    int64 value = 0;
    const int64 limit = negative ? -int64(INT32_MIN) : int64(INT32_MAX);
    for (; pos < text.Length(); ++pos) {
        char ch = text.At(pos);
        if (skipCommas && ch == ',') continue;
        if (!IsDigit(static_cast<unsigned char>(ch))) break;
        value = value * 10 + (ch - '0');
        if (value > limit) value = limit;
    }
    return int32(negative ? -value : value);
}

}  // namespace

bool HasVersionParts(const String& version) { return version.Find('.') >= 0; }

int32 VersionMajor(const String& version) {
    int32 start = version.FindNumber(0);
    if (start < 0) return 0;
    return SignedDigits(version, start, true);
}

int32 VersionMinor(const String& version) {
    int32 dot = version.Find('.');
    if (dot < 0) return 0;
    if (dot == version.Length() - 1) return kNoMinorVersion;
    return SignedDigits(version, dot + 1, false);
}

double VersionNumber(const String& version) {
    int32 start = version.FindNumber(0);
    if (start < 0) return 0.0;
    String cleaned = version.Mid(start);
    cleaned.RemoveChar(',');
    // Only the decimal form goes to the conversion.
    const char* text = cleaned.Text();
    int32 end = 0;
    if (text[end] == '+' || text[end] == '-') ++end;
    int32 digits = 0;
    while (IsDigit(static_cast<unsigned char>(text[end]))) ++end, ++digits;
    if (text[end] == '.') {
        ++end;
        while (IsDigit(static_cast<unsigned char>(text[end]))) ++end, ++digits;
    }
    if (digits == 0) return 0.0;
    if (text[end] == 'e' || text[end] == 'E') {
        int32 exponent = end + 1;
        if (text[exponent] == '+' || text[exponent] == '-') ++exponent;
        if (IsDigit(static_cast<unsigned char>(text[exponent]))) {
            end = exponent;
            while (IsDigit(static_cast<unsigned char>(text[end]))) ++end;
        }
    }
    cleaned.Truncate(end);
    return strtod(cleaned.Text(), nullptr);
}
