// Handles the program owns, given back by their own kind's free function when they go out of
// scope, on every return path.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <unknwn.h>

// Traits name a handle's empty value and how it is freed.
template <class Handle, class Traits>
class ScopedHandle {
public:
    explicit ScopedHandle(Handle handle) : handle_(handle) {}
    ~ScopedHandle() {
        if (valid())
            Traits::free(handle_);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    bool valid() const { return handle_ != Traits::empty(); }
    Handle get() const { return handle_; }
    // Hands the handle on: it is no longer freed here.
    Handle release() {
        const Handle handle = handle_;
        handle_ = Traits::empty();
        return handle;
    }
    // Takes another handle in place of the one held, which is freed.
    void reset(Handle handle) {
        if (valid() && handle != handle_)
            Traits::free(handle_);
        handle_ = handle;
    }

private:
    Handle handle_;
};

struct GlobalBlockTraits {
    static HGLOBAL empty() { return nullptr; }
    static void free(HGLOBAL block) { GlobalFree(block); }
};
// A movable global memory block.
using GlobalBlock = ScopedHandle<HGLOBAL, GlobalBlockTraits>;

template <class Interface>
struct ComRefTraits {
    static Interface* empty() { return nullptr; }
    static void free(Interface* object) { object->Release(); }
};
// One COM reference.
template <class Interface>
using ComRef = ScopedHandle<Interface*, ComRefTraits<Interface>>;

struct DropTraits {
    static HDROP empty() { return nullptr; }
    static void free(HDROP drop) { DragFinish(drop); }
};
// The memory of a drop, the receiver's to free whether or not it uses it.
using DropHandle = ScopedHandle<HDROP, DropTraits>;

struct FindTraits {
    static HANDLE empty() { return INVALID_HANDLE_VALUE; }
    static void free(HANDLE find) { FindClose(find); }
};
// A search of a folder's entries.
using FindHandle = ScopedHandle<HANDLE, FindTraits>;

struct ScreenDcTraits {
    static HDC empty() { return nullptr; }
    static void free(HDC dc) { ReleaseDC(nullptr, dc); }
};
// The screen's device context, from GetDC(nullptr).
using ScreenDc = ScopedHandle<HDC, ScreenDcTraits>;

struct IconTraits {
    static HICON empty() { return nullptr; }
    static void free(HICON icon) { DestroyIcon(icon); }
};
// An icon made for this program (LoadImage without LR_SHARED), not a shared one.
using OwnedIcon = ScopedHandle<HICON, IconTraits>;
