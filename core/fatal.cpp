#include "core/fatal.h"

#include <stdlib.h>

#include "core/core32.h"
#include "core/numbers.h"

bool AutomaticMode = false;

namespace {

void ReleaseFormatBuffer() {
    free(FormatBuffer);
    FormatBuffer = nullptr;
}

// Runs before the program's own logic so every String can format.
struct CoreStarter {
    CoreStarter() { StartCore(); }
};
CoreStarter coreStarter __attribute__((init_priority(101)));

}  // namespace

void StartCore() {
    if (FormatBuffer) return;
    FormatBuffer = static_cast<char*>(malloc(kFormatBufferSize));
    if (!FormatBuffer) FatalCheck("Core32", 72);
    atexit(ReleaseFormatBuffer);
}

void FatalErrorV(const char* format, va_list args) {
    String text;
    if (FormatBuffer) {
        text.FormatV(format, args);
    } else {
        text = format;  // nothing to format with; the bare text still says something
    }
    HostShowBox(text.Text(), "FATAL ERROR", BoxFatal);
    ExitProgram(ExitFatal);
}

void FatalError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FatalErrorV(format, args);
}

void FatalCheck(const char* source, int number) { FatalError("%s %d", source, number); }

void ShowError(const char* format, ...) {
    String text;
    va_list args;
    va_start(args, format);
    text.FormatV(format, args);
    va_end(args);
    if (text.IsEmpty() || AutomaticMode) return;
    HostShowBox(text.Text(), "Error", BoxError);
}

void ShowUnownedError(const char* format, ...) {
    String text;
    va_list args;
    va_start(args, format);
    text.FormatV(format, args);
    va_end(args);
    HostShowBox(text.Text(), "Error", BoxError, false);
}

void ExitProgram(int code) { HostExit(code); }

void AbortProgram() { ExitProgram(ExitCancelled); }

const char* SystemErrorText() { return HostSystemErrorText(); }

void OutOfMemoryHandler(size_t size) {
    FatalError("Out Of Memory.  Make sure your hard drive is not full.\nRequested size = %s",
               GroupedNumber(int64_t(size)));
}
