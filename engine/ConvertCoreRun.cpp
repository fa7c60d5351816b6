// The worker thread and its run loop: one job after another, each asked about before an
// existing file is replaced, until the table ends or a stop is requested.
#include "ConvertCore.h"

#include <TarnelFreeImage.h>

#include <cstdio>

namespace {

const int kTraceBufferSize = 64;
const int kStopPollMs = 100;
const int kStopWaitLimitMs = 1000;

void trace(const char* text) {
    OutputDebugStringA(text);
}

void traceValue(const char* format, long value) {
    char line[kTraceBufferSize];
    snprintf(line, sizeof line, format, value);
    OutputDebugStringA(line);
}

// A destination is in place when a file (not a folder) stands at its path, whether or not we
// may read it: an unreadable file must still be asked about before it is replaced.
bool fileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

bool ConvertCore::start() {
    if (!isReady())
        return false;
    waitForWorker(INFINITE);
    runState = Running;
    workerThread = createWorkerThread();
    if (!workerThread) {
        runState = Idle;
        return false;
    }
    return true;
}

HANDLE ConvertCore::createWorkerThread() {
    return CreateThread(nullptr, 0, &ConvertCore::threadProc, this, 0, nullptr);
}

DWORD WINAPI ConvertCore::threadProc(LPVOID parameter) {
    if (parameter)
        static_cast<ConvertCore*>(parameter)->runProc();
    return 0;
}

void ConvertCore::runProc() {
    const int count = getJobCount();
    for (int i = 0; i < count && runState == Running; ++i)
        runJob(i);

    RunState expected = Running;
    if (!runState.compare_exchange_strong(expected, Completed))
        runState = Stopped;
    onRunEnd();
    // The thread handle stays with the engine, which closes it once it has seen the thread end.
    lock();
    currentIndex = -1;
    unlock();
}

void ConvertCore::runJob(int i) {
    traceValue("----- runProc : %ld -----\n", i);

    lock();
    const std::wstring source = jobs[i]->sourcePath;
    const std::wstring dest = makeDestPath(source, outputFolder);
    jobs[i]->destPath = dest;
    currentIndex = i;
    unlock();

    setJobProgress(i, 0);
    if (dest == source) {
        setJobProgress(i, kProgressDone);
        return;
    }
    if (shouldConvert(dest)) {
        trace("runProc : convert\n");
        convert(source, dest);
    }
    setJobProgress(i, fileExists(dest) ? kProgressDone : 0);
}

// Called without the lock: the callback may take a snapshot of the job in hand.
bool ConvertCore::shouldConvert(const std::wstring& dest) {
    if (!fileExists(dest))
        return true;
    if (!overwriteCallback)
        return false;
    return overwriteCallback(kQuestionReplace, callbackUserData) == kAnswerReplace;
}

bool ConvertCore::convert(const std::wstring& source, const std::wstring& dest) {
    trace("----- convert -----\n");
    lock();
    traceValue("duration:%ld\n", 0);
    if (currentIndex >= 0 && currentIndex < getJobCount())
        jobs[currentIndex]->duration = 0;
    trace("----------\n");
    unlock();
    gf_convertImage_OneFile(source.c_str(), dest.c_str(), option.c_str());
    return true;
}

void ConvertCore::onRunEnd() {}

void ConvertCore::requestStop() {
    RunState expected = Running;
    runState.compare_exchange_strong(expected, StopRequested);
}

void ConvertCore::stopAndWait() {
    requestStop();
    Sleep(kStopPollMs);
    for (int waited = kStopPollMs; waited < kStopWaitLimitMs; waited += kStopPollMs) {
        const RunState state = runState;
        if (state == Stopped || state == Completed)
            break;
        Sleep(kStopPollMs);
    }
}

bool ConvertCore::isWorkerAlive() const {
    return workerThread && WaitForSingleObject(workerThread, 0) == WAIT_TIMEOUT;
}

bool ConvertCore::waitForWorker(DWORD timeoutMs) {
    if (!workerThread)
        return true;
    if (WaitForSingleObject(workerThread, timeoutMs) != WAIT_OBJECT_0)
        return false;
    CloseHandle(workerThread);
    workerThread = nullptr;
    return true;
}
