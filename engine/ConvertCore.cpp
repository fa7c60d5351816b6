// The engine's job table: construction, adding and clearing jobs, and the reads that the
// user-interface thread makes while a run goes on.
#include "ConvertCore.h"

#include "ImagePreset.h"
#include "OutputNaming.h"

ConvertCore::ConvertCore(ImagePreset* presetToUse) : preset(presetToUse) {
    // Auto-reset and signalled: one wait takes the lock, one SetEvent gives it back.
    lockEvent = CreateEventW(nullptr, FALSE, TRUE, nullptr);
}

ConvertCore::~ConvertCore() {
    preset = nullptr;
    deleteJobs();
    if (lockEvent)
        CloseHandle(lockEvent);
}

void ConvertCore::destroy(ConvertCore* core) {
    if (!core)
        return;
    // Before any destructor runs: the worker calls convert and onRunEnd, which a subclass may
    // answer. A worker whose end cannot be seen may still use the engine, so it is left alive.
    if (!core->waitForWorker(INFINITE))
        return;
    delete core;
}

bool ConvertCore::isReady() {
    return lockEvent != nullptr;
}

bool ConvertCore::clearJobs() {
    // A worker left over from a stopped run may still read the table.
    if (!waitForWorker(INFINITE))
        return false;
    lock();
    deleteJobs();
    currentIndex = -1;
    unlock();
    return true;
}

void ConvertCore::deleteJobs() {
    for (ConvertJob* job : jobs)
        delete job;
    jobs.clear();
    jobsByPath.clear();
}

bool ConvertCore::hasJob(const wchar_t* path) {
    return jobsByPath.count(std::wstring(path)) != 0;
}

bool ConvertCore::addJob(const wchar_t* path) {
    if (hasJob(path))
        return false;
    lock();
    ConvertJob* job = new ConvertJob;
    job->index = static_cast<int32_t>(jobs.size());
    job->sourcePath = path;
    jobs.push_back(job);
    jobsByPath[job->sourcePath] = job;
    unlock();
    return true;
}

int ConvertCore::getJobCount() const {
    return static_cast<int>(jobs.size());
}

void ConvertCore::lock() {
    WaitForSingleObject(lockEvent, INFINITE);
}

void ConvertCore::unlock() {
    SetEvent(lockEvent);
}

const ConvertJob* ConvertCore::getJob(int i) const {
    return jobs[i];
}

bool ConvertCore::getCurrentJob(ConvertJob& out) {
    lock();
    const bool found = currentIndex >= 0 && currentIndex < getJobCount();
    if (found)
        out = *jobs[currentIndex];
    unlock();
    return found;
}

int ConvertCore::getCompletedCount() {
    lock();
    int completed = 0;
    for (const ConvertJob* job : jobs) {
        if (job->progress == kProgressDone)
            ++completed;
    }
    unlock();
    return completed;
}

void ConvertCore::setJobProgress(int i, int value) {
    if (i < 0 || i >= getJobCount())
        return;
    lock();
    jobs[i]->progress = value < 0 ? 0 : (value > kProgressDone ? kProgressDone : value);
    unlock();
}

std::wstring ConvertCore::makeDestPath(const std::wstring& source, const std::wstring& folder) const {
    return formDestPath(*preset, source, folder);
}
