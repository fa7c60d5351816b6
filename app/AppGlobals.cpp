// Start-up and shutdown of the process-wide state: GDI+, the state record and the preset.
#include "AppGlobals.h"

#include <objidl.h>
#include <gdiplus.h>

#include "ImageCache.h"
#include "engine/ImagePreset.h"

AppGlobals g_app;
ULONG_PTR g_gdiplusToken = 0;

bool appStartup() {
    Gdiplus::GdiplusStartupInput input; // version 1, no debug callback, background thread, external codecs
    // A failed start is not fatal: every image call then fails on its own and the buttons stay
    // unpainted. Only a token from a start that worked may be handed to the shutdown.
    if (Gdiplus::GdiplusStartup(&g_gdiplusToken, &input, nullptr) != Gdiplus::Ok)
        g_gdiplusToken = 0;

    g_app = AppGlobals();

    // The preset outlives every window and the engine that points at it, so it lives in static
    // storage rather than on the heap where nothing would ever free it.
    static CImageConverter_PNG_ICO preset;
    g_app.pPreset = &preset;
    return true;
}

void appShutdown() {
    // Images are GDI+ objects: they must all be gone before GDI+ is.
    releaseButtonImages();
    if (g_gdiplusToken) {
        Gdiplus::GdiplusShutdown(g_gdiplusToken);
        g_gdiplusToken = 0;
    }
}
