// Control ids of the main dialog and its small dialogs (templates 300, 301, 302, 269).
// Plain #defines so the resource scripts include this same file.
#pragma once

// Main dialog.
#define IDC_EXIT 1
#define IDC_TABS 1000
#define IDC_SERVICE_GROUP 1113
#define IDC_PROFILE_LIST 1108
#define IDC_PROFILE_NEW 1105
#define IDC_PROFILE_EDIT 1106
#define IDC_PROFILE_DELETE 1107
#define IDC_PROGRAM_ICON 1359
#define IDC_STATUS_ICON 1140
#define IDC_DEVICE_LINE 1200
#define IDC_EXTENSION_LINE 1353
#define IDC_USE_AS_DEFAULT 1344
#define IDC_HIDE 1054

// "Choose Device".
#define IDC_DEVICE_LIST 1104
#define IDC_DEFAULT_DEVICE 1344

// "Data Service".
#define IDC_SERVICE_NAME 1101
#define IDC_SERVICE_SOURCE 1102

// Splash.
#define IDC_SPLASH_TEXT 1379
#define IDC_SPLASH_PICTURE 1380
#define IDB_SPLASH 270
