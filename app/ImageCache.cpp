// Decodes the toolbar pictures from the module's own "PNG" resources, once per run.
#include "ImageCache.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstring>
#include <new>

#include "AppGlobals.h"
#include "DisplayScale.h"
#include "ScopedHandle.h"
#include "engine/ImagePreset.h"
#include "res/resource.h"

std::map<uint32_t, Gdiplus::Image*> g_buttonImages;

const int kPictureSetSizes[] = {32, 40, 48, 56, 64, 80, 96};
const size_t kPictureSetCount = sizeof(kPictureSetSizes) / sizeof(kPictureSetSizes[0]);

namespace {

const size_t kNoSet = static_cast<size_t>(-1);

// Where the pictures in the cache came from, and which set they are; a change of display
// scale reloads from the same module.
HINSTANCE g_pictureModule = nullptr;
size_t g_loadedSet = kNoSet;

bool copyIntoBlock(HGLOBAL block, const void* bytes, DWORD size) {
    void* target = GlobalLock(block);
    if (!target)
        return false;
    memcpy(target, bytes, size);
    GlobalUnlock(block);
    return true;
}

// Replaces whatever the cache holds, so a picture of another set never stays beside the new
// ones, and none is leaked.
void loadPictureSet(HINSTANCE module, size_t set) {
    releaseButtonImages();
    g_pictureModule = module;
    g_loadedSet = set;
    for (const ToolButtonDef* button = g_toolButtons; button->controlId != 0; ++button) {
        const UINT id = IDR_PNG_IN_SET(button->pngResourceId, static_cast<UINT>(set));
        HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(LOWORD(id)), L"PNG");
        if (!resource)
            continue;
        Gdiplus::Image* image = createImageFromResource(resource, module);
        if (image)
            g_buttonImages[button->controlId] = image;
    }
}

} // namespace

Gdiplus::Image* createImageFromResource(HRSRC resource, HINSTANCE hInstance) {
    const DWORD size = SizeofResource(hInstance, resource);
    if (size == 0)
        return nullptr;
    HGLOBAL loaded = LoadResource(hInstance, resource);
    if (!loaded)
        return nullptr;
    const void* bytes = LockResource(loaded);
    if (!bytes)
        return nullptr;

    GlobalBlock block(GlobalAlloc(GMEM_MOVEABLE, size));
    if (!block.valid() || !copyIntoBlock(block.get(), bytes, size))
        return nullptr;

    // GDI+ may keep the stream and read it again when the picture is first measured or drawn.
    // The stream therefore owns the block and frees it on its last release, which is GDI+'s
    // own when it holds on to it: the bytes live exactly as long as someone can read them.
    IStream* rawStream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block.get(), TRUE, &rawStream)) || !rawStream)
        return nullptr;
    block.release();
    ComRef<IStream> stream(rawStream);

    // The class's operator new is GdipAlloc without a null check, so a failed allocation would
    // run the constructor on null: allocate first, then construct in place.
    void* memory = Gdiplus::DllExports::GdipAlloc(sizeof(Gdiplus::Image));
    if (!memory)
        return nullptr;
    // A picture that does not decode still yields an object, with no native image: the painter
    // then fills the face and draws nothing.
    return ::new (memory) Gdiplus::Image(stream.get());
}

size_t pictureSetForDpi(UINT dpi) {
    const int largest = static_cast<int>(kPictureSetSizes[0] * dpi / kDefaultDpi);
    size_t set = 0;
    while (set + 1 < kPictureSetCount && kPictureSetSizes[set + 1] <= largest)
        ++set;
    return set;
}

bool loadButtonImages(HINSTANCE hInstance) {
    g_app.hInstance = hInstance;
    loadPictureSet(hInstance, pictureSetForDpi(systemDpi()));
    return true;
}

void loadButtonImagesForDpi(UINT dpi) {
    const size_t set = pictureSetForDpi(dpi);
    if (!g_pictureModule || set == g_loadedSet)
        return;
    loadPictureSet(g_pictureModule, set);
}

void releaseButtonImages() {
    // delete goes through the virtual destructor (disposes the native image) and GdipFree.
    for (auto& entry : g_buttonImages)
        delete entry.second;
    g_buttonImages.clear();
    g_pictureModule = nullptr;
    g_loadedSet = kNoSet;
}
