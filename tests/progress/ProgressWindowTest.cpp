// The progress window over an engine whose conversions the test holds and releases: the count
// line, the bar, Stop and Close, the stop question, the overwrite question, and the rules that
// keep a question from outliving the window that owns it.
#include "DrivenDialog.h"
#include "FakeEngine.h"
#include "ProgramTexts.h"
#include "WinTest.h"

#include "app/AppGlobals.h"
#include "engine/ImagePreset.h"
#include "res/resource.h"
#include "ui/Confirmations.h"
#include "ui/ProgressDialog.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace wintest;

namespace {

const DWORD kDeadlineMs = 60000;
// Several timer periods of the window: long enough for it to act on what it saw, if it would.
const DWORD kSeveralTicksMs = 600;

bool isShown(HWND dlg, int id) {
    HWND control = GetDlgItem(dlg, id);
    return control && IsWindowVisible(control);
}

bool waitForText(HWND dlg, int id, const std::wstring& expected, DWORD timeoutMs = 10000) {
    return waitUntil([&] { return controlText(dlg, id) == expected; }, timeoutMs);
}

// Polls the window until it is gone; true if the file line ever read "Complete" meanwhile.
bool watchUntilGone(HWND dlg, bool& sawComplete, DWORD timeoutMs = 10000) {
    return waitUntil(
        [&] {
            if (controlText(dlg, IDC_PROGRESS_FILE) == L"Complete")
                sawComplete = true;
            return !IsWindow(dlg);
        },
        timeoutMs);
}

class ProgressWindow : public testing::Test {
protected:
    void SetUp() override {
        g_app = AppGlobals();
        g_app.hInstance = GetModuleHandleW(nullptr);
        g_app.pPreset = &preset;
        g_app.pConvertCore = &engine;
        engine.outputFolder = out.path();
    }
    void TearDown() override { g_app.pConvertCore = nullptr; }

    // Jobs over sources in a folder of their own, so that no destination equals its source.
    void addJobs(int count) {
        for (int i = 0; i < count; ++i) {
            wchar_t name[32];
            swprintf(name, 32, L"image%04d.png", i);
            engine.addJob(in.file(name).c_str());
        }
    }
    std::wstring destOf(int i) {
        wchar_t name[32];
        swprintf(name, 32, L"image%04d.ico", i);
        return out.file(name);
    }

    // Shows the window modally on this thread while drive() acts on it from another thread.
    // Whatever drive() leaves behind is let go and closed, so a failed check ends the test.
    INT_PTR run(const std::function<void(HWND)>& drive) {
        return runDrivenDialog(
            kProgressTitle,
            [] { return DialogBoxParamW(g_app.hInstance, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, progressDlgProc, 0); },
            drive, [&](HWND dlg) { closeLeftovers(dlg); }, kDeadlineMs, "progress window");
    }

    void closeLeftovers(HWND dlg) {
        engine.releaseJob();
        engine.releaseQuestion();
        waitUntil([&] {
            if (!IsWindow(dlg))
                return true;
            HWND box = waitForMessageBox(kCaption, nullptr, 0);
            if (box)
                answerMessageBox(box, IDNO);
            clickButton(dlg, IDC_CLOSE);
            return false;
        });
    }

