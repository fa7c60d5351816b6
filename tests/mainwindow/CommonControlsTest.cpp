// The built program, started as a user starts it, runs with version 6 of the common controls of
// its own width: the tooltips and the progress bar the program is drawn for. Wine binds a
// process it cannot give the asked-for assembly to the system's version 5 without a word, and
// Windows refuses to start it at all, so the loaded module's folder is what is checked.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <string>
#include <vector>

#include "ProgramTexts.h"
#include "WinTest.h"

namespace {

#ifdef _WIN64
const wchar_t kAssemblyFolder[] = L"\\winsxs\\amd64_microsoft.windows.common-controls_6595b64144ccf1df_6.";
#else
const wchar_t kAssemblyFolder[] = L"\\winsxs\\x86_microsoft.windows.common-controls_6595b64144ccf1df_6.";
#endif

std::wstring lowerCase(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return text;
}

// The full path of the comctl32.dll that process has loaded; empty if none.
std::wstring loadedCommonControls(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!process) return std::wstring();
    std::vector<HMODULE> modules(512);
    DWORD needed = 0;
    std::wstring found;
    if (EnumProcessModules(process, modules.data(), static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed)) {
        modules.resize(std::min<size_t>(modules.size(), needed / sizeof(HMODULE)));
        for (HMODULE module : modules) {
            wchar_t path[MAX_PATH] = {};
            if (!GetModuleFileNameExW(process, module, path, MAX_PATH)) continue;
            std::wstring lower = lowerCase(path);
            if (lower.size() >= 13 && lower.compare(lower.size() - 13, 13, L"\\comctl32.dll") == 0) found = path;
        }
    }
    CloseHandle(process);
    return found;
}

} // namespace

TEST(CommonControls, TheProgramRunsWithVersion6OfItsOwnWidth) {
    ASSERT_FALSE(wintest::distFolder().empty()) << "TARNEL_DIST_DIR is not set";
    wintest::RegistryValueGuard keep(wintest::kSettingsKey, wintest::kFolderValue);
    wintest::runWithDeadline(
        [&] {
            wintest::ChildProcess program(wintest::distFolder() + L"\\" + wintest::kProgramName, L"");
            ASSERT_TRUE(program.started());
            HWND window = wintest::waitForProcessWindow(program.id(), wintest::kMainTitle, 30000);
            ASSERT_NE(window, nullptr) << "the program did not come up";
            std::wstring path = loadedCommonControls(program.id());
            PostMessageW(window, WM_CLOSE, 0, 0);
            DWORD exitCode = 1;
            EXPECT_TRUE(program.waitForExit(20000, exitCode));

            EXPECT_NE(lowerCase(path).find(kAssemblyFolder), std::wstring::npos)
                << "comctl32.dll comes from '" << std::string(path.begin(), path.end()) << "'";
            // ./dev test shows this line for each build it tested.
            std::printf("The program runs with Common Controls from %ls\n", path.c_str());
        },
        60000, "the program with its common controls");
}
