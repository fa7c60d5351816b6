// Entry point: the modal main dialog is the program's whole running life.
#include <windows.h>

#include "app/AppGlobals.h"
#include "app/ImageCache.h"
#include "app/OleSession.h"
#include "res/resource.h"
#include "ui/MainDialog.h"

// The command line is ignored: the program has no options.
int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int) {
    appStartup();
    loadButtonImages(hInstance);
    {
        OleSession ole;
        DialogBoxParamW(hInstance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, mainDlgProc, 0);
    }
    appShutdown();
    return 0;
}
