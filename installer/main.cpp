// Entry point: process-wide state, the background window, the command line,
// and the choice between the uninstall road and the install road.
#include <windows.h>

#include "core/byte_stream.h"
#include "core/string.h"
#include "installer/archive_locate.h"
#include "installer/command_line.h"
#include "installer/install_log.h"
#include "installer/install_sequence.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/globals.h"
#include "platform/safe_start.h"
#include "ui/background_window.h"
#include "ui/dialogs.h"
#include "uninstall/self_removal.h"
#include "uninstall/uninstaller.h"

String CommandInterpreter;

namespace {

void FindCommandInterpreter() {
    char expanded[256];
    DWORD n = ExpandEnvironmentStringsA("%comspec%", expanded, sizeof expanded);
    CommandInterpreter = (n == 0 || n > sizeof expanded) ? "command.com" : expanded;
}

[[noreturn]] void UninstallRoad(const CommandLineOptions& options) {
    if (options.productName.IsEmpty()) UsageError("Product name required");
    UninstallOutcome outcome = UninstallProduct(options.productName);
    switch (outcome.result) {
        case UninstallComplete:
            RemoveUninstaller(outcome.uninstaller, outcome.folders);
            // Everything is gone, but the caller's log did not get its entry.
            if (RequestedLogFailed()) ExitProgram(ExitPartial);
            ExitProgram(outcome.restartNeeded ? ExitRestartNeeded : ExitSuccess);
        case UninstallPartial:
            ExitProgram(ExitPartial);
        case UninstallNotPossible:
            break;
    }
    ExitProgram(ExitFatal);
}

[[noreturn]] void InstallRoad(const CommandLineOptions& options) {
    // The file that is actually running, whatever the caller put first on
    // the command line.
    String path = ModulePath();
    File own;
    if (path.IsEmpty() || !own.Open(path, true, false, false))
        FatalError("Error code 1: The self-extracting archive could not open itself.  Filename:\n%s", path.Text());
    ByteStream header;
    if (!LocateArchive(own, header))
        FatalError("%s", "This program performs installations and uninstallations.\r\n"
                         "There is no installation archive present.\r\n"
                         "No Uninstallation parameters were specified.\r\n\r\n"
                         "You should not delete this program or execute it directly.");
    RunInstallation(own, path, header, options.directory, options.productName);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    RestrictDllSearch();
    FindCommandInterpreter();
    String line(commandLine);
    Instance = instance;
    SetDefaultBackground();
    StartUserInterface();
    CreateBackgroundWindow();

    CommandLineOptions options;
    ParseCommandLine(line.Text(), options);
    if (options.automatic) AutomaticMode = true;
    SetRequestedLog(options.logPath);
    if (options.uninstall) UninstallRoad(options);
    InstallRoad(options);
}
