#pragma once
// Resource identifiers of the tray notifier (shared by its .rc file and its code).
#define IDR_MAINFRAME 128         // the program's icon, also the tray icon
#define IDB_SKIN 130              // the toast's skin bitmap, 248 x 160, 24 bits
#define IDR_TRAY_MENU 132         // the tray menu; its first submenu pops up
#define IDD_ABOUTBOX 100          // About box
#define IDS_ABOUTBOX 101          // system-menu text of the About item
#define IDD_LUMORAPOP_DIALOG 102  // the hidden main dialog
#define IDC_ABOUT_PRODUCT 1001    // About box: product line
#define IDC_ABOUT_FIXED 1002      // About box: the fixed two lines
#define IDC_ABOUT_VERSION 1004    // About box: version line
#define IDM_ABOUTBOX 0x0010       // system-menu command of the About item
#define ID_TRAY_EXIT 32778        // tray menu "退出"
#define ID_TRAY_ABOUT 32779       // tray menu "关于"
#define ID_TRAY_SHOW 32780        // tray menu "显示助手"
