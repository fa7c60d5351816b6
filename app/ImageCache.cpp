// Decodes the toolbar pictures from the module's own "PNG" resources, once per run.
#include "ImageCache.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstring>
#include <new>

#include "AppGlobals.h"
#include "ScopedHandle.h"
#include "engine/ImagePreset.h"

std::map<uint32_t, Gdiplus::Image*> g_buttonImages;

namespace {

bool copyIntoBlock(HGLOBAL block, const void* bytes, DWORD size) {
    void* target = GlobalLock(block);
    if (!target)
        return false;
    memcpy(target, bytes, size);
    GlobalUnlock(block);
    return true;
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

bool loadButtonImages(HINSTANCE hInstance) {
    g_app.hInstance = hInstance;
    for (const ToolButtonDef* button = g_toolButtons; button->controlId != 0; ++button) {
        HRSRC resource = FindResourceW(hInstance, MAKEINTRESOURCEW(LOWORD(button->pngResourceId)), L"PNG");
        if (!resource)
            continue;
        Gdiplus::Image* image = createImageFromResource(resource, hInstance);
        if (!image)
            continue;
        // A second load replaces the picture instead of leaking the first one.
        Gdiplus::Image*& slot = g_buttonImages[button->controlId];
        delete slot;
        slot = image;
    }
    return true;
}

void releaseButtonImages() {
    // delete goes through the virtual destructor (disposes the native image) and GdipFree.
    for (auto& entry : g_buttonImages)
        delete entry.second;
    g_buttonImages.clear();
}
