// What the program shows and stores, written out as a user and the registry see them. The tests
// compare the program with these, never with the program's own constants, so a changed text in
// the program fails a test instead of changing what the test expects.
#pragma once

#include <string>

namespace wintest {

// Caption of every message box, and title of the main window.
const wchar_t kCaption[] = L"Tarnel Free PNG to ICO Converter";
const wchar_t kMainTitle[] = L"Tarnel Free PNG to ICO Converter 1.0";
const wchar_t kProgressTitle[] = L"Progress";
const wchar_t kOpenFileTitle[] = L"Select Files";
// The built program in its distribution folder.
const wchar_t kProgramName[] = L"TarnelPngToIco.exe";

const wchar_t kSelectionTooLargeText[] =
    L"The selection was too large, so no file was added. Please select fewer files at a time.";
const wchar_t kFolderNotFullText[] = L"Please enter the full path of the output folder, for example C:\\Icons.";
const wchar_t kStopText[] = L"Are you sure you want to stop the conversion?";
inline std::wstring overwriteText(const std::wstring& dest) {
    return L"'" + dest + L"' already exists.\nDo you want to replace it?";
}

// Where the program remembers the output folder, under HKEY_CURRENT_USER.
const wchar_t kSettingsKey[] = L"Software\\Tarnel Image Converter\\ico png";
const wchar_t kFolderValue[] = L"out_dir";

} // namespace wintest
