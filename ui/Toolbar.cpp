// The four owner-drawn toolbar buttons: a centred picture on the button face, and a tooltip each.
#include "Toolbar.h"

#include <commctrl.h>
#include <objidl.h>
#include <gdiplus.h>

#include "app/AppGlobals.h"
#include "app/DisplayScale.h"
#include "app/ImageCache.h"
#include "engine/ImagePreset.h"

// The tooltip control rejects a record whose size it does not know; the full layout, with the
// trailing reserved pointer, is what version 6 of the control expects: 48 bytes in the 32-bit
// program, 72 in the 64-bit one.
static_assert(sizeof(TOOLINFOW) == (sizeof(void*) == 4 ? 48 : 72), "TOOLINFOW must be the full layout");

void createToolTips() {
    // TTS_ALWAYSTIP: the tips show even while another window is active.
    g_app.hToolTip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, g_app.hMainDlg, nullptr,
                                     g_app.hInstance, nullptr);
    if (!g_app.hToolTip)
        return;

    for (const ToolButtonDef* button = g_toolButtons; button->controlId != 0; ++button) {
        HWND control = GetDlgItem(g_app.hMainDlg, static_cast<int>(button->controlId));
        if (!control || !IsWindow(control))
            continue;
        TOOLINFOW tool = {};
        tool.cbSize = sizeof(tool);
        // The control subclasses each button and watches the mouse itself: the dialog relays nothing.
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = g_app.hMainDlg;
        tool.uId = reinterpret_cast<UINT_PTR>(control);
        tool.lpszText = const_cast<LPWSTR>(button->tipText);
        SendMessageW(g_app.hToolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

int pressedShiftForDpi(UINT dpi) {
    // Rounded half up; never less than the one pixel of 100 %.
    const int shift = static_cast<int>((dpi + kDefaultDpi / 2) / kDefaultDpi);
    return shift > 1 ? shift : 1;
}

void drawToolButton(const DRAWITEMSTRUCT* item) {
    if (!item || item->CtlType != ODT_BUTTON)
        return;
    // find, not operator[]: painting must never add an entry for a button without a picture.
    const auto found = g_buttonImages.find(item->CtlID);
    if (found == g_buttonImages.end() || !found->second)
        return;
    Gdiplus::Image* image = found->second;

    // A picture that failed to decode measures 0 x 0 and then simply draws nothing.
    const int width = static_cast<int>(image->GetWidth());
    const int height = static_cast<int>(image->GetHeight());
    const RECT& rect = item->rcItem;
    int left = (rect.right - width - rect.left) / 2;
    int top = (rect.bottom - height - rect.top) / 2;
    // The pressed look moves the picture right and down, one pixel at 100 % and round(DPI / 96)
    // above, on every selection change and while selected.
    if ((item->itemAction & ODA_SELECT) || (item->itemState & ODS_SELECTED)) {
        const int shift = pressedShiftForDpi(windowDpi(item->hwndItem));
        left += shift;
        top += shift;
    }

    FillRect(item->hDC, &rect, GetSysColorBrush(COLOR_BTNFACE));
    Gdiplus::Graphics graphics(item->hDC);
    // Natural size, never scaled: the cache holds the set drawn for this display scale.
    graphics.DrawImage(image, rect.left + left, rect.top + top, width, height);
}
