// Resource and control ids of the program, named once for the .rc files and the code alike.
#pragma once

// Application icon (icon group).
#define IDI_APP 107

// Dialog templates.
#define IDD_MAIN 129
#define IDD_PROGRESS 130

// Toolbar pictures: RGBA PNGs of the custom resource type "PNG", one set per display scale.
// These are the 100 % set, 32 x 32.
#define IDR_PNG_ADD 133
#define IDR_PNG_CLEAR 134
#define IDR_PNG_CONVERT 135
#define IDR_PNG_REMOVE 136
// Set n (1 to 6: 125, 150, 175, 200, 250 and 300 %, 40 to 96 pixels) has the 100 % ids plus
// 100 n: 233-236, 333-336, ... 733-736.
#define IDR_PNG_SET_STEP 100
#define IDR_PNG_IN_SET(id100, set) ((id100) + IDR_PNG_SET_STEP * (set))

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
