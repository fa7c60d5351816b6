// Reading what was painted pixel by pixel: a 32-bit canvas, a copy of what the screen shows,
// and a toolbar button as it must look.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>
#include <vector>

#include "app/ImageCache.h"

namespace mainwindow {

const uint32_t kUntouched = 0x00123456; // a colour no button face or picture uses here

class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<uint32_t*>(bits);
        previous_ = SelectObject(dc_, bitmap_);
        for (int i = 0; i < width * height; ++i)
            bits_[i] = kUntouched;
    }
    ~Canvas() {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_; }
    uint32_t pixel(int x, int y) const {
        GdiFlush();
        return bits_[y * width_ + x] & 0x00FFFFFF;
    }
    // The smallest rectangle around every pixel of that colour; empty when there is none.
    RECT boundsOf(uint32_t colour) const {
        RECT bounds = {width_, height_, 0, 0};
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                if (pixel(x, y) != colour)
                    continue;
                bounds.left = x < bounds.left ? x : bounds.left;
                bounds.top = y < bounds.top ? y : bounds.top;
                bounds.right = x + 1 > bounds.right ? x + 1 : bounds.right;
                bounds.bottom = y + 1 > bounds.bottom ? y + 1 : bounds.bottom;
            }
        }
        return bounds;
    }
    int countOf(uint32_t colour) const {
        int count = 0;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                count += pixel(x, y) == colour;
        return count;
    }
    std::vector<uint32_t> copy() const {
        GdiFlush();
        return std::vector<uint32_t>(bits_, bits_ + width_ * height_);
    }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    uint32_t* bits_ = nullptr;
};

// A "PNG" resource of this test executable, which carries the program's resources, decoded as
// the image cache decodes it; null when there is no such resource.
inline Gdiplus::Image* decodePicture(UINT id) {
    HINSTANCE module = GetModuleHandleW(nullptr);
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
    return resource ? createImageFromResource(resource, module) : nullptr;
}

// What the screen shows from that point on, as much as the canvas holds.
inline void captureScreen(POINT origin, Canvas& canvas) {
    HDC screen = GetDC(nullptr);
    BitBlt(canvas.dc(), 0, 0, canvas.width(), canvas.height(), screen, origin.x, origin.y, SRCCOPY);
    ReleaseDC(nullptr, screen);
}

// The client area of a window (of any process) as the screen shows it, on a canvas its size.
inline void captureClientArea(HWND window, Canvas& canvas) {
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    captureScreen(origin, canvas);
}

// A toolbar button at rest, as its painter must draw it on a canvas of the button's size: the
// face, and the picture centred at its natural size.
inline void paintRestingButton(Canvas& canvas, Gdiplus::Image& picture) {
    RECT face = {0, 0, canvas.width(), canvas.height()};
    FillRect(canvas.dc(), &face, GetSysColorBrush(COLOR_BTNFACE));
    const int width = static_cast<int>(picture.GetWidth());
    const int height = static_cast<int>(picture.GetHeight());
    Gdiplus::Graphics graphics(canvas.dc());
    graphics.DrawImage(&picture, (face.right - width) / 2, (face.bottom - height) / 2, width, height);
}

// The edge length of an icon's image in pixels; 0 for no icon.
inline int iconSide(HICON icon) {
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info))
        return 0;
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

// The icon drawn at its own size in the top-left corner of the canvas.
inline void drawIcon(Canvas& canvas, HICON icon) {
    DrawIconEx(canvas.dc(), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
}

} // namespace mainwindow
