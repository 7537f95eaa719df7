// Control ids of the Setup page (dialog template 306) and the resources it shows.
// Plain #defines so a resource script can include this same file.
#pragma once

#define IDD_SETUP_PAGE 306

#define IDC_AUTOSTART 1330
#define IDC_HIDE_ON_START 1332
#define IDC_CONFIRM_ON_EXIT 1333
#define IDC_POWER_OFF_ON_EXIT 1338
#define IDC_PRIORITY_LABEL 1363
#define IDC_PRIORITY 1364
#define IDC_LANGUAGE_LABEL 1358
#define IDC_LANGUAGE 1357
#define IDC_LOG 1355
#define IDC_LANGUAGE_ICON 1361
#define IDC_SIGNAL_UPDATE_LABEL 1373
#define IDC_SIGNAL_UPDATE 1374
#define IDC_SIGNAL_UPDATE_UNIT 1377
#define IDC_RETUNE_LABEL 1375
#define IDC_RETUNE 1376
#define IDC_RETUNE_UNIT 1378
#define IDC_AFFINITY 1389
#define IDC_ADAPTER_KIND_LABEL 1390
#define IDC_ADAPTER_KIND 1391
#define IDC_ABOUT_GROUP 1366
#define IDC_ABOUT_PICTURE 1367
#define IDC_INFO_LINE 1369
#define IDC_ABOUT_TEXT 1371

#define IDI_LANGUAGE 204
#define IDB_ABOUT 268
