// An engine for tests of the windows: its conversion writes a small file or nothing, may hold
// one chosen job until the test lets it go, and its start may be made to fail. Everything a
// test waits for is an event, so no test races the worker with sleeps.
#pragma once

#include "ConvertCore.h"

#include <windows.h>

#include <atomic>
#include <set>
#include <string>
#include <vector>

class FakeEngine : public ConvertCore {
public:
    explicit FakeEngine(ImagePreset* presetToUse);
    // Lets every held job and question go first, so the worker can end before the table does.
    ~FakeEngine() override;

    bool convert(const std::wstring& source, const std::wstring& dest) override;
    bool start() override;
    void onRunEnd() override;

    // The conversion of job `index` signals and then waits until releaseJob(); -1 holds none.
    void holdJob(int index) { heldJob = index; }
    bool waitJobHeld(DWORD timeoutMs = 10000);
    void releaseJob() { SetEvent(jobRelease_); }

    // The overwrite question of job `index` waits, before it reaches the window's question,
    // until releaseQuestion(): as if the worker had just begun that job when the user acted.
    void holdQuestion(int index) { heldQuestion = index; }
    bool waitQuestionHeld(DWORD timeoutMs = 10000);
    void releaseQuestion() { SetEvent(questionRelease_); }

    // A snapshot of job i, taken under the lock.
    ConvertJob jobAt(int i);
    std::vector<std::wstring> convertedDests();
    std::vector<std::wstring> foldersSeenByConvert();

    // Sources whose job index is listed here convert to nothing and report it: the job fails.
    std::set<int> failIndices;
    // What a conversion writes into its destination.
    std::string outputBytes = "converted by the fake engine";
    bool failStart = false;
    std::atomic<int> heldJob{-1};
    std::atomic<int> heldQuestion{-1};
    std::atomic<int> heldQuestionAnswer{-1};
    std::atomic<int> startCalls{0};
    std::atomic<bool> workerAliveAtStart{false};
    std::atomic<int> runEndCalls{0};
    std::atomic<int> stateAtRunEnd{-1};
    // False once a conversion ran while the engine's lock was held.
    std::atomic<bool> lockFreeDuringConvert{true};

protected:
    HANDLE createWorkerThread() override;

private:
    static int heldQuestionCallback(int question, void* userData);

    OverwriteCallback windowCallback_ = nullptr;
    HANDLE jobHeld_;
    HANDLE jobRelease_;
    HANDLE questionHeld_;
    HANDLE questionRelease_;
    CRITICAL_SECTION recordGuard_;
    std::vector<std::wstring> convertedDests_;
    std::vector<std::wstring> foldersSeen_;
};
