// The main window: set-up, command dispatch and the one close path.
#include "MainDialog.h"

#include "ConvertCommand.h"
#include "OutputFolder.h"
#include "ProductText.h"
#include "SourceList.h"
#include "Toolbar.h"
#include "app/AppGlobals.h"
#include "engine/ConvertCore.h"
#include "res/resource.h"

namespace {

INT_PTR onDrawItem(LPARAM lParam) {
    const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (item)
        drawToolButton(item);
    return TRUE;
}

INT_PTR onInitDialog(HWND hwnd) {
    // Closing goes through the same path as Esc, so a half-made engine is still cleaned up.
    if (!onInitMainDlg(hwnd))
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
    // TRUE lets the dialog manager put the focus on the first tab stop.
    return TRUE;
}

// Only the id counts: a double-click on an owner-drawn button arrives with its own code and
// runs the command again, and list or edit notifications carry ids that are not listed here.
INT_PTR onCommand(WORD id) {
    switch (id) {
    case IDCANCEL:
        onCloseMainDlg();
        return TRUE;
    case IDC_CONVERT:
        convertSourceFiles();
        return TRUE;
    case IDC_BROWSE:
        browseOutputFolder();
        return TRUE;
    case IDC_ADD:
        addSourceFiles();
        return TRUE;
    case IDC_REMOVE:
        removeSelectedSourceFiles();
        return TRUE;
    case IDC_CLEAR:
        clearSourceFiles();
        return TRUE;
    case IDC_OPEN_FOLDER:
        openOutputFolder();
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

// WM_CLOSE is left to the dialog manager, which turns it into IDCANCEL like Esc does.
INT_PTR CALLBACK mainDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DRAWITEM:
        return onDrawItem(lParam);
    case WM_INITDIALOG:
        return onInitDialog(hwnd);
    case WM_COMMAND:
        return onCommand(LOWORD(wParam));
    default:
        return FALSE;
    }
}

bool onInitMainDlg(HWND hwnd) {
    g_app.hMainDlg = hwnd;
    // A shared resource icon: never destroyed.
    g_app.hAppIcon = LoadIconW(g_app.hInstance, MAKEINTRESOURCEW(IDI_APP));

    const std::wstring title = std::wstring(kProductCaption) + L" " + kProductVersion;
    SetWindowTextW(hwnd, title.c_str());
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_app.hAppIcon));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(g_app.hAppIcon));

    g_app.pConvertCore = new ConvertCore(g_app.pPreset);
    const bool ready = g_app.pConvertCore->isReady();

    // Shown even when empty, so the box never keeps the template's text.
    const std::wstring folder = loadOutputFolder();
    HWND folderEdit = GetDlgItem(hwnd, IDC_OUTPUT_FOLDER);
    if (folderEdit && IsWindow(folderEdit))
        SetWindowTextW(folderEdit, folder.c_str());

    createToolTips();
    return ready;
}

void onCloseMainDlg() {
    // Saved even when empty: clearing the box is how the user forgets the folder.
    saveOutputFolder(getOutputFolderText(g_app.hMainDlg));

    if (g_app.pConvertCore) {
        g_app.pConvertCore->clearJobs();
        // After a confirmed stop the worker may still be finishing its file; the destructor
        // waits for it, so the table is never freed under a running thread.
        delete g_app.pConvertCore;
        g_app.pConvertCore = nullptr;
    }
    if (g_app.hToolTip) {
        DestroyWindow(g_app.hToolTip);
        g_app.hToolTip = nullptr;
    }
    EndDialog(g_app.hMainDlg, IDCANCEL);
}

std::wstring getOutputFolderText(HWND hwnd) {
    HWND folderEdit = GetDlgItem(hwnd, IDC_OUTPUT_FOLDER);
    if (!folderEdit || !IsWindow(folderEdit))
        return std::wstring();
    const int length = GetWindowTextLengthW(folderEdit);
    if (length <= 0)
        return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(folderEdit, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    // The text ends at its first NUL, as the control sees it.
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}
