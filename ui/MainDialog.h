// The main window: a modal dialog from template IDD_MAIN.
#pragma once

#include <windows.h>

#include <string>

INT_PTR CALLBACK mainDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Sets title and icon, creates the engine, shows the remembered folder, creates the tooltips.
// Answers whether the engine is usable.
bool onInitMainDlg(HWND hwnd);
// Saves the folder, ends the engine once no worker of it runs, ends the dialog with 2.
void onCloseMainDlg();
// The whole text of the output-folder edit box of that dialog; empty when there is none.
std::wstring getOutputFolderText(HWND hwnd);
