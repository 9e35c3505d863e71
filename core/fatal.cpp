#include "core/fatal.h"

#include <stdio.h>
#include <stdlib.h>

#include "core/string.h"
#include "core/numbers.h"

bool AutomaticMode = false;

namespace {

StopHandler CurrentStopHandler = nullptr;

void RunStopHandler() {
    StopHandler handler = CurrentStopHandler;
    CurrentStopHandler = nullptr;
    if (handler) handler();
}

void ReleaseFormatBuffer() {
    free(FormatBuffer);
    FormatBuffer = nullptr;
}

// Runs before the program's own logic so every String can format.
struct CoreStarter {
    CoreStarter() { StartCore(); }
};
CoreStarter coreStarter __attribute__((init_priority(101)));

// The box text, whatever its length: formatted in the scratch buffer when it
// fits (no allocation, so the out-of-memory stop can still speak), otherwise
// in a block of its own, held by `big`. Outside text passed as "%s" may be
// of any length; a box must never turn into a formatting stop instead.
const char* BoxText(String& big, const char* format, va_list args) {
    if (!format) return "";
    // Before the scratch buffer exists (or when it could not be had) a
    // small one serves, so that these stops still need no allocation.
    static char spare[512];
    char* scratch = FormatBuffer ? FormatBuffer : spare;
    int32 scratchSize = FormatBuffer ? kFormatBufferSize : int32(sizeof spare);
    va_list copy;
    va_copy(copy, args);
    int needed = vsnprintf(scratch, size_t(scratchSize), format, copy);
    va_end(copy);
    if (needed >= 0 && needed < scratchSize) return scratch;
    // A format the runtime cannot render within the largest text: its own
    // words say more than nothing.
    if (needed >= kMaxStringLength) return format;
    // The C99 runtime tells the length it needed; the older Windows one
    // only says -1, so the room doubles until the text fits.
    int32 room = needed >= 0 ? needed + 1 : 2 * scratchSize;
    for (;;) {
        big.SetLength(room);
        va_copy(copy, args);
        int written = vsnprintf(big.Buffer(), size_t(room), format, copy);
        va_end(copy);
        if (written >= 0 && written < room) {
            big.SetLength(written);
            return big.Text();
        }
        if (written >= room && written < kMaxStringLength) {
            room = written + 1;
        } else if (written < 0 && room <= kMaxStringLength / 2) {
            room *= 2;
        } else {
            return format;
        }
    }
}

}  // namespace

void StartCore() {
    if (FormatBuffer) return;
    FormatBuffer = static_cast<char*>(malloc(kFormatBufferSize));
    if (!FormatBuffer) FatalCheck("Core32", 72);
    atexit(ReleaseFormatBuffer);
}

void FatalErrorV(const char* format, va_list args) {
    String big;
    HostShowBox(BoxText(big, format, args), "FATAL ERROR", BoxFatal);
    RunStopHandler();
    ExitProgram(ExitFatal);
}

void FatalError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FatalErrorV(format, args);
}

void FatalCheck(const char* source, int number) { FatalError("%s %d", source, number); }

void ShowError(const char* format, ...) {
    String big;
    va_list args;
    va_start(args, format);
    const char* text = BoxText(big, format, args);
    va_end(args);
    if (!*text || AutomaticMode) return;
    HostShowBox(text, "Error", BoxError);
}

void ShowUnownedError(const char* format, ...) {
    String big;
    va_list args;
    va_start(args, format);
    const char* text = BoxText(big, format, args);
    va_end(args);
    HostShowBox(text, "Error", BoxError, false);
}

void ExitProgram(int code) { HostExit(code); }

void AbortProgram() {
    RunStopHandler();
    ExitProgram(ExitCancelled);
}

void SetStopHandler(StopHandler handler) { CurrentStopHandler = handler; }

const char* SystemErrorText() { return HostSystemErrorText(); }

void OutOfMemoryHandler(size_t size) {
    FatalError("Out Of Memory.  Make sure your hard drive is not full.\nRequested size = %s",
               GroupedNumber(int64_t(size)));
}
