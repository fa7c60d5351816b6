// Resource and control ids of the program, named once for the .rc files and the code alike.
#pragma once

// Application icon (icon group).
#define IDI_APP 107

// Dialog templates.
#define IDD_MAIN 129
#define IDD_PROGRESS 130

// Toolbar pictures: 32 x 32 RGBA PNGs of the custom resource type "PNG".
#define IDR_PNG_ADD 133
#define IDR_PNG_CLEAR 134
#define IDR_PNG_CONVERT 135
#define IDR_PNG_REMOVE 136

// Main dialog controls.
#define IDC_CONVERT 1001
#define IDC_BROWSE 1004
#define IDC_OUTPUT_FOLDER 1006
#define IDC_ADD 1010
#define IDC_REMOVE 1011
#define IDC_CLEAR 1012
#define IDC_SOURCE_LIST 1013
#define IDC_OPEN_FOLDER 1014
#define IDC_OUTPUT_LABEL 1023

// Progress dialog controls.
#define IDC_PROGRESS_FILE 1016
#define IDC_PROGRESS_BAR 1017
#define IDC_PROGRESS_COUNT 1018
#define IDC_STOP 1020
#define IDC_CLOSE 1021
