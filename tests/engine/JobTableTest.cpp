// The job table: what Convert fills, what the progress window reads while a run goes on.
#include "ConvertCore.h"
#include "ImagePreset.h"

#include <gtest/gtest.h>

#include <memory>

#include <functional>

namespace {

// The lock must be free again after every operation that takes it; a leaked lock would hang
// the next caller, so the check waits a bounded time instead.
bool lockIsFree(ConvertCore& core) {
    if (WaitForSingleObject(core.lockEvent, 2000) != WAIT_OBJECT_0)
        return false;
    SetEvent(core.lockEvent);
    return true;
}

// What a lock is for: while one thread holds it, another that asks for it waits until it is
// given back. An operation run on a second thread while this one holds the lock must not end
// before the unlock, and must end after it.
bool waitsForTheLock(ConvertCore& core, const std::function<void()>& operation) {
    struct Call {
        const std::function<void()>* operation;
        static DWORD WINAPI run(LPVOID self) {
            (*static_cast<Call*>(self)->operation)();
            return 0;
        }
    } call{&operation};
    core.lock();
    HANDLE other = CreateThread(nullptr, 0, &Call::run, &call, 0, nullptr);
    if (!other) {
        core.unlock();
        return false;
    }
    const bool waited = WaitForSingleObject(other, 200) == WAIT_TIMEOUT;
    core.unlock();
    const bool endedAfter = WaitForSingleObject(other, 5000) == WAIT_OBJECT_0;
    CloseHandle(other);
    return waited && endedAfter;
}

class JobTable : public testing::Test {
protected:
    CImageConverter_PNG_ICO preset;
    std::unique_ptr<ConvertCore, ConvertCore::Deleter> owned{new ConvertCore(&preset)};
    ConvertCore& core = *owned;
};

TEST_F(JobTable, NewEngineIsReadyIdleAndEmpty) {
    EXPECT_TRUE(core.isReady());
    EXPECT_EQ(Idle, core.runState.load());
    EXPECT_EQ(0, core.getJobCount());
    EXPECT_EQ(-1, core.currentIndex);
    EXPECT_EQ(nullptr, core.workerThread);
    EXPECT_TRUE(core.outputFolder.empty());
    EXPECT_TRUE(core.option.empty());
    EXPECT_EQ(&preset, core.preset);
}

TEST_F(JobTable, DuplicatePathsAreRefusedButCaseMatters) {
    EXPECT_TRUE(core.addJob(L"C:\\in\\a.png"));
    EXPECT_FALSE(core.addJob(L"C:\\in\\a.png"));
    EXPECT_EQ(1, core.getJobCount());
    EXPECT_TRUE(core.addJob(L"C:\\in\\A.png"));
    EXPECT_TRUE(core.addJob(L"c:\\IN\\a.PNG"));
    EXPECT_TRUE(core.addJob(L"C:/in/a.png"));
    EXPECT_EQ(4, core.getJobCount());
    EXPECT_TRUE(core.hasJob(L"C:\\in\\A.png"));
    EXPECT_FALSE(core.hasJob(L"C:\\IN\\A.PNG"));
}

TEST_F(JobTable, NewJobsAreNumberedFromZeroAfterAClear) {
    core.addJob(L"C:\\old1.png");
    core.addJob(L"C:\\old2.png");
    core.runState = Completed;
    EXPECT_TRUE(core.clearJobs());
    EXPECT_EQ(0, core.getJobCount());
    EXPECT_EQ(Completed, core.runState.load()) << "clearing leaves the state of the last run";
    EXPECT_FALSE(core.hasJob(L"C:\\old1.png"));

    core.addJob(L"C:\\a.png");
    core.addJob(L"C:\\b.png");
    core.addJob(L"C:\\old1.png");
    core.lock();
    const ConvertJob* third = core.getJob(2);
    EXPECT_EQ(2, third->index);
    EXPECT_EQ(L"C:\\old1.png", third->sourcePath);
    EXPECT_TRUE(third->destPath.empty());
    EXPECT_EQ(0, third->progress);
    core.unlock();
}

TEST_F(JobTable, ProgressIsClampedAndOutOfRangeIndicesIgnored) {
    core.addJob(L"C:\\a.png");
    core.addJob(L"C:\\b.png");
    core.setJobProgress(0, 150);
    core.setJobProgress(1, -5);
    core.setJobProgress(-1, 100);
    core.setJobProgress(2, 100);
    core.lock();
    EXPECT_EQ(100, core.getJob(0)->progress);
    EXPECT_EQ(0, core.getJob(1)->progress);
    core.unlock();
    EXPECT_EQ(1, core.getCompletedCount());
    core.setJobProgress(1, 100);
    EXPECT_EQ(2, core.getCompletedCount());
    core.clearJobs();
    EXPECT_EQ(0, core.getCompletedCount());
}

TEST_F(JobTable, CurrentJobSnapshotOnlyWhileAJobIsInHand) {
    ConvertJob out;
    out.sourcePath = L"untouched";
    EXPECT_FALSE(core.getCurrentJob(out));
    EXPECT_EQ(L"untouched", out.sourcePath);

    core.addJob(L"C:\\a.png");
    core.addJob(L"C:\\b.png");
    core.currentIndex = 1;
    core.setJobProgress(1, 100);
    ASSERT_TRUE(core.getCurrentJob(out));
    EXPECT_EQ(1, out.index);
    EXPECT_EQ(L"C:\\b.png", out.sourcePath);
    EXPECT_EQ(100, out.progress);

    core.clearJobs();
    EXPECT_EQ(-1, core.currentIndex);
    out.sourcePath = L"untouched";
    EXPECT_FALSE(core.getCurrentJob(out));
    EXPECT_EQ(L"untouched", out.sourcePath);
}

TEST_F(JobTable, EveryOperationGivesTheLockBack) {
    ConvertJob out;
    const std::pair<const char*, std::function<void()>> operations[] = {
        {"addJob", [&] { core.addJob(L"C:\\a.png"); }},
        {"addJob duplicate", [&] { core.addJob(L"C:\\a.png"); }},
        {"getCurrentJob none", [&] { core.getCurrentJob(out); }},
        {"getCurrentJob", [&] { core.currentIndex = 0; core.getCurrentJob(out); }},
        {"getCompletedCount", [&] { core.getCompletedCount(); }},
        {"setJobProgress", [&] { core.setJobProgress(0, 100); }},
        {"setJobProgress outside", [&] { core.setJobProgress(5, 100); }},
        {"lock and unlock", [&] { core.lock(); core.unlock(); }},
        {"clearJobs", [&] { core.clearJobs(); }},
    };
    for (const auto& operation : operations) {
        operation.second();
        EXPECT_TRUE(lockIsFree(core)) << operation.first << " kept the lock";
    }
}

TEST_F(JobTable, EveryReadAndWriteOfTheWorkerWaitsWhileTheLockIsHeld) {
    core.addJob(L"C:\\a.png");
    core.currentIndex = 0;
    ConvertJob out;
    const std::pair<const char*, std::function<void()>> operations[] = {
        {"lock", [&] { core.lock(); core.unlock(); }},
        {"getCurrentJob", [&] { core.getCurrentJob(out); }},
        {"getCompletedCount", [&] { core.getCompletedCount(); }},
        {"setJobProgress", [&] { core.setJobProgress(0, 50); }},
        {"addJob", [&] { core.addJob(L"C:\\b.png"); }},
    };
    for (const auto& operation : operations)
        EXPECT_TRUE(waitsForTheLock(core, operation.second)) << operation.first << " did not wait for the lock";
}

TEST_F(JobTable, MakeDestPathUsesThePreset) {
    EXPECT_EQ(L"D:\\out\\photo.ico", core.makeDestPath(L"C:\\in\\photo.png", L"D:\\out"));
    EXPECT_EQ(L"D:\\out\\icon.png", core.makeDestPath(L"C:\\in\\icon.ico", L"D:\\out"));
}

} // namespace
