// The conversion engine: a table of jobs, one per source file, run one after another on a
// worker thread. The user-interface thread fills the table, starts the run and polls it.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class ImagePreset;

enum RunState : int32_t {
    Idle = 0,
    Running = 1,
    StopRequested = 2,
    Stopped = 3,
    Completed = 4,
};

struct ConvertJob {
    int32_t index = 0;
    std::wstring sourcePath;
    std::wstring destPath; // empty until the worker reaches the job
    int32_t progress = 0; // 100 once the job ended with its destination in place, else 0
};

// Asked on the worker thread before an existing destination is replaced; kQuestionReplace is
// the only question. Only kAnswerReplace replaces the file; every other answer keeps it.
typedef int (*OverwriteCallback)(int question, void* userData);
const int kQuestionReplace = 1;
const int kAnswerReplace = 1;
const int kAnswerKeep = 0;

// A job's progress once it ended with its destination in place.
const int kProgressDone = 100;

class ConvertCore {
public:
    explicit ConvertCore(ImagePreset* preset);
    // Ends an engine once no worker of it runs (waiting for one still finishing its file), so
    // that no call of the worker reaches an object partly destroyed. The only way to end one.
    static void destroy(ConvertCore* core);
    struct Deleter {
        void operator()(ConvertCore* core) const { destroy(core); }
    };

    // False when the engine's lock could not be created: such an engine must not be used.
    virtual bool isReady();
    // Empties the table; waits first for a worker that is still alive. False, with the table
    // untouched, when that wait fails.
    virtual bool clearJobs();
    // Converts one file through the conversion library; runs on the worker thread. True only
    // when the library reports the destination written.
    virtual bool convert(const std::wstring& source, const std::wstring& dest);
    // Starts a run on a new worker thread, after waiting for the previous one to end. False
    // when that wait fails (nothing changes) or no worker could be created (the state is then
    // Idle again).
    virtual bool start();
    // Called by the worker once at the end of every run, after the final state is set.
    virtual void onRunEnd();

    bool hasJob(const wchar_t* path);
    bool addJob(const wchar_t* path);
    int getJobCount() const;

    void lock();
    void unlock();
    // The caller holds the lock and keeps no pointer past unlock.
    const ConvertJob* getJob(int i) const;
    // A copy of the job in hand; false (and out untouched) when there is none.
    bool getCurrentJob(ConvertJob& out);
    int getCompletedCount();
    // Stores value clamped to 0..100; an index outside the table changes nothing.
    void setJobProgress(int i, int value);

    std::wstring makeDestPath(const std::wstring& source, const std::wstring& folder) const;

    // Asks the worker to stop before its next job; a run that is not Running is left as it is.
    // Returns at once: for a caller that must not wait.
    void requestStop();
    // requestStop, then waits up to one second for the run to end.
    void stopAndWait();
    // True while a worker of this engine has not yet ended.
    bool isWorkerAlive() const;
    // Waits up to timeoutMs for the worker to end; true when no worker is left.
    bool waitForWorker(DWORD timeoutMs);

    static DWORD WINAPI threadProc(LPVOID parameter);
    void runProc();

    // Settings of the run, written by the user-interface thread while no worker runs.
    HANDLE lockEvent = nullptr;
    HANDLE workerThread = nullptr;
    std::wstring outputFolder;
    std::wstring option;
    ImagePreset* preset = nullptr;
    std::vector<ConvertJob*> jobs;
    std::map<std::wstring, ConvertJob*> jobsByPath;
    std::atomic<RunState> runState{Idle};
    int32_t currentIndex = -1;
    OverwriteCallback overwriteCallback = nullptr;
    void* callbackUserData = nullptr;

protected:
    // Through destroy() only. A subclass that must be destroyed directly (on the stack, say)
    // waits for the worker in its own destructor, before its own part goes.
    virtual ~ConvertCore();

    // Creates the worker thread; a separate step so that a failure to create one can be tried.
    virtual HANDLE createWorkerThread();

private:
    void deleteJobs();
    void runJob(int i);
    bool isDestinationInPlace(const std::wstring& source, const std::wstring& dest);
    bool shouldConvert(const std::wstring& dest);
};
