// The display scale of windows, from the newest interface this Windows has.
#include "DisplayScale.h"

#include "ScopedHandle.h"
#include "SystemFunction.h"

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);

} // namespace

UINT systemDpi() {
    ScreenDc screen(GetDC(nullptr));
    const int dpi = screen.valid() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

UINT windowDpi(HWND hwnd) {
    static const GetDpiForWindowFn getDpiForWindow = systemFunction<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
    const UINT dpi = hwnd && getDpiForWindow ? getDpiForWindow(hwnd) : 0;
    return dpi ? dpi : systemDpi();
}

int systemMetricForDpi(int index, UINT dpi) {
    static const GetSystemMetricsForDpiFn getSystemMetricsForDpi =
        systemFunction<GetSystemMetricsForDpiFn>(L"user32.dll", "GetSystemMetricsForDpi");
    // Without it, Windows has one scale for every window, and GetSystemMetrics answers for it.
    return getSystemMetricsForDpi ? getSystemMetricsForDpi(index, dpi) : GetSystemMetrics(index);
}

void takeSuggestedRect(HWND hwnd, LPARAM suggestedRect) {
    const RECT* rect = reinterpret_cast<const RECT*>(suggestedRect);
    if (!rect)
        return;
    SetWindowPos(hwnd, nullptr, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}
