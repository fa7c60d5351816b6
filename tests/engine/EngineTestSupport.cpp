#include "EngineTestSupport.h"

#include "WinTest.h"

namespace {
CRITICAL_SECTION g_captureGuard;
std::string g_captured;
} // namespace

DebugOutputCapture::DebugOutputCapture() {
    InitializeCriticalSection(&g_captureGuard);
    g_captured.clear();
    handler_ = AddVectoredExceptionHandler(1, onException);
}

DebugOutputCapture::~DebugOutputCapture() {
    RemoveVectoredExceptionHandler(handler_);
    DeleteCriticalSection(&g_captureGuard);
}

// OutputDebugStringA raises DBG_PRINTEXCEPTION_C with the text's length and address; the
// handler sees it first on whichever thread wrote.
LONG CALLBACK DebugOutputCapture::onException(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2) {
        const size_t length = record->ExceptionInformation[0];
        const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        EnterCriticalSection(&g_captureGuard);
        g_captured.append(text, length && text[length - 1] == '\0' ? length - 1 : length);
        LeaveCriticalSection(&g_captureGuard);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

std::vector<std::string> DebugOutputCapture::lines() {
    EnterCriticalSection(&g_captureGuard);
    const std::string all = g_captured;
    LeaveCriticalSection(&g_captureGuard);
    std::vector<std::string> result;
    size_t start = 0;
    for (size_t end; (end = all.find('\n', start)) != std::string::npos; start = end + 1)
        result.push_back(all.substr(start, end - start + 1));
    return result;
}

bool startAndWaitForEnd(ConvertCore& core, DWORD timeoutMs) {
    if (!core.start())
        return false;
    return wintest::waitUntil(
        [&] {
            const RunState state = core.runState;
            return state == Completed || state == Stopped;
        },
        timeoutMs);
}
