#include "uninstall/batch_script.h"

#include <windows.h>

#include "records/batch_text.h"
#include "platform/file_system.h"
#include "ui/dialogs.h"

namespace {

// A console that stays open after its script ends carries this title.
const char kFinishedTitle[] = "Finished - PLOVEK1";

void WaitForScript(HANDLE process) {
    while (WaitForSingleObject(process, 1) == WAIT_TIMEOUT) {
        HWND console = FindWindowA(nullptr, kFinishedTitle);
        if (console) {
            // Posted: a console that stopped answering must not hang us too.
            PostMessageA(console, WM_CLOSE, 0, 0);
            return;
        }
        Sleep(1);
        if (PumpMessages()) return;
    }
}

// The launcher is named relative to the folder it runs in: the interpreter
// drops the quotes of a path holding & ( ) @ ^ | and expands %...% in its
// command line, so the folder's name never appears there.
bool StartScript(const String& directory, const String& launcher) {
    String commandLine("\"");
    commandLine += CommandInterpreter;
    commandLine += "\" /c \".\\";
    commandLine += FileNamePart(launcher);
    commandLine += '"';
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    if (!CreateProcessA(nullptr, commandLine.Buffer(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                        directory.IsEmpty() ? nullptr : directory.Text(), &startup, &process)) {
        return false;
    }
    WaitForScript(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

}  // namespace

bool RunBatch(const String& directory, const String& script, const String& sharedDirectory) {
    if (script.IsBlank()) return true;
    String launcher = JoinPath(directory, kLauncherName);
    String scriptPath = JoinPath(directory, kScriptName);
    String ranMarker = JoinPath(directory, kScriptRanName);
    RemoveFile(ranMarker);

    bool started = false;
    if (WriteBufferToFile(launcher, LauncherText(CommandInterpreter, scriptPath))) {
        BatchSettings settings;
        settings.directory = directory;
        if (!directory.IsEmpty()) {
            settings.sharedDirectory = sharedDirectory;
            settings.installerPath = ModulePath();
            settings.installerDirectory = ModuleDirectory();
            settings.installerName = ModuleFileName();
        }
        if (WriteBufferToFile(scriptPath, ScriptText(script, settings, AutomaticMode))) {
            started = StartScript(directory, launcher);
        }
    }
    // Started is not run: only the script's first command proves that the
    // interpreter found and read it.
    bool ran = started && FileAttributes(ranMarker) != kNoAttributes;
    RemoveFile(launcher);
    RemoveFile(scriptPath);
    RemoveFile(ranMarker);
    return ran;
}
