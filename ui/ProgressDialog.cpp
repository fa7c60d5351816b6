// The progress window: hands the engine its overwrite question, starts the run, and polls the
// engine on a timer. It holds no copy of the run; every tick reads the engine afresh.
#include "ProgressDialog.h"

#include "Confirmations.h"
#include "app/AppGlobals.h"
#include "app/DisplayScale.h"
#include "engine/ConvertCore.h"
#include "res/resource.h"

#include <commctrl.h>

#include <cwchar>
#include <string>

UINT_PTR g_progressTimerId = 0;
decltype(&SetTimer) g_setProgressTimer = SetTimer;

namespace {

// The progress window while it is open, for a close of the main window to reach it.
HWND g_openProgressDlg = nullptr;

const UINT_PTR kProgressTimerId = 100;
const UINT kProgressTimerMs = 100;
const INT_PTR kResultClosed = 1;
const INT_PTR kResultStartFailed = 2;
const int kCountTextSize = 256;
const long kBarUnitsPerJob = 100;
const wchar_t kCountFormat[] = L"%ld / %ld (%ld%%)";
const wchar_t kCompleteText[] = L"Complete";
// The file line's static cuts a path in its middle to fit its width, but reads a long text only
// so far, which could cut the file name off. A path longer than this shows its tail from a
// separator on, behind the cut mark: the name (at most 255 units) always stays.
const size_t kShownPathLength = MAX_PATH - 1;
const wchar_t kCutMark[] = L"...";

// A control of this dialog, or null when the template lacks it.
HWND control(HWND hwnd, int id) {
    HWND item = GetDlgItem(hwnd, id);
    return item && IsWindow(item) ? item : nullptr;
}

void showControl(HWND hwnd, int id, bool visible) {
    HWND item = control(hwnd, id);
    if (item)
        ShowWindow(item, visible ? SW_SHOW : SW_HIDE);
}

void setControlText(HWND hwnd, int id, const wchar_t* text) {
    HWND item = control(hwnd, id);
    if (item)
        SetWindowTextW(item, text);
}

// Stop and Close share one place in the template: exactly one of them shows. The shown one
// takes the focus when the hidden one had it, so Enter and Space keep working.
void showStopOrClose(HWND hwnd, bool running) {
    HWND hidden = control(hwnd, running ? IDC_CLOSE : IDC_STOP);
    HWND shown = control(hwnd, running ? IDC_STOP : IDC_CLOSE);
    const bool hiddenHadFocus = hidden && GetFocus() == hidden;
    if (shown)
        ShowWindow(shown, SW_SHOW);
    if (hidden)
        ShowWindow(hidden, SW_HIDE);
    if (hiddenHadFocus && shown)
        SendMessageW(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(shown), TRUE);
}

void setBar(HWND hwnd, long maximum, long position) {
    HWND bar = control(hwnd, IDC_PROGRESS_BAR);
    if (!bar)
        return;
    SendMessageW(bar, PBM_SETRANGE32, 0, maximum);
    SendMessageW(bar, PBM_SETPOS, position, 0);
}

// What one tick shows; empty texts leave the labels as they were.
struct ProgressView {
    wchar_t countText[kCountTextSize] = {};
    std::wstring fileText;
    long barMaximum = 0;
    long barPosition = 0;
};

std::wstring shownPath(const std::wstring& path) {
    const size_t room = kShownPathLength - wcslen(kCutMark);
    if (path.size() <= kShownPathLength)
        return path;
    const size_t separator = path.find(L'\\', path.size() - room);
    if (separator == std::wstring::npos)
        return kCutMark + path.substr(path.size() - room);
    return kCutMark + path.substr(separator);
}

void viewRunningJob(ConvertCore& core, long jobCount, ProgressView& view) {
    ConvertJob job;
    if (jobCount <= 0 || !core.getCurrentJob(job))
        return;
    view.barPosition = kBarUnitsPerJob * job.index + job.progress;
    view.barMaximum = kBarUnitsPerJob * jobCount;
    view.fileText = shownPath(job.sourcePath);
    swprintf(view.countText, kCountTextSize, kCountFormat, static_cast<long>(job.index + 1), jobCount,
             view.barPosition / jobCount);
}

void viewCompletedRun(HWND hwnd, ConvertCore& core, long jobCount, ProgressView& view) {
    const long done = core.getCompletedCount();
    // Rounded half up; a run without jobs shows 0% rather than dividing by zero.
    const long percent = jobCount > 0 ? static_cast<long>(done * 100.0 / jobCount + 0.5) : 0;
    view.fileText = kCompleteText;
    swprintf(view.countText, kCountTextSize, kCountFormat, done, jobCount, percent);
    showControl(hwnd, IDC_PROGRESS_BAR, false);
    KillTimer(hwnd, g_progressTimerId);
}

// Ends the dialog unless an overwrite question it owns is still open: that box keeps its
// owner and its answer until the user gives it. The caller tries again on a later tick.
void closeWhenNoQuestionOpen(HWND hwnd) {
    if (!closeQuestionGate(hwnd))
        return;
    if (g_openProgressDlg == hwnd)
        g_openProgressDlg = nullptr;
    EndDialog(hwnd, kResultClosed);
}

INT_PTR onProgressInitMessage(HWND hwnd) {
    if (!onInitProgressDlg(hwnd))
        EndDialog(hwnd, kResultStartFailed);
    return TRUE;
}

INT_PTR onProgressCommand(HWND hwnd, int id) {
    switch (id) {
    case IDC_STOP:
        confirmStop(hwnd);
        return TRUE;
    case IDC_CLOSE:
        closeWhenNoQuestionOpen(hwnd);
        return TRUE;
    default:
        // Esc (IDCANCEL) lands here too: only Close ends the dialog.
        return FALSE;
    }
}

// FALSE lets the dialog manager of a per-monitor-v2 window go on to lay the controls out and
// set their fonts for the new scale.
INT_PTR onProgressDpiChanged(HWND hwnd, LPARAM lParam) {
    takeSuggestedRect(hwnd, lParam);
    return FALSE;
}

} // namespace

