#include "FileDialogDriver.h"

#include "WinTest.h"

#include <commdlg.h>
#include <dlgs.h>

namespace wintest {

HWND fileNameBox(HWND dialog) {
    for (int id : {cmb13, edt1}) {
        if (HWND box = GetDlgItem(dialog, id))
            return box;
    }
    return nullptr;
}

std::wstring quotedNames(const std::vector<std::wstring>& names) {
    std::wstring typed;
    for (const std::wstring& name : names)
        typed += (typed.empty() ? L"\"" : L" \"") + name + L"\"";
    return typed;
}

bool typeFileNameAndOpen(HWND dialog, const std::wstring& text) {
    HWND box = fileNameBox(dialog);
    if (!box)
        return false;
    SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    clickButton(dialog, IDOK);
    return true;
}

bool chooseFileNames(HWND dialog, const std::wstring& text, DWORD timeoutMs) {
    return typeFileNameAndOpen(dialog, text) && waitUntil([&] { return !IsWindow(dialog); }, timeoutMs);
}

std::wstring fileDialogFolder(HWND dialog) {
    wchar_t folder[MAX_PATH] = {};
    SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder));
    return folder;
}

bool goToFolder(HWND dialog, const std::wstring& folder, DWORD timeoutMs) {
    if (!typeFileNameAndOpen(dialog, folder))
        return false;
    return waitUntil([&] { return lstrcmpiW(fileDialogFolder(dialog).c_str(), folder.c_str()) == 0; }, timeoutMs);
}

} // namespace wintest
