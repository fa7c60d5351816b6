// The toolbar pictures, decoded from the program's own "PNG" resources and kept by the id of
// the button that shows them: one set of four, the one made for the main window's display
// scale. Used on the user-interface thread only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <map>

namespace Gdiplus {
class Image;
}

extern std::map<uint32_t, Gdiplus::Image*> g_buttonImages;

// Edge length in pixels of each picture set, by set: 100 % (32) up to 300 % (96). Set n's
// resources are IDR_PNG_IN_SET(the 100 % id, n).
extern const int kPictureSetSizes[];
extern const size_t kPictureSetCount;

// The set for a window of that DPI: the largest not larger than 32 x dpi / 96 pixels, and the
// 100 % set below 96 DPI.
size_t pictureSetForDpi(UINT dpi);

// Stores hInstance in g_app, then decodes every toolbar button's picture of the set for the
// system DPI from that module. Always true.
bool loadButtonImages(HINSTANCE hInstance);
// Puts the set for that DPI in the cache, from the module of the last load, unless it is there
// already; does nothing before a first load.
void loadButtonImagesForDpi(UINT dpi);
// Turns a found "PNG" resource into an image that stays drawable until it is deleted; null on failure.
Gdiplus::Image* createImageFromResource(HRSRC resource, HINSTANCE hInstance);
// Deletes every cached image and empties the cache; harmless when already empty.
void releaseButtonImages();
