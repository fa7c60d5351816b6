// The main window: set-up, command dispatch and the one close path.
#include "MainDialog.h"

#include "AccessibleNames.h"
#include "Confirmations.h"
#include "ConvertCommand.h"
#include "FileDrop.h"
#include "OutputFolder.h"
#include "ProgressDialog.h"
#include "ProductText.h"
#include "SourceList.h"
#include "Toolbar.h"
#include "WindowIcons.h"
#include "app/AppGlobals.h"
#include "app/DisplayScale.h"
#include "app/ImageCache.h"
#include "engine/ConvertCore.h"
#include "res/resource.h"

namespace {

const wchar_t kEngineFailedText[] = L"The conversion engine could not be started, so the program will close.";

// Answers to the list box's WM_VKEYTOITEM: the key was dealt with here, or the list box does
// what it always does with it.
const INT_PTR kListKeyHandled = -2;
const INT_PTR kListKeyDefault = -1;
const int kSelectAllKey = 'A';

INT_PTR onDrawItem(LPARAM lParam) {
    const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (item)
        drawToolButton(item);
    return TRUE;
}

INT_PTR onInitDialog(HWND hwnd) {
    // Closing goes through the same path as Esc, so a half-made engine is still cleaned up. The
    // user is told first: a window that vanishes at start looks like a crash.
    if (!onInitMainDlg(hwnd)) {
        showProductMessage(hwnd, kEngineFailedText, MB_OK);
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
    }
    // TRUE lets the dialog manager put the focus on the first tab stop.
    return TRUE;
}

// The commands that run a modal window of their own (the open-file dialog, the folder browser,
// the progress window) run its message loop inside this dialog's procedure, and this dialog still
// receives what is posted to it meanwhile: a close from Task Manager's End task or from another
// program, a drop, a command. None of them may run inside that loop.
struct MainDialogState {
    bool commandRunning = false;
    bool closeRequested = false;
};
MainDialogState g_mainState;

// Only the id counts: a double-click on an owner-drawn button arrives with its own code and
// runs the command again, and list or edit notifications carry ids that are not listed here.
bool runCommand(WORD id) {
    switch (id) {
    case IDC_CONVERT:
        convertSourceFiles();
        return true;
    case IDC_BROWSE:
        browseOutputFolder();
        return true;
    case IDC_ADD:
        addSourceFiles();
        return true;
    case IDC_REMOVE:
        removeSelectedSourceFiles();
        return true;
    case IDC_CLEAR:
        clearSourceFiles();
        return true;
    case IDC_OPEN_FOLDER:
        openOutputFolder();
        return true;
    default:
        return false;
    }
}

// A close during a command is carried out once the command has returned, never inside it: the
// close path would otherwise take the engine from under a run and wait for a worker whose
// question needs this thread. A run is asked to stop between two files first, so the program
// ends soon, and an open overwrite question keeps its window until it has its answer.
void onCloseRequest() {
    if (!g_mainState.commandRunning) {
        onCloseMainDlg();
        return;
    }
    g_mainState.closeRequested = true;
    stopAndCloseProgress();
}

INT_PTR onCommand(WORD id) {
    if (id == IDCANCEL) {
        onCloseRequest();
        return TRUE;
    }
    // Posted into the loop of a running command (the window is disabled for the user): dropped.
    if (g_mainState.commandRunning)
        return FALSE;
    g_mainState.commandRunning = true;
    const bool handled = runCommand(id);
    g_mainState.commandRunning = false;
    if (g_mainState.closeRequested)
        onCloseMainDlg();
    return handled ? TRUE : FALSE;
}

// The window moved to a monitor of another scale, or the scale changed. FALSE lets the dialog
// manager of a per-monitor-v2 window go on to lay the controls out and set their fonts anew.
INT_PTR onDpiChanged(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    const UINT dpi = HIWORD(wParam);
    takeSuggestedRect(hwnd, lParam);
    setWindowIcons(hwnd, dpi);
    loadButtonImagesForDpi(dpi);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    return FALSE;
}

// AltGr arrives as Ctrl+Alt: AltGr+A types a letter on some keyboards and must not select.
bool isOnlyControlDown() {
    return GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_MENU) >= 0;
}

// Keys pressed in the source list (it has LBS_WANTKEYBOARDINPUT): Delete is the Remove
// command, Ctrl+A selects every entry, and every other key keeps its usual meaning.
INT_PTR onListKey(WORD key, HWND list) {
    if (GetDlgCtrlID(list) != IDC_SOURCE_LIST)
        return kListKeyDefault;
    if (key == VK_DELETE) {
        onCommand(IDC_REMOVE);
        return kListKeyHandled;
    }
    if (key == kSelectAllKey && isOnlyControlDown()) {
        selectAllSourceFiles();
        return kListKeyHandled;
    }
    return kListKeyDefault;
}

INT_PTR onDropFiles(HDROP drop) {
    if (g_mainState.commandRunning)
        ignoreDroppedFiles(drop);
    else
        addDroppedFiles(drop);
    return TRUE;
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
    case WM_DROPFILES:
        return onDropFiles(reinterpret_cast<HDROP>(wParam));
    case WM_VKEYTOITEM:
        return onListKey(LOWORD(wParam), reinterpret_cast<HWND>(lParam));
    case WM_DPICHANGED:
        return onDpiChanged(hwnd, wParam, lParam);
    default:
        return FALSE;
    }
}

bool onInitMainDlg(HWND hwnd) {
    g_app.hMainDlg = hwnd;
    g_mainState = MainDialogState();

    const std::wstring title = std::wstring(kProductCaption) + L" " + kProductVersion;
    SetWindowTextW(hwnd, title.c_str());
    // The window may open on a monitor whose scale is not the one the session started with.
    const UINT dpi = windowDpi(hwnd);
    setWindowIcons(hwnd, dpi);
    loadButtonImagesForDpi(dpi);

    g_app.pConvertCore = new ConvertCore(g_app.pPreset);
    const bool ready = g_app.pConvertCore->isReady();

    // Shown even when empty, so the box never keeps the template's text.
    const std::wstring folder = loadOutputFolder();
    HWND folderEdit = GetDlgItem(hwnd, IDC_OUTPUT_FOLDER);
    if (folderEdit && IsWindow(folderEdit))
        SetWindowTextW(folderEdit, folder.c_str());

    createToolTips();
    nameControlsForScreenReaders(hwnd);
    acceptFileDrops(hwnd);
    return ready;
}

void onCloseMainDlg() {
    // Saved even when empty: clearing the box is how the user forgets the folder.
    rememberOutputFolder(outputFolderPath(g_app.hMainDlg));

    if (g_app.pConvertCore) {
        g_app.pConvertCore->clearJobs();
        // After a confirmed stop the worker may still be finishing its file; destroy waits for
        // it, so the table is never freed under a running thread.
        ConvertCore::destroy(g_app.pConvertCore);
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
