#include "records/version_order.h"

#include "records/version_text.h"

namespace {

const int kMaxParts = 8;

// The dotted numbers of a version text, from its first digit; returns how
// many parts were read (0 without a digit). Large parts stop at a cap, which
// is far beyond any real version.
int ReadParts(const String& text, int64 parts[kMaxParts]) {
    String clean = text;
    clean.RemoveChar(',');
    int32 i = 0;
    while (i < clean.Length() && !IsDigit(static_cast<unsigned char>(clean.At(i)))) ++i;
    int count = 0;
    while (count < kMaxParts && i < clean.Length() && IsDigit(static_cast<unsigned char>(clean.At(i)))) {
        int64 value = 0;
        while (IsDigit(static_cast<unsigned char>(clean.At(i)))) {
            if (value < 1000000000000LL) value = value * 10 + (clean.At(i) - '0');
            ++i;
        }
        parts[count++] = value;
        if (clean.At(i) != '.') break;
        ++i;
    }
    return count;
}

// The new archive's version as the standard decimal conversion reads it:
// blanks skipped, then it must start like a number.
bool StartsLikeNumber(const String& text) {
    String copy = text;
    copy.TrimLeft();
    char first = copy.First();
    if (first == '+' || first == '-') first = copy.At(1);
    if (first == '.') first = copy.At(copy.First() == '.' ? 1 : 2);
    return IsDigit(static_cast<unsigned char>(first));
}

}  // namespace

int CompareVersions(const String& a, const String& b) {
    int64 x[kMaxParts], y[kMaxParts];
    int n = ReadParts(a, x), m = ReadParts(b, y);
    for (int i = 0; i < kMaxParts && (i < n || i < m); ++i) {
        int64 p = i < n ? x[i] : 0, q = i < m ? y[i] : 0;
        if (p != q) return p < q ? -1 : 1;
    }
    return 0;
}

const char* VersionPhrase(const String& previous, const String& current) {
    if (VersionNumber(previous) == 0 || !StartsLikeNumber(current) || VersionNumber(current) == 0)
        return "A previous copy";
    int order = CompareVersions(previous, current);
    if (order == 0) return "The same version";
    return order > 0 ? "A newer version" : "An older version";
}
