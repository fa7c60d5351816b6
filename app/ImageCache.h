// The toolbar pictures, decoded once from the program's own "PNG" resources and kept by the
// id of the button that shows them. Used on the user-interface thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>

namespace Gdiplus {
class Image;
}

extern std::map<uint32_t, Gdiplus::Image*> g_buttonImages;

// Stores hInstance in g_app, then decodes the picture of every toolbar button. Always true.
bool loadButtonImages(HINSTANCE hInstance);
// Turns a found "PNG" resource into an image that stays drawable until it is deleted; null on failure.
Gdiplus::Image* createImageFromResource(HRSRC resource, HINSTANCE hInstance);
// Deletes every cached image and empties the cache; harmless when already empty.
void releaseButtonImages();
