// Number and size texts, and two small arithmetic helpers.
#ifndef QUILLPACK_CORE_NUMBERS_H
#define QUILLPACK_CORE_NUMBERS_H

#include "core/string.h"

// "%d bytes" below 1 KB, otherwise two decimals in KB, MB, GB or TB.
String SizeText(int64 size);

// Decimal digits, with "," between groups of three once there are more
// than four digits (1234, 12,345). Static result, valid until the next call.
const char* GroupedNumber(int64 value);

// Decimal text of a 32-bit integer. Static result, valid until the next call.
const char* IntegerText(int32 value);

// value rounded up to a whole number of units; a unit below 2 leaves it.
int32 RoundUpToMultiple(int32 value, int32 unit);

// Spreads total over a number of integer steps that add up exactly to it,
// the larger steps spaced evenly (10 over 4: 2, 3, 2, 3).
class EvenStepper {
public:
    EvenStepper() : negative_(false), quotient_(0), remainder_(0), accumulator_(0), divisor_(1) {}
    // steps == 0 is fatal (Core32 5995).
    void Setup(int32 total, int32 steps);
    int32 Next();

private:
    // 64-bit so that extreme totals and step counts neither overflow the
    // negation nor the running remainder sum.
    bool negative_;
    int64 quotient_;
    int64 remainder_;
    int64 accumulator_;
    int64 divisor_;
};

#endif  // QUILLPACK_CORE_NUMBERS_H
