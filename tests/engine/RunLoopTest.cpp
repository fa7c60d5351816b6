// The worker and its run loop: states, stops between files, the overwrite question, the
// engine's lifetime around a live worker, and one real batch through the conversion library.
#include "ConversionLibrary.h"
#include "EngineTestSupport.h"
#include "FakeEngine.h"
#include "ImagePreset.h"
#include "WinTest.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

using wintest::TempDir;
using wintest::runWithDeadline;

namespace {

using EnginePtr = std::unique_ptr<ConvertCore, ConvertCore::Deleter>;

const DWORD kDeadlineMs = 60000;

class RunLoop : public testing::Test {
protected:
    void SetUp() override { engine.outputFolder = out.path(); }

    // Adds a job per name; sources live in their own folder so destinations never equal them.
    void addJobs(std::initializer_list<const wchar_t*> names) {
        for (const wchar_t* name : names)
            engine.addJob(in.file(name).c_str());
    }
    int progressOf(int i) {
        engine.lock();
        const int progress = engine.getJob(i)->progress;
        engine.unlock();
        return progress;
    }
    std::wstring destOf(int i) {
        engine.lock();
        const std::wstring dest = engine.getJob(i)->destPath;
        engine.unlock();
        return dest;
    }

    CImageConverter_PNG_ICO preset;
    TempDir in;
    TempDir out;
    FakeEngine engine{&preset};
};

TEST_F(RunLoop, ThreeJobsCompleteWithTheirTraceLinesInOrder) {
    runWithDeadline([&] {
        DebugOutputCapture capture;
        addJobs({L"a.png", L"b.ico", L"c.PNG"});
        ASSERT_TRUE(startAndWaitForEnd(engine));
        ASSERT_TRUE(engine.waitForWorker(10000));

        EXPECT_EQ(Completed, engine.runState.load());
        EXPECT_EQ(Completed, engine.stateAtRunEnd.load());
        EXPECT_EQ(1, engine.runEndCalls.load());
        EXPECT_EQ(3, engine.getCompletedCount());
        EXPECT_EQ(3u, engine.convertedDests().size());
        EXPECT_EQ(out.file(L"a.ico"), destOf(0));
        EXPECT_EQ(out.file(L"b.png"), destOf(1));
        EXPECT_EQ(out.file(L"c.png"), destOf(2));
        EXPECT_TRUE(engine.lockFreeDuringConvert.load());
        ConvertJob job;
        EXPECT_FALSE(engine.getCurrentJob(job)) << "no job in hand after the run";

        std::vector<std::string> expected;
        for (int i = 0; i < 3; ++i) {
            char first[64];
            snprintf(first, sizeof first, "----- runProc : %d -----\n", i);
            expected.insert(expected.end(), {first, "runProc : convert\n"});
        }
        // The scripted conversion replaces the library call, so it writes no convert lines; the
        // base class's lines are checked with the real library below.
        EXPECT_EQ(expected, capture.lines());
    }, kDeadlineMs, "three jobs");
}

TEST(RunLoopTrace, TheLibraryConversionWritesItsThreeLines) {
    runWithDeadline([&] {
        CImageConverter_PNG_ICO preset;
        TempDir out;
        EnginePtr owned(new ConvertCore(&preset));
        ConvertCore& core = *owned;
        core.outputFolder = out.path();
        for (const wchar_t* name : {L"Z:\\nowhere\\a.png", L"Z:\\nowhere\\b.png", L"Z:\\nowhere\\c.ico"})
            core.addJob(name);
        DebugOutputCapture capture;
        ASSERT_TRUE(startAndWaitForEnd(core));
        ASSERT_TRUE(core.waitForWorker(10000));

        std::vector<std::string> expected;
        for (int i = 0; i < 3; ++i) {
            char first[64];
            snprintf(first, sizeof first, "----- runProc : %d -----\n", i);
            expected.insert(expected.end(), {first, "runProc : convert\n", "----- convert -----\n",
                                             "----------\n"});
        }
        EXPECT_EQ(expected, capture.lines());
        EXPECT_EQ(0, core.getCompletedCount()) << "missing sources convert to nothing";
        EXPECT_EQ(Completed, core.runState.load());
    }, kDeadlineMs, "trace lines");
}

TEST_F(RunLoop, EmptyTableCompletesAtOnceWithoutTrace) {
    runWithDeadline([&] {
        DebugOutputCapture capture;
        ASSERT_TRUE(startAndWaitForEnd(engine));
        // The final state is set before onRunEnd is called: only the worker's end says it was.
        ASSERT_TRUE(engine.waitForWorker(10000));
        EXPECT_EQ(Completed, engine.runState.load());
        EXPECT_EQ(1, engine.runEndCalls.load());
        EXPECT_TRUE(capture.lines().empty());
    }, kDeadlineMs, "empty table");
}

TEST_F(RunLoop, AFailedConversionCountsZeroAndTheRunGoesOn) {
    runWithDeadline([&] {
        engine.failIndices = {1};
        addJobs({L"a.png", L"b.png", L"c.png"});
        ASSERT_TRUE(startAndWaitForEnd(engine));
        EXPECT_EQ(Completed, engine.runState.load());
        EXPECT_EQ(100, progressOf(0));
        EXPECT_EQ(0, progressOf(1));
        EXPECT_EQ(100, progressOf(2));
        EXPECT_EQ(2, engine.getCompletedCount());
    }, kDeadlineMs, "failed conversion");
}

TEST_F(RunLoop, StopDuringTheSecondOfFiveFinishesItAndLeavesTheRestUntouched) {
    runWithDeadline([&] {
        engine.holdJob(1);
        addJobs({L"1.png", L"2.png", L"3.png", L"4.png", L"5.png"});
        ASSERT_TRUE(engine.start());
        ASSERT_TRUE(engine.waitJobHeld()) << "job 2 never began";
        EXPECT_EQ(Running, engine.runState.load());

        // The stop request lands while job 2 converts; the wait gives up before it is let go.
        engine.stopAndWait();
        EXPECT_EQ(StopRequested, engine.runState.load());
        EXPECT_TRUE(engine.isWorkerAlive());
        engine.releaseJob();
        ASSERT_TRUE(engine.waitForWorker(10000));

        EXPECT_EQ(Stopped, engine.runState.load());
        EXPECT_EQ(2u, engine.convertedDests().size());
        EXPECT_EQ(100, progressOf(0));
        EXPECT_EQ(100, progressOf(1));
        for (int i = 2; i < 5; ++i) {
            EXPECT_EQ(0, progressOf(i));
            EXPECT_TRUE(destOf(i).empty());
        }
        ConvertJob job;
        EXPECT_FALSE(engine.getCurrentJob(job));
    }, kDeadlineMs, "stop during job 2");
}

TEST_F(RunLoop, StopDuringTheLastJobStillEndsStopped) {
    runWithDeadline([&] {
        engine.holdJob(0);
        addJobs({L"only.png"});
        ASSERT_TRUE(engine.start());
        ASSERT_TRUE(engine.waitJobHeld());
        engine.runState = StopRequested; // as stopAndWait sets it, without its wait
        engine.releaseJob();
        ASSERT_TRUE(engine.waitForWorker(10000));
        EXPECT_EQ(Stopped, engine.runState.load());
        EXPECT_EQ(Stopped, engine.stateAtRunEnd.load());
        EXPECT_EQ(100, progressOf(0));
    }, kDeadlineMs, "stop during last job");
}

class SamePngPreset : public ImagePreset {
public:
    const wchar_t* getTargetExtension(const std::wstring&) const override { return L"png"; }
};

TEST_F(RunLoop, DestinationEqualToSourceIsInPlaceWithoutConverting) {
    runWithDeadline([&] {
        SamePngPreset samePreset;
        engine.preset = &samePreset;
        engine.outputFolder = in.path();
        engine.addJob(in.file(L"self.png").c_str());
        int asked = 0;
        engine.overwriteCallback = [](int, void* counter) { ++*static_cast<int*>(counter); return 1; };
        engine.callbackUserData = &asked;
        ASSERT_TRUE(startAndWaitForEnd(engine));
        ASSERT_TRUE(engine.waitForWorker(10000));
        engine.preset = &preset;
        EXPECT_EQ(in.file(L"self.png"), destOf(0));
        EXPECT_EQ(100, progressOf(0)) << "in place although no such file exists: it is not looked for";
        EXPECT_TRUE(engine.convertedDests().empty());
        EXPECT_EQ(0, asked);
    }, kDeadlineMs, "destination equals source");
}

struct Question {
    int question;
    std::wstring dest;
};

struct QuestionLog {
    FakeEngine* engine;
    int answer;
    std::vector<Question> asked;
    bool snapshotTaken = true;
};

int recordQuestion(int question, void* userData) {
    QuestionLog* log = static_cast<QuestionLog*>(userData);
    ConvertJob job;
    // The lock is not held here: the snapshot must not wait.
    log->snapshotTaken = log->snapshotTaken && log->engine->getCurrentJob(job);
    log->asked.push_back({question, job.destPath});
    return log->answer;
}

TEST_F(RunLoop, ExistingDestinationIsAskedAboutAndKeptOrReplaced) {
    runWithDeadline([&] {
        struct Case {
            int answer;
            bool withCallback;
            bool replaced;
            bool conversionFails;
        };
        const Case cases[] = {
            {0, true, false, false}, {1, true, true, false}, {2, true, false, false}, {1, false, false, false},
            {1, true, false, true}, // asked, answered Yes, and the conversion fails: not done
        };
        for (const Case& c : cases) {
            engine.clearJobs();
            const size_t convertedBefore = engine.convertedDests().size();
            engine.failIndices = c.conversionFails ? std::set<int>{0} : std::set<int>{};
            addJobs({L"photo.png"});
            ASSERT_TRUE(wintest::writeFile(out.file(L"photo.ico"), "old"));
            QuestionLog log{&engine, c.answer, {}};
            engine.overwriteCallback = c.withCallback ? recordQuestion : nullptr;
            engine.callbackUserData = &log;
            DebugOutputCapture capture;
            ASSERT_TRUE(startAndWaitForEnd(engine));
            ASSERT_TRUE(engine.waitForWorker(10000));

            std::string content;
            ASSERT_TRUE(wintest::readFile(out.file(L"photo.ico"), content));
            EXPECT_EQ(c.replaced ? engine.outputBytes : "old", content) << "answer " << c.answer;
            EXPECT_EQ(c.conversionFails ? 0 : 100, progressOf(0)) << "answer " << c.answer;
            const bool converted = c.replaced || c.conversionFails;
            EXPECT_EQ(converted ? 1u : 0u, engine.convertedDests().size() - convertedBefore);
            EXPECT_EQ(c.withCallback ? 1u : 0u, log.asked.size());
            if (!log.asked.empty()) {
                EXPECT_EQ(1, log.asked[0].question);
                EXPECT_EQ(out.file(L"photo.ico"), log.asked[0].dest);
                EXPECT_TRUE(log.snapshotTaken);
            }
            if (!converted) {
                EXPECT_EQ(std::vector<std::string>{"----- runProc : 0 -----\n"}, capture.lines());
            }
        }
    }, kDeadlineMs, "existing destination");
}

TEST_F(RunLoop, UnreadableExistingDestinationIsStillAskedAbout) {
    runWithDeadline([&] {
        addJobs({L"photo.png"});
        const std::wstring dest = out.file(L"photo.ico");
        ASSERT_TRUE(wintest::writeFile(dest, "old"));
        // Held open with no sharing: it exists, but nobody else may open it for reading.
        HANDLE held = CreateFileW(dest.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        QuestionLog log{&engine, 0, {}};
        engine.overwriteCallback = recordQuestion;
        engine.callbackUserData = &log;
        ASSERT_TRUE(startAndWaitForEnd(engine));
        CloseHandle(held);
        EXPECT_EQ(1u, log.asked.size());
        EXPECT_TRUE(engine.convertedDests().empty());
        EXPECT_EQ(100, progressOf(0));
    }, kDeadlineMs, "unreadable destination");
}

TEST_F(RunLoop, StopAndWaitIsBoundedBeforeAndAfterARun) {
    runWithDeadline([&] {
        DWORD start = GetTickCount();
        engine.stopAndWait();
        DWORD took = GetTickCount() - start;
        EXPECT_EQ(Idle, engine.runState.load());
        EXPECT_GE(took, 900u) << "an engine that never ran waits the whole second";
        EXPECT_LT(took, 3000u);

        addJobs({L"a.png"});
        ASSERT_TRUE(startAndWaitForEnd(engine));
        start = GetTickCount();
        engine.stopAndWait();
        took = GetTickCount() - start;
        EXPECT_EQ(Completed, engine.runState.load());
        // GetTickCount under Wine on a busy host has been seen 14 ms short of a 100 ms sleep.
        EXPECT_GE(took, 50u) << "the poll after a finished run does not wait at all";
        EXPECT_LT(took, 900u) << "a finished run is seen after the first 100 ms";
    }, kDeadlineMs, "stopAndWait bounds");
}

DWORD WINAPI releaseAfterAWhile(LPVOID engine) {
    Sleep(300);
    static_cast<FakeEngine*>(engine)->releaseJob();
    return 0;
}

TEST_F(RunLoop, NothingOverlapsALiveWorker) {
    runWithDeadline([&] {
        engine.holdJob(0);
        addJobs({L"a.png", L"b.png"});
        ASSERT_TRUE(engine.start());
        ASSERT_TRUE(engine.waitJobHeld());
        engine.stopAndWait(); // gives up while the first file still converts
        ASSERT_TRUE(engine.isWorkerAlive());

        // clearJobs must wait for the worker rather than free the table under it.
        HANDLE releaser = CreateThread(nullptr, 0, releaseAfterAWhile, &engine, 0, nullptr);
        EXPECT_TRUE(engine.clearJobs());
        EXPECT_FALSE(engine.isWorkerAlive());
        EXPECT_EQ(nullptr, engine.workerThread);
        EXPECT_EQ(Stopped, engine.runState.load());
        WaitForSingleObject(releaser, INFINITE);
        CloseHandle(releaser);

        // A new run on the same engine starts cleanly.
        engine.holdJob(-1);
        addJobs({L"c.png"});
        ASSERT_TRUE(startAndWaitForEnd(engine));
        EXPECT_EQ(Completed, engine.runState.load());
        EXPECT_EQ(1, engine.getCompletedCount());
    }, kDeadlineMs, "live worker");
}

// A worker held in its overwrite question, which is a plain function outside the engine, until
// the test lets it go; or never, once the engine it runs for is gone.
struct HeldQuestion {
    HANDLE asked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> engineGone{false};
};

int holdQuestion(int, void* userData) {
    HeldQuestion* held = static_cast<HeldQuestion*>(userData);
    SetEvent(held->asked);
    WaitForSingleObject(held->release, INFINITE);
    return kAnswerKeep;
}

DWORD WINAPI releaseUnlessEngineGone(LPVOID userData) {
    Sleep(300);
    HeldQuestion* held = static_cast<HeldQuestion*>(userData);
    // An engine that did not wait is freed already: its worker stays held rather than run on.
    if (!held->engineGone)
        SetEvent(held->release);
    return 0;
}

// The plain engine's destructor, not a test engine's, is what must wait for the worker.
TEST_F(RunLoop, DestroyingTheEngineWaitsForItsWorker) {
    runWithDeadline([&] {
        HeldQuestion* held = new HeldQuestion; // leaked when the check fails: the worker keeps it
        ASSERT_TRUE(wintest::writeFile(out.file(L"x.ico"), "old"));
        ConvertCore* doomed = new ConvertCore(&preset);
        doomed->outputFolder = out.path();
        doomed->addJob(in.file(L"x.png").c_str());
        doomed->overwriteCallback = holdQuestion;
        doomed->callbackUserData = held;
        ASSERT_TRUE(doomed->start());
        HANDLE worker = nullptr;
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), doomed->workerThread, GetCurrentProcess(), &worker,
                                    SYNCHRONIZE, FALSE, 0));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(held->asked, 10000));

