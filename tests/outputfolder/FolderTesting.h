// What the output-folder tests share: the settings key of the test's own Wine prefix, the edit
// box of the real main dialog.
#pragma once

#include "MainDialogHost.h"
#include "ProgramTexts.h"
#include "WinTest.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <string>

namespace foldertest {

const wchar_t kProductKey[] = L"Software\\Tarnel Image Converter";
using wintest::kFolderValue;
using wintest::kSettingsKey;

// Every test starts as on a machine where the program never ran.
inline void forgetSettings() {
    const LONG result = RegDeleteTreeW(HKEY_CURRENT_USER, kProductKey);
    ASSERT_TRUE(result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) << result;
}

inline std::wstring folderText(const wintest::MainDialogHost& host) {
    return wintest::windowText(host.control(IDC_OUTPUT_FOLDER));
}

inline void typeFolder(const wintest::MainDialogHost& host, const std::wstring& text) {
    SetWindowTextW(host.control(IDC_OUTPUT_FOLDER), text.c_str());
}

} // namespace foldertest
