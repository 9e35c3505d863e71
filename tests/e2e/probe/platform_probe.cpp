// Runs single platform services with the real message boxes, so end-to-end
// tests can read what a user would see.
#include <windows.h>

#include <string.h>

#include "core/string.h"
#include "platform/process.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    String line(commandLine);
    String verb = line.TakeToken();
    String argument = line.TakeToken();
    if (verb == String("launch")) return LaunchProcess(argument.Text(), LaunchReportFailure | LaunchWait) ? 0 : 4;
    if (verb == String("view")) {
        ViewDocument(argument);
        return 0;
    }
    return 9;
}
