#pragma once
// Resource identifiers of the updater (shared by its .rc file and its code).
#define IDR_MAINFRAME 128          // the program's icon
#define IDD_ABOUTBOX 100           // About box
#define IDS_ABOUTBOX 101           // system-menu text of the About item
#define IDD_BRENLOW_DIALOG 102     // main dialog
#define IDC_BROWSER 1002           // the browser control's id in the main dialog
#define IDC_ABOUT_NAME 1001        // About box: program name and version text
#define IDC_ABOUT_FIXED 1004       // About box: fixed text
#define IDM_ABOUTBOX 0x0010        // system-menu command of the About item
