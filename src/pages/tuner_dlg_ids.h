// Control ids of the Status/Tuner page (dialog template 303). Plain #defines so
// the resource script includes this same file.
#pragma once

#define IDD_TUNER_PAGE 303

#define IDC_TUNER_SETTINGS_GROUP 1010
#define IDC_FREQ_LABEL 1011
#define IDC_FREQ 1014
#define IDC_FREQ_SPIN 1015
#define IDC_SYMRATE_LABEL 1008
#define IDC_SYMRATE 1009
#define IDC_QAM_LABEL 1077
#define IDC_QAM 1076
#define IDC_POL_LABEL 1007
#define IDC_POL_H 1005
#define IDC_POL_V 1006
#define IDC_INVERSION 1264
#define IDC_DVBS2 1317
#define IDC_BANDWIDTH_LABEL 1298
#define IDC_BANDWIDTH_7 1299
#define IDC_BANDWIDTH_8 1300
#define IDC_ANT_PWR 1302
#define IDC_IS_LABEL 1384
#define IDC_IS 1383
#define IDC_PLS_LABEL 1380
#define IDC_PLS_MODE 1381
#define IDC_PLS_CODE 1382
#define IDC_MODCODE_LABEL 1385
#define IDC_MODCODE 1386
#define IDC_SNR_LIMIT_LABEL 1388
#define IDC_SNR_LIMIT 1387
#define IDC_APPLY_TUNER 1055
#define IDC_LOCK_BAR 1003
#define IDC_QUALITY_BAR 1004
#define IDC_LEVEL_BAR 1065
#define IDC_BER 1319
#define IDC_RF_LEVEL 1320
#define IDC_SNR 1321
#define IDC_SOUND 1111
#define IDC_SOUND_MODE 1348
#define IDC_SOUND_NO_SIGNAL 1330
#define IDC_SOUND_DIGITS 1331
#define IDC_LOG_STATISTIC 1372

// Up-down acceleration of the frequency spin (UDACCEL: seconds, step).
#define VF_FREQ_SPIN_ACCEL {{0, 1}, {2, 3}, {5, 9}}
#define VF_FREQ_SPIN_MAX 100
