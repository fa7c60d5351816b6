/* Linked into our executables only: every DLL the process loads after start, whether we ask for
 * it or Windows does on our behalf (the file dialogs, the shell, GDI+, the accessibility layer),
 * comes from System32 and never from the program's own folder. A DLL leaves the process's search
 * order alone: that is its host's choice.
 *
 * It runs as the first constructor, before the C++ runtime's static objects exist and before the
 * entry point, so nothing is loaded by name earlier. SetDefaultDllDirectories is looked up rather
 * than imported: Windows 7 has it only with update KB2533623, and a missing import would stop
 * the program from starting at all. Our own conversion library is reached by its full path. */
#include <windows.h>

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD);

__attribute__((constructor(101))) static void loadSystemDllsOnly(void) {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    FARPROC found = kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : NULL;
    if (found)
        ((SetDefaultDllDirectoriesFunction)(void (*)(void))found)(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
