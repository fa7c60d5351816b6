/* The load configuration every binary we ship carries, and the stack guard it hands to Windows.
 *
 * Windows 10 1607 and later read DependentLoadFlags from it: our static imports are then looked
 * up in System32 only, never in the folder the program was unpacked into, where a DLL of a system
 * name may lie among other downloads. Older Windows ignore the field.
 *
 * The same record names the stack guard that -fstack-protector-strong checks. The loader replaces
 * the guard's well-known starting value with a random one as it maps the image, before any code
 * of ours runs; GCC's own runtime would instead ask the crypto API for one from a constructor,
 * loading DLLs before the program could limit where they come from. Written in C: in C++ the
 * guard's address would make the record a dynamic initialisation, zero when the loader reads it.
 */
#include <windows.h>

#include <stdint.h>

#ifdef _WIN64
#define STARTING_GUARD ((uintptr_t)0x00002B992DDFA232ull)
#else
#define STARTING_GUARD ((uintptr_t)0xBB40E64Eu)
#endif

uintptr_t __stack_chk_guard = STARTING_GUARD;

/* The record ends after SEHandlerCount. A 32-bit image has no table of exception handlers (GCC
 * makes none): with the table's address and count both zero Windows treats the image as it treats
 * one without a record. The linker sets the data directory's size from the first field. Older
 * headers call DependentLoadFlags Reserved1. */
__attribute__((used)) const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used = {
    .Size = sizeof(IMAGE_LOAD_CONFIG_DIRECTORY),
    .Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32,
    .SecurityCookie = (uintptr_t)&__stack_chk_guard,
};

/* Where the loader left the guard as it was (older Windows), one made as Microsoft's C runtime
 * makes its own. Runs before every other constructor, so before any guarded function is entered. */
__attribute__((constructor(101), no_stack_protector)) static void seedGuardTheLoaderLeft(void) {
    if (__stack_chk_guard != STARTING_GUARD)
        return;
    FILETIME time;
    LARGE_INTEGER counter;
    GetSystemTimeAsFileTime(&time);
    QueryPerformanceCounter(&counter);
    uintptr_t seed = (uintptr_t)time.dwLowDateTime ^ time.dwHighDateTime ^ GetCurrentProcessId() ^
                     GetCurrentThreadId() ^ GetTickCount() ^ (uintptr_t)counter.QuadPart ^ (uintptr_t)&seed;
    __stack_chk_guard = seed == STARTING_GUARD ? seed + 1 : seed;
}

/* A smashed stack: nothing of the process can be trusted any more, so no handler runs. */
__attribute__((noreturn)) void __stack_chk_fail(void) {
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    __builtin_unreachable();
}