        HANDLE releaser = CreateThread(nullptr, 0, releaseUnlessEngineGone, held, 0, nullptr);
        ASSERT_NE(nullptr, releaser);
        ConvertCore::destroy(doomed);
        held->engineGone = true;
        const bool workerEnded = WaitForSingleObject(worker, 0) == WAIT_OBJECT_0;
        EXPECT_TRUE(workerEnded) << "the engine was freed while its worker still ran";
        WaitForSingleObject(releaser, INFINITE);
        CloseHandle(releaser);
        CloseHandle(worker);
        if (workerEnded) {
            CloseHandle(held->asked);
            CloseHandle(held->release);
            delete held;
        }
    }, kDeadlineMs, "destruction");
}

// An engine whose one conversion waits for the test, and which logs when its own part goes.
class LoggingEngine : public ConvertCore {
public:
    LoggingEngine(ImagePreset* presetToUse, std::vector<std::string>& log, HANDLE begun, HANDLE release)
        : ConvertCore(presetToUse), log_(log), begun_(begun), release_(release) {}
    ~LoggingEngine() override { log_.push_back("subclass destroyed"); }
    bool convert(const std::wstring&, const std::wstring&) override {
        SetEvent(begun_);
        WaitForSingleObject(release_, INFINITE);
        log_.push_back("conversion ended");
        return true;
    }
    void onRunEnd() override { log_.push_back("run ended"); }

private:
    std::vector<std::string>& log_;
    HANDLE begun_;
    HANDLE release_;
};

