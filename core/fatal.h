// Fatal stops and error boxes. The portable code decides what to say; the
// host (a message box on Windows, stderr in the native build) shows it.
#ifndef QUILLPACK_CORE_FATAL_H
#define QUILLPACK_CORE_FATAL_H

#include <stdarg.h>
#include <stddef.h>

// Process exit codes; an unattended installation reads them.
enum ExitCode {
    ExitSuccess = 0,
    ExitFatal = 1,
    ExitCancelled = 2,
    ExitPartial = 3,
    ExitRestartNeeded = 3010,
};

// Message box styles, with their Win32 values so the host passes them on.
enum BoxStyle : unsigned {
    BoxFatal = 0x2010,  // MB_TASKMODAL | MB_ICONHAND
    BoxError = 0x10,    // MB_ICONERROR
};

// Set by /a, by the archive or by the uninstaller; silences ShowError.
extern bool AutomaticMode;

[[noreturn]] void FatalError(const char* format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void FatalErrorV(const char* format, va_list args);
// "%s %d": the consistency-check convention.
[[noreturn]] void FatalCheck(const char* source, int number);
void ShowError(const char* format, ...) __attribute__((format(printf, 1, 2)));
// An "Error" box without owner, shown even in automatic mode: for failures
// that a caller asked to have reported whatever the mode.
void ShowUnownedError(const char* format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void ExitProgram(int code);
[[noreturn]] void AbortProgram();

// Run once by a fatal stop (after its box) and by an abort, before the
// process ends; never by an ordinary exit. An installation undoes itself
// here. Null removes it; a stop inside the handler just ends the process.
typedef void (*StopHandler)();
void SetStopHandler(StopHandler handler);
const char* SystemErrorText();
[[noreturn]] void OutOfMemoryHandler(size_t size);

// Sets up the formatting buffer; run once before anything formats.
void StartCore();

// What the host supplies.
void HostShowBox(const char* text, const char* caption, unsigned style, bool owned = true);
[[noreturn]] void HostExit(int code);
const char* HostSystemErrorText();

#endif  // QUILLPACK_CORE_FATAL_H