INT_PTR CALLBACK progressDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return onProgressInitMessage(hwnd);
    case WM_CLOSE:
        // No close box and no Esc: the run is stopped through Stop, never by closing the window.
        return TRUE;
    case WM_COMMAND:
        return onProgressCommand(hwnd, LOWORD(wParam));
    case WM_TIMER:
        onProgressTimer(hwnd);
        return TRUE;
    case WM_DPICHANGED:
        return onProgressDpiChanged(hwnd, lParam);
    default:
        return FALSE;
    }
}

bool runProgressDialog(HWND owner) {
    return DialogBoxParamW(g_app.hInstance, MAKEINTRESOURCEW(IDD_PROGRESS), owner, progressDlgProc, 0) ==
           kResultClosed;
}

bool onInitProgressDlg(HWND hwnd) {
    ConvertCore* core = g_app.pConvertCore;
    if (!core)
        return false;
    // Set before the run starts: without its timer the window could neither show the run's
    // end nor close after a stop, and would keep the main window disabled for good.
    g_progressTimerId = g_setProgressTimer(hwnd, kProgressTimerId, kProgressTimerMs, nullptr);
    if (!g_progressTimerId)
        return false;
    openQuestionGate(hwnd);
    core->overwriteCallback = &confirmOverwrite;
    core->callbackUserData = hwnd;
    if (!core->start()) {
        closeQuestionGate(hwnd);
        return false;
    }
    g_openProgressDlg = hwnd;
    showStopOrClose(hwnd, true);
    onProgressTimer(hwnd);
    return true;
}

void onProgressTimer(HWND hwnd) {
    ConvertCore* core = g_app.pConvertCore;
    if (!core)
        return;
    ProgressView view;
    const long jobCount = core->getJobCount();
    const RunState state = core->runState;
    if (state == Running)
        viewRunningJob(*core, jobCount, view);
    else if (state == Completed)
        viewCompletedRun(hwnd, *core, jobCount, view);

    if (view.countText[0])
        setControlText(hwnd, IDC_PROGRESS_COUNT, view.countText);
    if (!view.fileText.empty())
        setControlText(hwnd, IDC_PROGRESS_FILE, view.fileText.c_str());
    setBar(hwnd, view.barMaximum, view.barPosition);

    if (state == Running)
        return;
    showStopOrClose(hwnd, false);
    // After a stop the window goes by itself; a completed run waits for Close.
    if (state != Completed)
        PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0);
}

void stopAndCloseProgress() {
    HWND progress = g_openProgressDlg;
    if (!progress)
        return;
    ConvertCore* core = g_app.pConvertCore;
    if (core)
        core->requestStop();
    // Refused while an overwrite question is open; after a stop every tick asks again, so the
    // window goes once that question has its answer.
    PostMessageW(progress, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0);
}
