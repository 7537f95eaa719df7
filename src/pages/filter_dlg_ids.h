// Control ids of the MPE-Filter page (dialog template 305). Plain #defines so
// the resource script includes this same file.
#pragma once

#define IDD_FILTER_PAGE 305

#define IDC_IP_LABEL 1086
#define IDC_IP 1131
#define IDC_USE_DHCP 1351
#define IDC_MAC_LABEL 1087
#define IDC_MAC 1130
#define IDC_HARDWARE_MAC 1349
#define IDC_MAC_FROM_IP 1356
#define IDC_SET_MAC 1352
#define IDC_UC_PID_LABEL 1053
#define IDC_UC_PID 1129
#define IDC_BC_PID_LABEL 1051
#define IDC_BC_PID 1127
#define IDC_MC_PID_LABEL 1050
#define IDC_MC_PID 1128
#define IDC_TOTAL_RATE_LABEL 1124
#define IDC_TOTAL_RATE 1123
#define IDC_APPLY_FILTER 1055
#define IDC_FILTER_LIST 1122
#define IDC_STATISTIC_LINE 1354
#define IDC_STREAM_STATISTIC 1360
#define IDC_IPV6 1361
#define IDC_ULE_PID_LABEL 1362
#define IDC_ULE_PID 1363
