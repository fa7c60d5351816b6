#include "MainDialogHost.h"

#include "app/AppGlobals.h"
#include "WinTest.h"
#include "res/resource.h"
#include "ui/MainDialog.h"

namespace wintest {

MainDialogHost::MainDialogHost() {
    appStartup();
    g_app.hInstance = GetModuleHandleW(nullptr);
    dialog_ = CreateDialogParamW(g_app.hInstance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, mainDlgProc, 0);
    if (dialog_)
        ShowWindow(dialog_, SW_SHOW);
}

MainDialogHost::~MainDialogHost() {
    close();
    appShutdown();
}

void MainDialogHost::close() {
    if (!dialog_)
        return;
    sendCommand(dialog_, IDCANCEL);
    // EndDialog only hides a modeless dialog.
    DestroyWindow(dialog_);
    dialog_ = nullptr;
    g_app.hMainDlg = nullptr;
}

void runWithMainDialog(const std::function<void(MainDialogHost&)>& body, DWORD timeoutMs, const char* what) {
    runWithDeadline(
        [&] {
            MainDialogHost host;
            body(host);
        },
        timeoutMs, what);
}

} // namespace wintest
