// The built program as keyboard and screen-reader users reach it: keys pressed in the source
// list, and the name each control gives another process through the accessibility interface,
// as a screen reader asks for it.
#include "ProgramDriving.h"
#include "ProgramTexts.h"
#include "WinTest.h"

#include <oleacc.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace e2e;
using namespace wintest;

namespace {

// Key presses as the keyboard makes them: they reach the window with the focus, and the
// program sees Ctrl held down as it does for a user.
void typeKeys(const std::vector<WORD>& held, WORD key) {
    std::vector<INPUT> inputs;
    auto add = [&](WORD virtualKey, DWORD flags) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = virtualKey;
        input.ki.dwFlags = flags;
        inputs.push_back(input);
    };
    for (WORD modifier : held)
        add(modifier, 0);
    add(key, 0);
    add(key, KEYEVENTF_KEYUP);
    for (auto it = held.rbegin(); it != held.rend(); ++it)
        add(*it, KEYEVENTF_KEYUP);
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

HWND focusOf(DWORD threadId) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    return GetGUIThreadInfo(threadId, &info) ? info.hwndFocus : nullptr;
}

// Brings the program's window to the front with the focus in the list, as a click on it would.
bool focusList(const ChildProcess& program, HWND main) {
    HWND list = GetDlgItem(main, kSourceList);
    SetForegroundWindow(main);
    PostMessageW(main, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE);
    return waitUntil([&] { return GetForegroundWindow() == main && focusOf(program.threadId()) == list; });
}

TEST(KeyboardAndReader, CtrlASelectsEveryEntryAndDeleteRemovesTheSelectedOnes) {
    TempDir in;
    for (const wchar_t* name : {L"a.png", L"b.png", L"c.ico"})
        ASSERT_TRUE(writeFile(in.file(name), "only its name counts here"));

    withProgram(in.path(), [&](const ChildProcess& program, HWND main) {
        addSources(program, main, quotedNames({L"a.png", L"b.png", L"c.ico"}), 3);
        ASSERT_TRUE(focusList(program, main)) << "the list did not get the focus";

        typeKeys({VK_CONTROL}, 'A');
        EXPECT_TRUE(waitUntil([&] { return selection(main) == std::vector<int>{1, 1, 1}; }));

        SendMessageW(GetDlgItem(main, kSourceList), LB_SETSEL, FALSE, 0);
        typeKeys({}, VK_DELETE);
        EXPECT_TRUE(waitUntil([&] { return entryCount(main) == 1; })) << entryCount(main) << " entries";
        EXPECT_EQ(std::vector<std::wstring>{in.file(L"a.png")}, entries(main));
    });
}

// What a screen reader announces for a control: the name of its client object.
std::wstring accessibleName(HWND control) {
    IAccessible* object = nullptr;
    const HRESULT found =
        AccessibleObjectFromWindow(control, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&object));
    if (FAILED(found) || !object)
        return L"(no object: " + std::to_wstring(static_cast<unsigned long>(found)) + L")";
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    const HRESULT result = object->get_accName(self, &name);
    std::wstring text = result == S_OK && name ? std::wstring(name, SysStringLen(name)) : L"(no name)";
    SysFreeString(name);
    object->Release();
    return text;
}

std::string utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                            nullptr);
    return bytes;
}

// The line ./dev test shows for each build whose tests ran.
void printNames(const std::vector<std::wstring>& names) {
    std::string line = "accessible names:";
    for (size_t i = 0; i < names.size(); ++i)
        line += (i ? " | " : " ") + utf8(names[i]);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

TEST(KeyboardAndReader, EveryControlHasItsAccessibleName) {
    const int controls[] = {kAddButton,  kRemoveButton,     kClearButton,  kConvertButton,
                            kSourceList, kOutputFolderEdit, kBrowseButton, kOpenButton};
    const std::vector<std::wstring> expected = {L"Add",          L"Remove",        L"Clear",
                                                L"Convert",      L"Source files",  L"Output Folder",
                                                L"Browse for the output folder", L"Open"};
    TempDir in;
    std::vector<std::wstring> names;
    withProgram(in.path(), [&](const ChildProcess&, HWND main) {
        // The program's objects come over from its process by COM.
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        for (int id : controls)
            names.push_back(accessibleName(GetDlgItem(main, id)));
        if (SUCCEEDED(com))
            CoUninitialize();
    });
    printNames(names);
    EXPECT_EQ(expected, names);
}

} // namespace