DWORD WINAPI setAfterAWhile(LPVOID event) {
    Sleep(300);
    SetEvent(static_cast<HANDLE>(event));
    return 0;
}

TEST(RunLoopLifetime, AnEngineEndsOnlyAfterItsWorkersLastCallIntoIt) {
    runWithDeadline([&] {
        CImageConverter_PNG_ICO preset;
        TempDir out;
        std::vector<std::string> log;
        HANDLE begun = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        LoggingEngine* engine = new LoggingEngine(&preset, log, begun, release);
        engine->outputFolder = out.path();
        engine->addJob(L"C:\\pictures\\large.png");
        ASSERT_TRUE(engine->start());
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(begun, 10000));
        HANDLE releaser = CreateThread(nullptr, 0, setAfterAWhile, release, 0, nullptr);
        ConvertCore::destroy(engine);
        EXPECT_EQ((std::vector<std::string>{"conversion ended", "run ended", "subclass destroyed"}), log);
        WaitForSingleObject(releaser, INFINITE);
        CloseHandle(releaser);
        CloseHandle(begun);
        CloseHandle(release);
    }, kDeadlineMs, "engine lifetime");
}

// A wait on the old worker that fails says nothing of whether it ended: nothing may replace it.
TEST_F(RunLoop, AFailedWaitForTheOldWorkerRefusesStartAndClear) {
    HANDLE const unwaitable = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0xDEAD0));
    addJobs({L"a.png"});
    engine.workerThread = unwaitable;
    EXPECT_FALSE(engine.start());
    EXPECT_EQ(unwaitable, engine.workerThread);
    EXPECT_EQ(Idle, engine.runState.load());
    EXPECT_FALSE(engine.clearJobs());
    EXPECT_EQ(1, engine.getJobCount());
    engine.workerThread = nullptr;
}

