// The program's real main dialog for tests: template IDD_MAIN with mainDlgProc, opened the way
// the entry point opens it (fresh state record, the preset, the remembered folder loaded), but
// modeless, so that the test thread can work it between commands. Tests that use it compile this
// file and the resource script into their executable and link tarnel_ui.
#pragma once

#include <windows.h>

#include <functional>

namespace wintest {

class MainDialogHost {
public:
    MainDialogHost();
    ~MainDialogHost();
    MainDialogHost(const MainDialogHost&) = delete;
    MainDialogHost& operator=(const MainDialogHost&) = delete;

    HWND dialog() const { return dialog_; }
    HWND control(int id) const { return GetDlgItem(dialog_, id); }
    // Closes through the program's own close path (IDCANCEL, as Esc), which saves the folder.
    void close();

private:
    HWND dialog_ = nullptr;
};

// Opens the main dialog on a thread of its own, runs body with it, then closes it. A body that
// has not ended after timeoutMs ends the test process, as runWithDeadline does.
void runWithMainDialog(const std::function<void(MainDialogHost&)>& body, DWORD timeoutMs = 60000,
                       const char* what = "a test of the main dialog");

} // namespace wintest
