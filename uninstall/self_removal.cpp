#include "uninstall/self_removal.h"

#include <windows.h>

#include "core/paths.h"
#include "records/batch_text.h"
#include "platform/file_system.h"
#include "platform/handles.h"
#include "uninstall/batch_script.h"

namespace {

// Tries of one second each: the program normally exits within a moment.
const int kTries = 60;

void AppendQuoted(String& text, const String& path) {
    text.Append('"');
    text.Append(BatchLiteral(path));
    text.Append('"');
}

// A name nobody can prepare in advance: the temporary folder is the user's
// own, and the name carries this process and the moment.
String UniqueBatchPath() {
    char folder[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof folder, folder);
    String directory;
    if (length > 0 && length < sizeof folder) directory.Assign(folder, int32(length));
    if (directory.IsEmpty()) directory = ModuleDirectory();
    String name;
    name.Format("qpk-uninstall-%lu-%lu.bat", GetCurrentProcessId(), GetTickCount());
    return JoinPath(directory, name);
}

}  // namespace

String SelfRemovalScript(const String& program, const Vector<String>& folders, const String& batchPath) {
    String script("@echo off\r\nset tries=0\r\n:Repeat\r\ndel ");
    AppendQuoted(script, program);
    script.Append(" >nul 2>nul\r\nif not exist ");
    AppendQuoted(script, program);
    script.Append(" goto Removed\r\nset /a tries+=1\r\n");
    script.AppendFormat("if %%tries%% geq %d goto Removed\r\n", kTries);
    script.Append("ping -n 2 127.0.0.1 >nul\r\ngoto Repeat\r\n:Removed\r\n");
    for (int32 i = 0; i < folders.Count(); ++i) {
        script.Append("rd ");
        AppendQuoted(script, const_cast<Vector<String>&>(folders)[i]);
        script.Append(" >nul 2>nul\r\n");
    }
    script.Append("del ");
    AppendQuoted(script, batchPath);
    script.Append("\r\n");
    return script;
}

SelfRemovalResult RemoveUninstaller(const String& uninstaller, const Vector<String>& folders) {
    String batch = UniqueBatchPath();
    if (!WriteBufferToFile(batch, SelfRemovalScript(uninstaller, folders, batch))) return SelfRemovalNotWritten;

    // cmd keeps the outer quotes of "/c" only when they enclose the whole
    // command, so the quoted batch path is quoted once more.
    String command;
    AppendQuoted(command, CommandInterpreter);
    command.Append(" /c \"\"");
    command.Append(batch);
    command.Append("\"\"");
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_MINIMIZE;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command.Buffer(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                        &startup, &process))
        return SelfRemovalNotStarted;
    KernelHandle processHandle(process.hProcess);
    KernelHandle threadHandle(process.hThread);

    Sleep(1);
    if (HWND console = FindWindowA(nullptr, "MS-DOS Prompt")) PostMessageA(console, WM_CLOSE, 0, 0);
    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    return SelfRemovalStarted;
}