TEST(RunLoopStart, AWorkerThatCannotBeCreatedLeavesTheEngineIdle) {
    CImageConverter_PNG_ICO preset;
    FakeEngine engine(&preset);
    engine.failStart = true;
    engine.addJob(L"C:\\a.png");
    EXPECT_FALSE(engine.start());
    EXPECT_EQ(Idle, engine.runState.load());
    EXPECT_EQ(nullptr, engine.workerThread);
}

TEST_F(RunLoop, ThousandJobsCompleteOrStopFiftyTimesInARow) {
    runWithDeadline([&] {
        for (int i = 0; i < 1000; ++i)
            engine.addJob(in.file(std::to_wstring(i) + L".png").c_str());
        for (int i = 0; i < 1000; ++i)
            engine.failIndices.insert(i); // nothing is written, so every run converts every job it reaches
        for (int run = 0; run < 50; ++run) {
            const size_t convertedBefore = engine.convertedDests().size();
            const auto convertedThisRun = [&] { return engine.convertedDests().size() - convertedBefore; };
            ASSERT_TRUE(engine.start());
            const bool stopThisRun = run % 2 == 1;
            if (stopThisRun) {
                wintest::waitUntil([&] { return convertedThisRun() > 0 || engine.runState != Running; }, 5000);
                RunState running = Running;
                engine.runState.compare_exchange_strong(running, StopRequested);
            }
            ASSERT_TRUE(engine.waitForWorker(20000)) << "run " << run << " did not end";
            const RunState state = engine.runState;
            if (stopThisRun)
                EXPECT_TRUE(state == Stopped || (state == Completed && convertedThisRun() == 1000)) << "run " << run;
            else
                EXPECT_EQ(Completed, state) << "run " << run;
        }
    }, 120000, "1000 jobs x 50 runs");
}

} // namespace

