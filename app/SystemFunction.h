// Functions of newer Windows versions, looked up when they are needed: a static import of one
// that this Windows lacks would stop the program from starting at all.
#pragma once

#include <windows.h>

// The function of that name in a system DLL the process has loaded already; null where this
// Windows lacks it.
template <class Function>
Function systemFunction(const wchar_t* module, const char* name) {
    HMODULE loaded = GetModuleHandleW(module);
    FARPROC found = loaded ? GetProcAddress(loaded, name) : nullptr;
    // Through void (*)(): the one function pointer type GCC lets any other be cast from quietly.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}
