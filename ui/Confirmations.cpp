// The two questions of the progress window: replace an existing file (asked from the worker
// thread) and stop the run (asked from the Stop button).
#include "Confirmations.h"

#include "ProductText.h"
#include "app/AppGlobals.h"
#include "engine/ConvertCore.h"

#include <string>

namespace {

const wchar_t kStopQuestion[] = L"Are you sure you want to stop the conversion?";
const wchar_t kOverwriteText[] = L"'%1' already exists.\nDo you want to replace it?";
const UINT kQuestionType = MB_YESNO;

// Which progress window may own an overwrite question, whether one is open, and whether that
// window has decided to close. The worker asks and the user-interface thread closes, so both
// read and write it under the guard only.
struct QuestionGate {
    HWND window = nullptr;
    bool questionOpen = false;
    bool windowClosing = false;
};

SRWLOCK g_gateGuard = SRWLOCK_INIT;
QuestionGate g_gate;

class GateLock {
public:
    GateLock() { AcquireSRWLockExclusive(&g_gateGuard); }
    ~GateLock() { ReleaseSRWLockExclusive(&g_gateGuard); }
    GateLock(const GateLock&) = delete;
    GateLock& operator=(const GateLock&) = delete;
};

// A question may be shown only while its owner is the open, not closing progress window:
// a box whose owner went away could be answered by accident or never.
bool enterQuestion(HWND owner) {
    GateLock guard;
    if (!owner || owner != g_gate.window || g_gate.windowClosing || g_gate.questionOpen)
        return false;
    g_gate.questionOpen = true;
    return true;
}

void leaveQuestion() {
    GateLock guard;
    g_gate.questionOpen = false;
}

} // namespace

int showProductMessage(HWND owner, const wchar_t* text, UINT type) {
    return MessageBoxW(owner, text, kProductCaption, type);
}

std::wstring withPaths(const wchar_t* text, const std::vector<std::wstring>& paths) {
    std::wstring result;
    for (const wchar_t* c = text; *c; ++c) {
        const size_t number = (c[0] == L'%' && c[1] >= L'1' && c[1] <= L'9') ? static_cast<size_t>(c[1] - L'0') : 0;
        if (number == 0 || number > paths.size()) {
            result += *c;
            continue;
        }
        result += paths[number - 1];
        ++c;
    }
    return result;
}

void openQuestionGate(HWND progressDlg) {
    GateLock guard;
    g_gate.window = progressDlg;
    g_gate.questionOpen = false;
    g_gate.windowClosing = false;
}

bool closeQuestionGate(HWND progressDlg) {
    GateLock guard;
    if (progressDlg == g_gate.window && g_gate.questionOpen)
        return false;
    if (progressDlg == g_gate.window)
        g_gate.windowClosing = true;
    return true;
}

int confirmOverwrite(int question, void* userData) {
    if (question != kQuestionReplace)
        return kAnswerKeep;
    ConvertCore* core = g_app.pConvertCore;
    if (!core)
        return kAnswerKeep;
    // Without a window to ask in, the existing file is kept: nothing is replaced unasked.
    HWND owner = static_cast<HWND>(userData);
    if (!enterQuestion(owner))
        return kAnswerKeep;

    ConvertJob job;
    int answer = kAnswerKeep;
    if (core->getCurrentJob(job)) {
        const std::wstring text = withPaths(kOverwriteText, {job.destPath});
        if (showProductMessage(owner, text.c_str(), kQuestionType) == IDYES)
            answer = kAnswerReplace;
    }
    leaveQuestion();
    return answer;
}

void confirmStop(HWND hwnd) {
    if (showProductMessage(hwnd, kStopQuestion, kQuestionType) != IDYES)
        return;
    ConvertCore* core = g_app.pConvertCore;
    if (core)
        core->stopAndWait();
}
