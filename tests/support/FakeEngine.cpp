#include "FakeEngine.h"

#include "WinTest.h"

namespace {
// The engine whose question is held; the callback type carries no engine of its own.
std::atomic<FakeEngine*> g_questionEngine{nullptr};
} // namespace

FakeEngine::FakeEngine(ImagePreset* presetToUse)
    : ConvertCore(presetToUse),
      jobHeld_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      jobRelease_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      questionHeld_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      questionRelease_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    InitializeCriticalSection(&recordGuard_);
}

FakeEngine::~FakeEngine() {
    releaseJob();
    releaseQuestion();
    waitForWorker(INFINITE);
    FakeEngine* self = this;
    g_questionEngine.compare_exchange_strong(self, nullptr);
    CloseHandle(jobHeld_);
    CloseHandle(jobRelease_);
    CloseHandle(questionHeld_);
    CloseHandle(questionRelease_);
    DeleteCriticalSection(&recordGuard_);
}

bool FakeEngine::start() {
    ++startCalls;
    workerAliveAtStart = isWorkerAlive();
    if (heldQuestion >= 0) {
        windowCallback_ = overwriteCallback;
        overwriteCallback = &FakeEngine::heldQuestionCallback;
        g_questionEngine = this;
    }
    return ConvertCore::start();
}

HANDLE FakeEngine::createWorkerThread() {
    return failStart ? nullptr : ConvertCore::createWorkerThread();
}

int FakeEngine::heldQuestionCallback(int question, void* userData) {
    FakeEngine* self = g_questionEngine;
    if (!self || !self->windowCallback_)
        return 0;
    if (self->currentIndex == self->heldQuestion) {
        SetEvent(self->questionHeld_);
        WaitForSingleObject(self->questionRelease_, INFINITE);
        const int answer = self->windowCallback_(question, userData);
        self->heldQuestionAnswer = answer;
        return answer;
    }
    return self->windowCallback_(question, userData);
}

void FakeEngine::onRunEnd() {
    stateAtRunEnd = runState.load();
    ++runEndCalls;
}

bool FakeEngine::convert(const std::wstring& source, const std::wstring& dest) {
    const int index = currentIndex;
    if (WaitForSingleObject(lockEvent, 0) == WAIT_OBJECT_0)
        SetEvent(lockEvent);
    else
        lockFreeDuringConvert = false;
    if (index == heldJob) {
        SetEvent(jobHeld_);
        WaitForSingleObject(jobRelease_, INFINITE);
    }
    EnterCriticalSection(&recordGuard_);
    convertedDests_.push_back(dest);
    foldersSeen_.push_back(outputFolder);
    LeaveCriticalSection(&recordGuard_);
    return !failIndices.count(index) && wintest::writeFile(dest, outputBytes);
}

bool FakeEngine::waitJobHeld(DWORD timeoutMs) {
    return WaitForSingleObject(jobHeld_, timeoutMs) == WAIT_OBJECT_0;
}

bool FakeEngine::waitQuestionHeld(DWORD timeoutMs) {
    return WaitForSingleObject(questionHeld_, timeoutMs) == WAIT_OBJECT_0;
}

ConvertJob FakeEngine::jobAt(int i) {
    ConvertJob copy;
    lock();
    if (i >= 0 && i < getJobCount())
        copy = *getJob(i);
    unlock();
    return copy;
}

std::vector<std::wstring> FakeEngine::convertedDests() {
    EnterCriticalSection(&recordGuard_);
    std::vector<std::wstring> copy = convertedDests_;
    LeaveCriticalSection(&recordGuard_);
    return copy;
}

std::vector<std::wstring> FakeEngine::foldersSeenByConvert() {
    EnterCriticalSection(&recordGuard_);
    std::vector<std::wstring> copy = foldersSeen_;
    LeaveCriticalSection(&recordGuard_);
    return copy;
}
