// The license, readme, directory and progress dialogs built from the
// program's dialog templates, and the message pump the progress updates run.
#ifndef QUILLPACK_UI_DIALOGS_H
#define QUILLPACK_UI_DIALOGS_H

#include <windows.h>

#include "core/string.h"
#include "ui/resource.h"

// Shown above the directory field and as the folder browser's title.
extern String DirectoryPrompt;
// The bar inside the progress window; null while there is none.
extern HWND ProgressBar;

// Registers the common controls (progress bar); call once at start-up.
void StartUserInterface();

// Centres the window on the screen, shrinking it to the screen when larger.
void CenterWindow(HWND window);
String WindowText(HWND window);
String DialogItemText(HWND dialog, int id);

// Shows "LicenseDlg" or "ReadmeDlg" modally over MainWindow with `text` in
// its document field; returns IDC_ACCEPT (1001) when the user accepted,
// IDC_REFUSE (1003) when not, -1 when the dialog could not be shown.
INT_PTR ShowTextDialog(const char* templateName, const char* text);
INT_PTR CALLBACK TextDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Shows "ChooseDirDlg" modally. True when the user continued; `directory`
// then holds the field's text (possibly empty). False when aborted.
bool ChooseDirectory(String& directory);
// The shell's folder browser rooted at the drives, opening at `directory`;
// true and `directory` replaced only when a file-system folder was chosen.
bool BrowseForDirectory(HWND owner, String& directory);

// Creates the modeless "ProgressDlg" over MainWindow showing
// "Installing <productName>..." and sets ProgressWindow.
HWND CreateProgressWindow(const char* productName);
// Destroys it (if any) and clears ProgressWindow and ProgressBar.
void DestroyProgressWindow();
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Both show their change, then PumpMessages and return its result.
bool SetProgressText(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same for a finished text that is shown as it is (file names from an
// archive are never a format).
bool SetProgressLine(const String& text);
// False without doing anything when there is no progress bar.
bool SetProgressPercent(int32 percent);

// A message box owned by MainWindow; returns the button pressed.
int AskUser(const String& text, const char* caption, unsigned style);

// Dispatches every pending message without waiting; true when one of them
// was WM_DESTROY, WM_CLOSE or WM_QUIT.
bool PumpMessages();

#endif  // QUILLPACK_UI_DIALOGS_H
