// A capture of the debugger output, and a run waited for with a deadline.
#pragma once

#include "ConvertCore.h"

#include <windows.h>

#include <string>
#include <vector>

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
