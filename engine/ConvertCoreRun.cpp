// The worker thread and its run loop: one job after another, each asked about before an
// existing file is replaced, until the table ends or a stop is requested.
#include "ConversionLibrary.h"
#include "ConvertCore.h"
#include "PathNames.h"

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

} // namespace

bool ConvertCore::start() {
    // A worker whose end cannot be seen may still run: its handle must not be overwritten.
    if (!isReady() || !waitForWorker(INFINITE))
        return false;
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
    setJobProgress(i, isDestinationInPlace(source, dest) ? kProgressDone : 0);
}

// In place means as the user wanted it: converted by this job, or an existing file kept
// unconverted. A failed conversion over an existing file leaves that file, but the job failed.
bool ConvertCore::isDestinationInPlace(const std::wstring& source, const std::wstring& dest) {
    // Windows finds a.PNG under the name a.png: such a destination is the source itself.
    if (sameFileKey(dest) == sameFileKey(source))
        return true;
    if (!shouldConvert(dest))
        return isExistingFile(dest);
    trace("runProc : convert\n");
    return convert(source, dest);
}

// Called without the lock: the callback may take a snapshot of the job in hand. A file we may
// not read must still be asked about before it is replaced.
bool ConvertCore::shouldConvert(const std::wstring& dest) {
    if (!isExistingFile(dest))
        return true;
    if (!overwriteCallback)
        return false;
    return overwriteCallback(kQuestionReplace, callbackUserData) == kAnswerReplace;
}

bool ConvertCore::convert(const std::wstring& source, const std::wstring& dest) {
    trace("----- convert -----\n");
    trace("----------\n");
    const ConvertOneFileFunction convertOneFile = conversionFunction();
    // The library writes a plain destination only up to the plain form's limit.
    return convertOneFile &&
           convertOneFile(extendedPath(source).c_str(), extendedPath(dest).c_str(), option.c_str()) == ERCI_OK;
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
