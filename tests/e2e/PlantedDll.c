/* Planted beside the program under the names of system DLLs. Loaded, it appends its own path to
 * the file that TARNEL_PLANTED_MARKS names, and nothing else. It imports kernel32 alone and has no
 * C runtime, so it loads under any name but kernel32's own. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t marks[MAX_PATH];
    wchar_t line[MAX_PATH + 1];
    if (!GetEnvironmentVariableW(L"TARNEL_PLANTED_MARKS", marks, MAX_PATH))
        return TRUE;
    DWORD length = GetModuleFileNameW(instance, line, MAX_PATH);
    line[length++] = L'\n';
    HANDLE file = CreateFileW(marks, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS, 0, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, line, length * sizeof(wchar_t), &written, NULL);
        CloseHandle(file);
    }
    return TRUE;
}
