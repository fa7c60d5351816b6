// Holds off a window's redraw while it lives, then paints it once.
#pragma once

#include <windows.h>

// A visible list box otherwise repaints for every item added, deleted or selected, which costs
// far more than the change itself.
class RedrawHeld {
public:
    explicit RedrawHeld(HWND list) : list_(list) {
        if (list_)
            SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    }
    ~RedrawHeld() {
        if (!list_)
            return;
        SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list_, nullptr, TRUE);
    }
    RedrawHeld(const RedrawHeld&) = delete;
    RedrawHeld& operator=(const RedrawHeld&) = delete;

private:
    HWND list_;
};