namespace {

bool startsWith(const std::string& bytes, const std::string& prefix) {
    return bytes.compare(0, prefix.size(), prefix) == 0;
}

const std::string kPngSignature("\x89PNG\r\n\x1a\n", 8);
const std::string kIconHeader("\0\0\1\0", 4);

TEST(RunLoopRealLibrary, ABatchOfRealPicturesIsWritten) {
    runWithDeadline([&] {
        ASSERT_EQ(LibraryLoad::Loaded, loadConversionLibrary(wintest::distFolder()));
        CImageConverter_PNG_ICO preset;
        TempDir in;
        TempDir out;
        std::string picture;
        ASSERT_TRUE(wintest::readFile(wintest::sourceTreeFile(L"tests/imagelib/png/rgba8.png"), picture));
        ASSERT_TRUE(wintest::writeFile(in.file(L"photo.png"), picture));
        ASSERT_TRUE(wintest::writeFile(in.file(L"UPPER.PNG"), picture));
        ASSERT_TRUE(wintest::writeFile(in.file(L"broken.png"), "not a picture"));

        EnginePtr owned(new ConvertCore(&preset));
        ConvertCore& core = *owned;
        core.outputFolder = out.path();
        for (const wchar_t* name : {L"photo.png", L"UPPER.PNG", L"broken.png"})
            core.addJob(in.file(name).c_str());
        ASSERT_TRUE(startAndWaitForEnd(core));
        ASSERT_TRUE(core.waitForWorker(30000));
        EXPECT_EQ(Completed, core.runState.load());
        EXPECT_EQ(2, core.getCompletedCount());

        std::string icon, png;
        ASSERT_TRUE(wintest::readFile(out.file(L"photo.ico"), icon));
        EXPECT_TRUE(startsWith(icon, kIconHeader));
        ASSERT_TRUE(wintest::readFile(out.file(L"UPPER.png"), png));
        EXPECT_EQ(picture, png) << "a PNG source is copied unchanged";
        EXPECT_FALSE(wintest::fileExists(out.file(L"broken.ico"))) << "a failed conversion leaves nothing";

        // The icon converts back: an icon source becomes a PNG.
        TempDir again;
        EnginePtr ownedBack(new ConvertCore(&preset));
        ConvertCore& back = *ownedBack;
        back.outputFolder = again.path();
        back.addJob(out.file(L"photo.ico").c_str());
        ASSERT_TRUE(startAndWaitForEnd(back));
        ASSERT_TRUE(back.waitForWorker(30000));
        ASSERT_TRUE(wintest::readFile(again.file(L"photo.png"), png));
        EXPECT_EQ(1, back.getCompletedCount());
        EXPECT_TRUE(startsWith(png, kPngSignature));
    }, kDeadlineMs, "real batch");
}

} // namespace
