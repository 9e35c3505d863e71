#include "core/numbers.h"

namespace {

// Writes the decimal digits of value so that they end just before end;
// returns the first character. The digits are produced by hand because the
// Windows runtime's printf does not agree with others on 64-bit formats.
char* DigitsBefore(char* end, int64 value) {
    // Work on the negative side: it holds every int64, the positive does not.
    bool negative = value < 0;
    int64 rest = negative ? value : -value;
    char* p = end;
    do {
        *--p = char('0' - rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (negative) *--p = '-';
    return p;
}

}  // namespace

String SizeText(int64 size) {
    const int64 kilo = 1024;
    String text;
    if (size < kilo) {
        char digits[24];
        digits[23] = '\0';
        text.Format("%s bytes", DigitsBefore(digits + 23, size));
    } else if (size < kilo * kilo) {
        text.Format("%.2f KB", double(size) / double(kilo));
    } else if (size < kilo * kilo * kilo) {
        text.Format("%.2f MB", double(size) / double(kilo * kilo));
    } else if (size < kilo * kilo * kilo * kilo) {
        text.Format("%.2f GB", double(size) / double(kilo * kilo * kilo));
    } else {
        text.Format("%.2f TB", double(size) / double(kilo * kilo * kilo * kilo));
    }
    return text;
}

const char* GroupedNumber(int64 value) {
    // 19 digits, 6 commas, a sign and the NUL.
    static char text[32];
    char digits[24];
    digits[23] = '\0';
    const char* start = DigitsBefore(digits + 23, value);
    bool negative = *start == '-';
    if (negative) ++start;
    int32 count = int32(digits + 23 - start);

    char* out = text;
    if (negative) *out++ = '-';
    bool grouped = count > 4;
    for (int32 i = 0; i < count; ++i) {
        int32 left = count - i;  // digits still to write, this one included
        if (grouped && i > 0 && left % 3 == 0) *out++ = ',';
        *out++ = start[i];
    }
    *out = '\0';
    return text;
}

const char* IntegerText(int32 value) {
    static char text[16];
    text[15] = '\0';
    char* start = DigitsBefore(text + 15, value);
    // Keep the result at the start of the buffer, as callers may expect.
    int32 i = 0;
    while ((text[i] = start[i]) != '\0') ++i;
    return text;
}

int32 RoundUpToMultiple(int32 value, int32 unit) {
    if (unit <= 1) return value;
    int32 rest = value % unit;
    if (rest == 0) return value;
    // A negative value's remainder is negative: the next multiple up is
    // then below it by that much, not a whole unit above.
    int64 rounded = rest > 0 ? int64(value) + unit - rest : int64(value) - rest;
    return rounded > kAll ? kAll : int32(rounded);
}

void EvenStepper::Setup(int32 total, int32 steps) {
    if (steps == 0) FatalCheck("Core32", 5995);
    int64 sum = total;
    int64 count = steps;
    if (count < 0) {
        sum = -sum;
        count = -count;
    }
    negative_ = sum < 0;
    divisor_ = count;
    quotient_ = sum / count;
    remainder_ = sum % count;
    if (remainder_ < 0) remainder_ = -remainder_;
    accumulator_ = 0;
}

int32 EvenStepper::Next() {
    int64 step = quotient_;
    accumulator_ += remainder_;
    if (accumulator_ >= divisor_) {
        accumulator_ -= divisor_;
        step += negative_ ? -1 : 1;
    }
    // Only a total beyond 32 bits (INT_MIN over -1 steps) can leave the range.
    if (step > kAll) return kAll;
    if (step < -kAll - 1) return -kAll - 1;
    return int32(step);
}
