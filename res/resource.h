// Resource ids of Leafwise, shared by the resource script and the program.
#pragma once

// Soft-key bars: each bar record and its menu share one id.
#define IDR_MAIN_MENUBAR 101
#define IDR_PAGE_MENUBAR 102
#define IDR_CONTENTS_MENUBAR 104
#define IDR_BROWSER_MENUBAR 107
#define IDR_ABOUT_MENUBAR 110

// Dialog templates.
#define IDD_CONTENTS 103
#define IDD_BROWSER 105
#define IDD_ABOUT 109

// Pictures.
#define IDB_SPLASH 108
#define IDI_LEAFWISE 105
#define IDI_BOOK 106
#define IDI_FOLDER 107

// Version information (the About box says "Leafwise v1.4").
#define VS_VERSION_INFO 1

// Controls.
#define IDC_BROWSER_FOLDER 1000

// Commands of the main window's soft keys and menu.
#define IDM_MAIN_MENU 40001
#define IDM_OPEN 40014
#define IDM_ABOUT 40022
#define IDM_ASSOCIATE 40027

// Soft-key captions.
#define IDS_MAIN_MENU 40003
#define IDS_MAIN_EXIT 40005
#define IDS_PAGE_OK 40007
#define IDS_PAGE_CANCEL 40009
#define IDS_CONTENTS_BROWSE 40011
#define IDS_CONTENTS_CLOSE 40013
#define IDS_BROWSER_CANCEL 40018
#define IDS_BROWSER_OPEN 40020
#define IDS_ABOUT_OK 40024
#define IDS_ABOUT_CANCEL 40026
