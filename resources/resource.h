// Resource ids of lumivo.exe. Ids only: the resources are in lumivo.rc.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// String table
#define IDS_APP_TITLE 40000
#define IDC_LUMIVO 109  // class name string, menu and accelerator table

// Icons
#define IDI_LUMIVO 107
#define IDI_SMALL 108

// Dialogs
#define IDD_ABOUTBOX 103
#define IDD_CONFIG 129

// Commands
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_FULLSCREEN 130
#define IDM_CONFIG 32771

// Configuration dialog controls
#define IDC_PORT_NAME 1000
#define IDC_BAUD_RATE 1001
#define IDC_PRICE_FILE 1002
#define IDC_ITEM_CODE_7 1003
#define IDC_ITEM_CODE_6 1004
#define IDC_VALUE_PREFIX_1 1005
#define IDC_VALUE_PREFIX_2 1006
#define IDC_VALUE_PREFIX_3 1007
#define IDC_WEIGHT_PREFIX_1 1008
#define IDC_WEIGHT_PREFIX_2 1009
#define IDC_WEIGHT_PREFIX_3 1010
#define IDC_SHOW_NET_1 1011
#define IDC_SHOW_NET_2 1012
#define IDC_SHOW_GROSS_1 1013
#define IDC_SHOW_GROSS_2 1014
#define IDC_SERVER_MODE 1016
#define IDC_STANDALONE_MODE 1017
#define IDC_SERVER_ADDRESS 1018
#define IDC_FULL_SCREEN 1019
#define IDC_FONT_NAME 1020
#define IDC_ZAKONCZ 3
