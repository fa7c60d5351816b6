// An engine whose conversion the test controls, and a capture of the debugger output.
#pragma once

#include "ConvertCore.h"

#include <windows.h>

#include <atomic>
#include <set>
#include <string>
#include <vector>

// Converts by writing a small file, or nothing for the indices in failIndices; when blocking,
// each conversion signals `entered` and waits for `release`, so a test can act while a
// particular job is in hand without racing the worker.
class ScriptedEngine : public ConvertCore {
public:
    explicit ScriptedEngine(ImagePreset* preset);
    ~ScriptedEngine() override;

    bool convert(const std::wstring& source, const std::wstring& dest) override;
    void onRunEnd() override;

    // Lets the conversion that is waiting in `release` finish.
    void releaseOne() { SetEvent(release); }
    // Waits until a conversion has begun; false after timeoutMs.
    bool waitEntered(DWORD timeoutMs = 10000) { return WaitForSingleObject(entered, timeoutMs) == WAIT_OBJECT_0; }

    bool blocking = false;
    bool writeOutput = true;
    std::set<int> failIndices;
    HANDLE entered;
    HANDLE release;
    std::atomic<int> convertCalls{0};
    std::atomic<int> runEndCalls{0};
    std::atomic<int> stateAtRunEnd{-1};
    std::atomic<bool> lockFreeDuringConvert{true};
    std::vector<std::wstring> convertedDests;
};

// Everything the process writes with OutputDebugStringA while the capture lives.
class DebugOutputCapture {
public:
    DebugOutputCapture();
    ~DebugOutputCapture();
    std::vector<std::string> lines();

private:
    static LONG CALLBACK onException(EXCEPTION_POINTERS* info);
    PVOID handler_;
};

// A whole run, waited for with a deadline: true when the engine reached a final state.
bool startAndWaitForEnd(ConvertCore& core, DWORD timeoutMs = 20000);
