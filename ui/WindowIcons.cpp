// The application icon at the sizes of the window's display scale, never a smaller entry
// stretched: a 24-pixel small icon at 150 % is made from the 32-pixel entry, scaled down.
#include "WindowIcons.h"

#include "app/AppGlobals.h"
#include "app/DisplayScale.h"
#include "app/ScopedHandle.h"
#include "app/SystemFunction.h"
#include "res/resource.h"

namespace {

// The icons the window shows; the ones they replace are destroyed only once the window no
// longer shows them.
OwnedIcon g_bigIcon(nullptr);
OwnedIcon g_smallIcon(nullptr);

using LoadIconWithScaleDownFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);

// Version 6 of the common controls scales down from the next larger entry; where it is missing,
// LoadImage picks the nearest entry and stretches it.
HICON loadAppIcon(int size) {
    static const LoadIconWithScaleDownFn loadIconWithScaleDown =
        systemFunction<LoadIconWithScaleDownFn>(L"comctl32.dll", "LoadIconWithScaleDown");
    HICON icon = nullptr;
    if (loadIconWithScaleDown &&
        SUCCEEDED(loadIconWithScaleDown(g_app.hInstance, MAKEINTRESOURCEW(IDI_APP), size, size, &icon)) && icon)
        return icon;
    return static_cast<HICON>(
        LoadImageW(g_app.hInstance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

void showIcon(HWND hwnd, WPARAM which, HICON icon, OwnedIcon& owner) {
    SendMessageW(hwnd, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
    owner.reset(icon);
}

} // namespace

void setWindowIcons(HWND hwnd, UINT dpi) {
    showIcon(hwnd, ICON_BIG, loadAppIcon(systemMetricForDpi(SM_CXICON, dpi)), g_bigIcon);
    showIcon(hwnd, ICON_SMALL, loadAppIcon(systemMetricForDpi(SM_CXSMICON, dpi)), g_smallIcon);
    g_app.hAppIcon = g_bigIcon.get();
}