    CImageConverter_PNG_ICO preset;
    TempDir in;
    TempDir out;
    FakeEngine engine{&preset};
};

// ---- How a run ends: the count line of a completed run counts the files in place. ----

struct CompletedRunCase {
    const char* name;
    int jobs;
    std::set<int> failing;
    const wchar_t* countLine;
};

class CompletedRun : public ProgressWindow, public testing::WithParamInterface<CompletedRunCase> {};

TEST_P(CompletedRun, ShowsCompleteWithoutBarAndWaitsForClose) {
    const CompletedRunCase& c = GetParam();
    addJobs(c.jobs);
    engine.failIndices = c.failing;

    const INT_PTR result = run([&](HWND dlg) {
        ASSERT_TRUE(waitForText(dlg, IDC_PROGRESS_FILE, L"Complete"));
        EXPECT_EQ(c.countLine, controlText(dlg, IDC_PROGRESS_COUNT));
        EXPECT_FALSE(isShown(dlg, IDC_PROGRESS_BAR));
        EXPECT_TRUE(isShown(dlg, IDC_CLOSE));
        EXPECT_FALSE(isShown(dlg, IDC_STOP));

        // Esc and WM_CLOSE are handled by the time SendMessage returns; neither ends the window.
        SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        SendMessageW(dlg, WM_CLOSE, 0, 0);
        EXPECT_FALSE(waitUntil([&] { return !IsWindow(dlg); }, kSeveralTicksMs)) << "closed without Close";
        EXPECT_EQ(c.countLine, controlText(dlg, IDC_PROGRESS_COUNT));

        clickButton(dlg, IDC_CLOSE);
        EXPECT_TRUE(waitUntil([&] { return !IsWindow(dlg); }));
    });

    EXPECT_EQ(1, result);
    EXPECT_EQ(Completed, engine.runState.load());
}

INSTANTIATE_TEST_SUITE_P(Counts, CompletedRun,
                         testing::Values(CompletedRunCase{"OneConverts", 1, {}, L"1 / 1 (100%)"},
                                         CompletedRunCase{"OneOfThreeFails", 3, {1}, L"2 / 3 (67%)"},
                                         CompletedRunCase{"AllThreeFail", 3, {0, 1, 2}, L"0 / 3 (0%)"},
                                         CompletedRunCase{"ThreeOfFourConvert", 4, {3}, L"3 / 4 (75%)"}),
                         [](const testing::TestParamInfo<CompletedRunCase>& row) { return row.param.name; });

TEST_F(ProgressWindow, ShowsTheJobInHandAndABarOfOneHundredUnitsPerJob) {
    addJobs(1000);
    engine.holdJob(500);
    engine.failIndices = {};

    const INT_PTR result = run([&](HWND dlg) {
        ASSERT_TRUE(engine.waitJobHeld());
        ASSERT_TRUE(waitForText(dlg, IDC_PROGRESS_COUNT, L"501 / 1000 (50%)"));
        EXPECT_EQ(in.file(L"image0500.png"), controlText(dlg, IDC_PROGRESS_FILE));
        HWND bar = GetDlgItem(dlg, IDC_PROGRESS_BAR);
        PBRANGE range = {};
        SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
        EXPECT_EQ(0, range.iLow);
        EXPECT_EQ(100000, range.iHigh);
        EXPECT_EQ(50000, SendMessageW(bar, PBM_GETPOS, 0, 0));
        EXPECT_TRUE(isShown(dlg, IDC_PROGRESS_BAR));
        EXPECT_TRUE(isShown(dlg, IDC_STOP));
        EXPECT_FALSE(isShown(dlg, IDC_CLOSE));

        engine.releaseJob();
        ASSERT_TRUE(waitForText(dlg, IDC_PROGRESS_FILE, L"Complete", 30000));
        EXPECT_EQ(L"1000 / 1000 (100%)", controlText(dlg, IDC_PROGRESS_COUNT));
        clickButton(dlg, IDC_CLOSE);
    });
    EXPECT_EQ(1, result);
}

// Moved to a monitor of another display scale, the window takes the rectangle Windows suggests.
TEST_F(ProgressWindow, TakesTheSuggestedRectWhenTheDisplayScaleChanges) {
    addJobs(1);
    const INT_PTR result = run([&](HWND dlg) {
        ASSERT_TRUE(waitForText(dlg, IDC_PROGRESS_FILE, L"Complete"));
        RECT before = {};
        GetWindowRect(dlg, &before);
        const RECT suggested = {before.left + 10, before.top + 20, before.left + 10 + (before.right - before.left) * 3 / 2,
                                before.top + 20 + (before.bottom - before.top) * 3 / 2};
        SendMessageW(dlg, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
        RECT now = {};
        GetWindowRect(dlg, &now);
        EXPECT_TRUE(EqualRect(&now, &suggested));
        clickButton(dlg, IDC_CLOSE);
    });
    EXPECT_EQ(1, result);
}

TEST_F(ProgressWindow, FailedStartEndsAtOnceWithTwo) {
    addJobs(2);
    engine.failStart = true;
    INT_PTR result = -1;
    runWithDeadline(
        [&] { result = DialogBoxParamW(g_app.hInstance, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, progressDlgProc, 0); },
        kDeadlineMs, "failed start");
    EXPECT_EQ(2, result);
    EXPECT_EQ(Idle, engine.runState.load());
    EXPECT_TRUE(engine.convertedDests().empty());
}

UINT_PTR WINAPI refuseTimer(HWND, UINT_PTR, UINT, TIMERPROC) {
    return 0;
}

// With the desktop's objects used up, SetTimer fails: the window could then never show the
// end of a run nor close after a stop, and the main window would stay disabled.
TEST_F(ProgressWindow, WithoutItsTimerEndsAtOnceAndStartsNoRun) {
    addJobs(2);
    g_setProgressTimer = refuseTimer;
    INT_PTR result = -1;
    bool appeared = false;
    runWithDeadline(
        [&] {
            // A window that stays is closed with Close, so the check fails instead of hanging.
            std::thread closer([&] {
                HWND dlg = waitForWindow(L"#32770", kProgressTitle, kSeveralTicksMs * 3);
                appeared = dlg != nullptr;
                if (dlg)
                    closeLeftovers(dlg);
            });
            result = DialogBoxParamW(g_app.hInstance, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, progressDlgProc, 0);
            closer.join();
        },
        kDeadlineMs, "no timer");
    g_setProgressTimer = SetTimer;
    EXPECT_FALSE(appeared) << "the window stayed without its timer";
    EXPECT_EQ(2, result);
    EXPECT_EQ(0, engine.startCalls.load());
    EXPECT_TRUE(engine.convertedDests().empty());
}

// A path is shown as it is, "&" included, and a long one keeps its file name when it is cut.
TEST_F(ProgressWindow, FileLineShowsAmpersandsAndKeepsTheFileNameOfALongPath) {
    const std::wstring source = L"C:\\Photos & Art\\" + std::wstring(200, L'x') + L"\\the picture.png";
    engine.addJob(source.c_str());
    engine.holdJob(0);
    run([&](HWND dlg) {
        ASSERT_TRUE(engine.waitJobHeld());
        ASSERT_TRUE(waitForText(dlg, IDC_PROGRESS_FILE, source));
        const LONG style = GetWindowLongW(GetDlgItem(dlg, IDC_PROGRESS_FILE), GWL_STYLE);
        EXPECT_EQ(SS_NOPREFIX, style & SS_NOPREFIX) << "& is taken for a mnemonic";
        EXPECT_EQ(SS_PATHELLIPSIS, style & SS_ELLIPSISMASK) << "a long path is cut at its end";
        engine.releaseJob();
        ASSERT_TRUE(waitForText(dlg, IDC_PROGRESS_FILE, L"Complete"));
        clickButton(dlg, IDC_CLOSE);
    });
}

// Past 259 units the line shows the path's tail behind "...", from a separator on, so that the
// name is never what the static cuts off.
TEST_F(ProgressWindow, FileLineOfAPathPastThePlainLimitShowsItsTailWithTheName) {
    const std::wstring tail = L"\\" + std::wstring(200, L't') + L"\\the picture.png";
    const std::wstring source = L"C:\\" + std::wstring(800, L'h') + tail;
    engine.addJob(source.c_str());
    engine.holdJob(0);
    run([&](HWND dlg) {
        ASSERT_TRUE(engine.waitJobHeld());
        EXPECT_TRUE(waitForText(dlg, IDC_PROGRESS_FILE, L"..." + tail));
        engine.releaseJob();
        ASSERT_TRUE(waitForText(dlg, IDC_PROGRESS_FILE, L"Complete"));
        clickButton(dlg, IDC_CLOSE);
    });
}

// Every question and refusal that names a file is one sentence with its paths put in.
TEST(MessageText, PathsFillTheirPlacesAndAreNeverReadAsPlaceholders) {
    struct Row {
        const wchar_t* text;
        std::vector<std::wstring> paths;
        std::wstring expected;
    };
    const Row rows[] = {
        {L"'%1' and '%2' into '%3'.", {L"C:\\a.png", L"C:\\b.png", L"C:\\a.ico"},
         L"'C:\\a.png' and 'C:\\b.png' into 'C:\\a.ico'."},
        {L"'%2' before '%1'", {L"one", L"two"}, L"'two' before 'one'"},
        {L"'%1' already exists.", {L"C:\\100%2 %1 %%.ico"}, L"'C:\\100%2 %1 %%.ico' already exists."},
        {L"50% and %2 stay", {L"only one"}, L"50% and %2 stay"},
        {L"ends in %", {L"x"}, L"ends in %"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(withPaths(row.text, row.paths), row.expected);
    }
}

// ---- The stop question. ----

struct StopCase {
    const char* name;
    int answer;
    bool fileOutlastsTheWait; // the held file is let go only after the window has closed
};

class StopQuestion : public ProgressWindow, public testing::WithParamInterface<StopCase> {};

TEST_P(StopQuestion, YesClosesTheWindowByItselfAndNoLetsTheRunGoOn) {
    const StopCase& c = GetParam();
    addJobs(3);
    engine.holdJob(0);
    MessageBoxAnswerer answerer(kCaption, {c.answer});
    bool sawComplete = false;
    bool workerAliveAtClose = false;
    HWND progress = nullptr;

    const INT_PTR result = run([&](HWND dlg) {
        progress = dlg;
        ASSERT_TRUE(engine.waitJobHeld());
        clickButton(dlg, IDC_STOP);
        ASSERT_TRUE(answerer.waitForCount(1));
        if (c.answer == IDNO) {
            ASSERT_TRUE(waitUntil([&] { return !waitForMessageBox(kCaption, kStopText, 0); }));
            ASSERT_TRUE(isResponsive(dlg));
            EXPECT_EQ(Running, engine.runState.load());
            engine.releaseJob();
            ASSERT_TRUE(waitForText(dlg, IDC_PROGRESS_FILE, L"Complete"));
            EXPECT_EQ(L"3 / 3 (100%)", controlText(dlg, IDC_PROGRESS_COUNT));
            clickButton(dlg, IDC_CLOSE);
            return;
        }
        // The answer is only posted when the box is seen: let the file go once the stop is asked.
        ASSERT_TRUE(waitUntil([&] { return engine.runState.load() == StopRequested; }));
        if (!c.fileOutlastsTheWait)
            engine.releaseJob();
        EXPECT_TRUE(watchUntilGone(dlg, sawComplete)) << "the window did not close by itself";
        workerAliveAtClose = engine.isWorkerAlive();
    });

    EXPECT_EQ(1, result);
    const std::vector<SeenMessageBox> seen = answerer.seen();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(kStopText, seen[0].text);
    EXPECT_EQ((std::vector<int>{IDYES, IDNO}), seen[0].buttons);
    EXPECT_EQ(progress, seen[0].owner);
    if (c.answer == IDNO) {
        EXPECT_EQ(Completed, engine.runState.load());
        EXPECT_EQ(3, engine.getCompletedCount());
        return;
    }
    EXPECT_FALSE(sawComplete);
    EXPECT_EQ(c.fileOutlastsTheWait, workerAliveAtClose);
    engine.releaseJob();
    ASSERT_TRUE(engine.waitForWorker(10000));
    EXPECT_EQ(Stopped, engine.runState.load());
    // The file in hand is finished; the files after it are never begun.
    EXPECT_EQ(100, engine.jobAt(0).progress);
    EXPECT_TRUE(fileExists(destOf(0)));
    EXPECT_TRUE(engine.jobAt(1).destPath.empty());
    EXPECT_TRUE(engine.jobAt(2).destPath.empty());
    EXPECT_EQ(1u, engine.convertedDests().size());
}

INSTANTIATE_TEST_SUITE_P(Answers, StopQuestion,
                         testing::Values(StopCase{"YesWhileFileEndsWithinWait", IDYES, false},
                                         StopCase{"YesWhileFileOutlastsWait", IDYES, true},
                                         StopCase{"No", IDNO, false}),
                         [](const testing::TestParamInfo<StopCase>& row) { return row.param.name; });

TEST_F(ProgressWindow, YesAfterTheRunCompletedKeepsTheFinishedWindow) {
    addJobs(1);
    engine.holdJob(0);
    const INT_PTR result = run([&](HWND dlg) {
        ASSERT_TRUE(engine.waitJobHeld());
        clickButton(dlg, IDC_STOP);
        HWND box = waitForMessageBox(kCaption, kStopText);
        ASSERT_TRUE(box != nullptr);
        // The run completes while the question is open; the window keeps polling behind it.
        engine.releaseJob();
        ASSERT_TRUE(waitForText(dlg, IDC_PROGRESS_FILE, L"Complete"));
        answerMessageBox(box, IDYES);
        ASSERT_TRUE(waitUntil([&] { return !IsWindow(box); }));
        ASSERT_TRUE(isResponsive(dlg));
        EXPECT_FALSE(waitUntil([&] { return !IsWindow(dlg); }, kSeveralTicksMs)) << "a finished window closed";
        EXPECT_EQ(L"Complete", controlText(dlg, IDC_PROGRESS_FILE));
        EXPECT_EQ(L"1 / 1 (100%)", controlText(dlg, IDC_PROGRESS_COUNT));
        EXPECT_TRUE(isShown(dlg, IDC_CLOSE));
        clickButton(dlg, IDC_CLOSE);
    });
    EXPECT_EQ(1, result);
    EXPECT_EQ(Completed, engine.runState.load());
}

// ---- The overwrite question. ----

TEST_F(ProgressWindow, AsksOncePerExistingDestinationInJobOrder) {
    addJobs(4);
    const std::string oldBytes = "an older icon, to be kept byte for byte";
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(writeFile(destOf(i), oldBytes));
    MessageBoxAnswerer answerer(kCaption, {IDNO, IDYES, IDNO});
    HWND progress = nullptr;

    const INT_PTR result = run([&](HWND dlg) {
        progress = dlg;
        ASSERT_TRUE(waitForText(dlg, IDC_PROGRESS_FILE, L"Complete"));
        // Declined files are in place too, so every job counts.
        EXPECT_EQ(L"4 / 4 (100%)", controlText(dlg, IDC_PROGRESS_COUNT));
        clickButton(dlg, IDC_CLOSE);
    });

    EXPECT_EQ(1, result);
    const std::vector<SeenMessageBox> seen = answerer.seen();
    ASSERT_EQ(3u, seen.size());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(overwriteText(destOf(i)), seen[i].text) << "question " << i;
        EXPECT_EQ(progress, seen[i].owner) << "question " << i;
        EXPECT_EQ((std::vector<int>{IDYES, IDNO}), seen[i].buttons) << "question " << i;
    }
    std::string bytes;
    ASSERT_TRUE(readFile(destOf(0), bytes));
    EXPECT_EQ(oldBytes, bytes) << "No must keep the old file";
    ASSERT_TRUE(readFile(destOf(1), bytes));
    EXPECT_EQ(engine.outputBytes, bytes) << "Yes must replace the file";
    ASSERT_TRUE(readFile(destOf(2), bytes));
    EXPECT_EQ(oldBytes, bytes);
    ASSERT_TRUE(readFile(destOf(3), bytes));
    EXPECT_EQ(engine.outputBytes, bytes) << "a new destination is written without a question";
    EXPECT_EQ((std::vector<std::wstring>{destOf(1), destOf(3)}), engine.convertedDests());
}

// How far the stand-in window has gone with its question gate when the question comes.
enum GateStage { NeverOpened, Open, DecidedToClose };

struct UnaskedCase {
    const char* name;
    int question;
    GateStage gate;
};

class UnaskedQuestion : public ProgressWindow, public testing::WithParamInterface<UnaskedCase> {};

// Only question 1, owned by the open progress window, is ever shown; anything else keeps the
// file. A window that has decided to close still exists for a moment: a box it owned then would
// go with it and be answered by accident.
TEST_P(UnaskedQuestion, AnswersKeepWithoutShowingABox) {
    const UnaskedCase& c = GetParam();
    addJobs(1);
    // A job in hand, as while a run asks: only the gate stands between it and a box.
    engine.currentIndex = 0;
    MessageBoxAnswerer answerer(kCaption, {IDYES});
    int answer = -1;
    runWithDeadline(
        [&] {
            HWND window = CreateWindowExW(0, L"STATIC", L"stand-in", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                          nullptr, nullptr);
            if (c.gate != NeverOpened)
                openQuestionGate(window);
            if (c.gate == DecidedToClose) {
                EXPECT_TRUE(closeQuestionGate(window));
            }
            answer = confirmOverwrite(c.question, window);
            closeQuestionGate(window);
            DestroyWindow(window);
        },
        kDeadlineMs, "a question that must not be shown");
    EXPECT_EQ(0, answer);
    EXPECT_TRUE(answerer.seen().empty());
}

INSTANTIATE_TEST_SUITE_P(Questions, UnaskedQuestion,
                         testing::Values(UnaskedCase{"QuestionZero", 0, Open}, UnaskedCase{"QuestionTwo", 2, Open},
                                         UnaskedCase{"NegativeQuestion", -1, Open},
                                         UnaskedCase{"OwnerNotTheProgressWindow", 1, NeverOpened},
                                         UnaskedCase{"OwnerDecidedToClose", 1, DecidedToClose}),
                         [](const testing::TestParamInfo<UnaskedCase>& row) { return row.param.name; });

// ---- A question and the window that owns it end in the right order. ----

TEST_F(ProgressWindow, StaysOpenWhileItsOverwriteQuestionIsOpenAfterAStop) {
    addJobs(2);
    const std::string oldBytes = "old";
    ASSERT_TRUE(writeFile(destOf(0), oldBytes));
    ASSERT_TRUE(writeFile(destOf(1), oldBytes));
    bool sawComplete = false;

    const INT_PTR result = run([&](HWND dlg) {
        HWND question = waitForMessageBox(kCaption, overwriteText(destOf(0)).c_str());
        ASSERT_TRUE(question != nullptr);
        // The question disables its owner, but a posted Stop still reaches it.
        clickButton(dlg, IDC_STOP);
        HWND stop = waitForMessageBox(kCaption, kStopText);
        ASSERT_TRUE(stop != nullptr);
        answerMessageBox(stop, IDYES);
        ASSERT_TRUE(waitUntil([&] { return !IsWindow(stop); }));
        ASSERT_TRUE(isResponsive(dlg));
        ASSERT_EQ(StopRequested, engine.runState.load());

        clickButton(dlg, IDC_CLOSE);
        EXPECT_FALSE(waitUntil([&] { return !IsWindow(dlg); }, kSeveralTicksMs))
            << "the window went while its question was open";
        EXPECT_TRUE(IsWindowVisible(question));
        EXPECT_EQ(dlg, GetWindow(question, GW_OWNER));

        answerMessageBox(question, IDNO);
        EXPECT_TRUE(watchUntilGone(dlg, sawComplete)) << "the window did not close once answered";
    });

    EXPECT_EQ(1, result);
    EXPECT_FALSE(sawComplete);
    ASSERT_TRUE(engine.waitForWorker(10000));
    EXPECT_EQ(Stopped, engine.runState.load());
    std::string bytes;
    ASSERT_TRUE(readFile(destOf(0), bytes));
    EXPECT_EQ(oldBytes, bytes);
    EXPECT_TRUE(engine.jobAt(1).destPath.empty());
    EXPECT_TRUE(engine.convertedDests().empty());
}

TEST_F(ProgressWindow, QuestionBegunAfterTheWindowClosedKeepsTheFileUnasked) {
    addJobs(1);
    const std::string oldBytes = "old";
    ASSERT_TRUE(writeFile(destOf(0), oldBytes));
    engine.holdQuestion(0);
    // Would replace the file if the late question were shown.
    MessageBoxAnswerer answerer(kCaption, {IDYES});

    const INT_PTR result = run([&](HWND dlg) {
        ASSERT_TRUE(engine.waitQuestionHeld());
        clickButton(dlg, IDC_STOP);
        ASSERT_TRUE(answerer.waitForCount(1));
        bool sawComplete = false;
        EXPECT_TRUE(watchUntilGone(dlg, sawComplete));
    });
    EXPECT_EQ(1, result);

    engine.releaseQuestion();
    ASSERT_TRUE(engine.waitForWorker(10000));
    EXPECT_EQ(0, engine.heldQuestionAnswer.load());
    const std::vector<SeenMessageBox> seen = answerer.seen();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(kStopText, seen[0].text);
    std::string bytes;
    ASSERT_TRUE(readFile(destOf(0), bytes));
    EXPECT_EQ(oldBytes, bytes);
    EXPECT_EQ(Stopped, engine.runState.load());
    EXPECT_EQ(100, engine.jobAt(0).progress) << "the kept file is in place";
}

} // namespace
