#include "records/system_path_text.h"

namespace {

const uint32 kSeparator = ';';
const uint32 kBackslash = '\\';

// A stretch of units: [start, end).
struct Span {
    int32 start;
    int32 end;
};

uint32 UnitAt(const String& text, int32 index) {
    return byte(text.At(2 * index)) | uint32(byte(text.At(2 * index + 1))) << 8;
}

uint32 Folded(uint32 unit) { return unit >= 'A' && unit <= 'Z' ? unit + ('a' - 'A') : unit; }

// Units before the first zero unit; an odd last byte is no unit.
int32 TextUnits(const String& value) {
    int32 units = value.Length() / 2;
    for (int32 i = 0; i < units; ++i) {
        if (UnitAt(value, i) == 0) return i;
    }
    return units;
}

// The span without its trailing backslashes.
Span Trimmed(const String& text, Span span) {
    while (span.end > span.start && UnitAt(text, span.end - 1) == kBackslash) --span.end;
    return span;
}

bool SameUnits(const String& a, Span x, const String& b, Span y, bool loose) {
    if (loose) {
        x = Trimmed(a, x);
        y = Trimmed(b, y);
    }
    if (x.end - x.start != y.end - y.start) return false;
    for (int32 i = 0; i < x.end - x.start; ++i) {
        uint32 p = UnitAt(a, x.start + i), q = UnitAt(b, y.start + i);
        if (loose ? Folded(p) != Folded(q) : p != q) return false;
    }
    return true;
}

// The first entry of value equal to wanted; start -1 when none.
Span FindEntry(const String& value, const String& wanted, bool loose) {
    int32 units = TextUnits(value);
    Span whole = {0, wanted.Length() / 2};
    for (int32 start = 0; start <= units;) {
        int32 end = start;
        while (end < units && UnitAt(value, end) != kSeparator) ++end;
        Span entry = {start, end};
        if (SameUnits(value, entry, wanted, whole, loose)) return entry;
        start = end + 1;
    }
    return Span{-1, -1};
}

bool IsOneEntry(const String& directory) {
    int32 units = directory.Length() / 2;
    if (units == 0 || directory.Length() % 2 != 0) return false;
    for (int32 i = 0; i < units; ++i) {
        uint32 unit = UnitAt(directory, i);
        if (unit == kSeparator || unit == 0) return false;
    }
    return true;
}

}  // namespace

bool SamePathEntry(const String& a, const String& b) {
    return SameUnits(a, Span{0, a.Length() / 2}, b, Span{0, b.Length() / 2}, true);
}

PathEdit AddPathEntry(String& value, const String& directory) {
    if (!IsOneEntry(directory)) return PathRefused;
    if (FindEntry(value, directory, true).start >= 0) return PathUnchanged;
    int32 units = TextUnits(value);
    const char separator[2] = {';', 0};
    String addition;
    if (units == 0) {
        addition = directory;
    } else if (UnitAt(value, units - 1) == kSeparator) {
        addition = directory;
        addition.AppendBytes(separator, 2);
    } else {
        addition.AppendBytes(separator, 2);
        addition.Append(directory);
    }
    value.InsertBytes(2 * units, addition.Text(), addition.Length());
    return PathEdited;
}

PathEdit RemovePathEntry(String& value, const String& entry) {
    if (!IsOneEntry(entry)) return PathRefused;
    Span found = FindEntry(value, entry, false);
    if (found.start < 0) found = FindEntry(value, entry, true);
    if (found.start < 0) return PathUnchanged;
    if (found.end < TextUnits(value)) {
        ++found.end;  // the separator after it
    } else if (found.start > 0) {
        --found.start;  // the last entry: the separator before it
    }
    value.Delete(2 * found.start, 2 * (found.end - found.start));
    return PathEdited;
}
