#include "platform/process.h"

#include <windows.h>

#include "platform/file_system.h"
#include "platform/handles.h"

bool LaunchProcess(const char* commandLine, unsigned options) {
    if (!commandLine || !commandLine[0]) return false;

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (options & (LaunchMaximized | LaunchMinimized | LaunchHidden)) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = (options & LaunchMaximized)   ? SW_SHOWMAXIMIZED
                              : (options & LaunchMinimized) ? SW_MINIMIZE
                                                            : SW_HIDE;
    }
    DWORD flags = (options & LaunchHigh)   ? HIGH_PRIORITY_CLASS
                  : (options & LaunchIdle) ? IDLE_PRIORITY_CLASS
                                           : NORMAL_PRIORITY_CLASS;

    // CreateProcessA may write into the command line.
    String command(commandLine);
    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof info);
    if (!CreateProcessA(nullptr, command.Buffer(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                        &info)) {
        if (options & LaunchReportFailure) ShowUnownedError("Unable to create process:\r\n%s", commandLine);
        return false;
    }
    KernelHandle process(info.hProcess);
    KernelHandle thread(info.hThread);
    if (options & LaunchWait) WaitForSingleObject(process.Get(), INFINITE);
    return true;
}

void ViewDocument(const String& path) {
    if (!FileExists(path)) return;
    String shortPath = ShortPathName(path);
    String command("notepad.exe ");
    command.Append(shortPath.IsEmpty() ? path : shortPath);
    if (!LaunchProcess(command.Text(), LaunchMaximized)) {
        ShowError("Unable to view document.  Command line:\r\n%s\r\n", command.Text());
    }
}
